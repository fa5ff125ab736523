// File deployment: unpacks the package into a staging folder inside the
// installation folder, then moves the server's files from there into place
// (and copies those beside the setup program), keeping what an installation
// owns (configuration, databases, certificates, edited rules), writes the files
// that hold the installation path, and installs the anti-virus engine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/folder_swap.h"
#include "engine/install_journal.h"
#include "engine/outcome.h"
#include "product/setup_state.h"
#include "product/user_interface.h"

namespace engine {

// The program files copied on every installation, in order; the uninstall
// deletes the same list.
inline constexpr const char* kCoreFiles[] = {
    "smtp.exe", "pop3.exe",     "control.exe", "config.exe",   "dnsquery.exe",
    "tool.exe", "sendmail.exe", "api.dll",     "libeay32.dll", "libssl32.dll",
    "db.dll",   "regex.dll",    "sqlite3.dll"};

class TFileDeployment {
 public:
  // setupProgram is the running setup program; its folder is the setup folder.
  // Every change in the installation goes through the journal.
  TFileDeployment(setup::TSetupState& state, ui::UserInterface& ui, std::string setupProgram,
                  TInstallJournal& journal);
  TFileDeployment(const TFileDeployment&) = delete;
  TFileDeployment& operator=(const TFileDeployment&) = delete;

  // The steps of the progress bar that StagePackage takes: unpacking is most
  // of the run's time on a large package.
  static constexpr int kStagingSteps = 12;
  // Unpacks setup.Dat, setupweb.dat (into webmail\) and, when anti-virus is
  // chosen, setupav.dat (into avast\) into ExtractDir, the staging folder,
  // checking every entry. Fatal, after the box and the log line, when an entry
  // does not decode or cannot be written; what was unpacked stays for the
  // caller to delete.
  Outcome StagePackage();
  // The packed size of the archives StagePackage unpacks, which their content
  // needs at least.
  uint64_t PackedBytes() const;
  // The unpacked size of what StagePackage unpacked.
  uint64_t StagedBytes() const { return stagedBytes_; }
  // Reads the installation's deployed folders and the staging folder, after
  // StagePackage and before the modules are stopped, so that DeployFiles can
  // swap folders without reading them again.
  void Survey();
  // The whole deployment, after StagePackage.
  Outcome DeployFiles();
  // After the modules run again: what arrived in a replaced folder after the
  // survey goes into its successor; the replaced folders go with the backup
  // folder. False when something could not be moved.
  bool RetireReplaced();
  // Adds the web filter module to config\webserver.cfg; for upgrades from
  // versions before 7.7.3.
  void RegisterWebFilter();

  // The steps, for the install run and the tests.
  Outcome EnsureInstallDir();
  // Makes the installation folder the Administrators' with the protected
  // access list, which everything below it takes, through the folder as
  // opened and only when that is still the folder asked for and no user's.
  // Adds what it changed to lines, for the log: each grant it took away from
  // a folder that existed, then the list it set.
  Outcome ProtectInstallDir(bool existed, std::vector<std::string>& lines);
  // Copies sourceDir + name to targetDir + name, replacing a read-only target;
  // on failure asks Retry or Cancel.
  Outcome CopyOneFile(const std::string& name, const std::string& sourceDir,
                      const std::string& targetDir);
  // As CopyOneFile, but renames the file into place, through the journal, so
  // that a rollback takes it back to where it came from; it then takes the
  // access list its new folder gives.
  Outcome MoveOneFile(const std::string& name, const std::string& sourceDir,
                      const std::string& targetDir);
  // Moves sourceRoot + sub (empty or ending in "\") with everything below it
  // to targetRoot + sub: a folder the target does not have arrives whole, in
  // one rename; into one it has, each file is moved over its namesake and the
  // target's other files stay. Links and junctions in the source move as
  // entries of their own, never followed.
  Outcome MoveTree(const std::string& sourceRoot, const std::string& sub,
                   const std::string& targetRoot);
  // Copies a text file into targetDir line by line, each line's first
  // "%%installpath%%" and first "%%temppath%%" replaced. A relative source is
  // taken from ExtractDir. Silent when the source cannot be read. scope tells
  // the journal where targetDir lies.
  void WriteWithPaths(const std::string& sourceFile, const std::string& targetDir,
                      TInstallJournal::Scope scope = TInstallJournal::Scope::Installation);
  Outcome DeployComponentData();

 private:
  // Puts a file in place by attempt(), once the journal has moved the target
  // aside; on failure asks Retry or Cancel.
  Outcome Place(const std::string& name, const std::string& target,
                const std::function<bool()>& attempt);
  Outcome CopyIfPresent(const std::string& name, const std::string& sourceDir,
                        const std::string& targetDir);
  Outcome MoveIfPresent(const std::string& name, const std::string& sourceDir,
                        const std::string& targetDir);
  // One rename of a whole folder, which then takes the access list of its
  // place; false when the source is not there or the rename failed.
  bool MoveFolder(const std::string& source, const std::string& target);
  // Creates a folder the installation lacks, noted in the journal.
  void MakeFolder(const std::string& folder,
                  TInstallJournal::Scope scope = TInstallJournal::Scope::Installation);
  // A link where the installation has a folder leads out of it: the link goes
  // aside (noted, so a rollback puts it back) and is never walked; Fatal when
  // it stays.
  Outcome SetAsideLink(const std::string& folder);
  // Before an archive is unpacked straight into destination: each file it will
  // write over is moved aside, each it adds is noted. The archive was verified
  // before the run began, but it lies in the setup folder and may have been
  // changed since: each name is checked again before its note. False when a
  // name is refused or the journal cannot keep the file.
  bool JournalArchive(const std::string& archive, const std::string& destination, bool overwrite,
                      const std::string& keepList);
  // Unpacks one of the archives that go straight into the installation; fatal
  // when the journal refuses one of its entries.
  Outcome UnpackInPlace(const std::string& archive, const std::string& destination, bool overwrite,
                        const std::string& keepList = "");
  Outcome MoveTrees(std::initializer_list<const char*> subs);
  // progress: the archive bytes read so far and the archive's size.
  Outcome Unpack(const std::string& archive, const std::string& destination,
                 const std::function<void(uint64_t done, uint64_t size)>& progress);
  bool AntivirusChosen() const;
  // The archives StagePackage unpacks, each with its folder below the staging
  // folder.
  std::vector<std::pair<const char*, const char*>> StagedArchives() const;
  Outcome InstallAntivirus();

  setup::TSetupState& state_;
  ui::UserInterface& ui_;
  std::string setupProgram_;
  std::string setupFolder_;  // with a trailing "\"
  TInstallJournal& journal_;
  TFolderSwap swap_;
  uint64_t stagedBytes_ = 0;
};

}  // namespace engine

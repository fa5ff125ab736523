// File deployment: copies the server's files from the extracted package and the
// setup folder into the installation folder, keeping what an installation
// owns (configuration, databases, certificates, edited rules), writes the files
// that hold the installation path, and installs the anti-virus engine.
#pragma once

#include <string>

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

// The folders below the installation folder that deployment fills with the
// server's program and component files; the rest (mail\, logs\, config\,
// ...) is the server's own data.
inline constexpr const char* kDeployedFolders[] = {
    "doc\\",      "modules\\",  "html\\", "wizards\\", "spam\\", "calendar\\", "api\\",
    "tutorial\\", "examples\\", "xml\\",  "ldap\\",    "php\\",  "webmail\\",  "avast\\"};

class TFileDeployment {
 public:
  // setupProgram is the running setup program; its folder is the setup folder.
  TFileDeployment(setup::TSetupState& state, ui::UserInterface& ui, std::string setupProgram);

  // The whole deployment, after the package was extracted into ExtractDir.
  Outcome DeployFiles();
  // Adds the web filter module to config\webserver.cfg; for upgrades from
  // versions before 7.7.3.
  void RegisterWebFilter();

  // The steps, for the install run and the tests.
  Outcome EnsureInstallDir();
  // Copies sourceDir + name to targetDir + name, replacing a read-only target;
  // on failure asks Retry or Cancel.
  Outcome CopyOneFile(const std::string& name, const std::string& sourceDir,
                      const std::string& targetDir);
  // Copies sourceRoot + sub (empty or ending in "\") with everything below it
  // to targetRoot + sub. Links and junctions in the source are not followed.
  Outcome CopyTree(const std::string& sourceRoot, const std::string& sub,
                   const std::string& targetRoot);
  // Copies a text file into targetDir line by line, each line's first
  // "%%installpath%%" and first "%%temppath%%" replaced. A relative source is
  // taken from ExtractDir. Silent when the source cannot be read.
  void WriteWithPaths(const std::string& sourceFile, const std::string& targetDir);
  Outcome DeployComponentData();

 private:
  Outcome CopyIfPresent(const std::string& name, const std::string& sourceDir,
                        const std::string& targetDir);
  Outcome CopyTrees(std::initializer_list<const char*> subs);
  Outcome ExtractRequired(const std::string& archive, const std::string& destination);
  Outcome InstallAntivirus();

  setup::TSetupState& state_;
  ui::UserInterface& ui_;
  std::string setupProgram_;
  std::string setupFolder_;  // with a trailing "\"
};

}  // namespace engine

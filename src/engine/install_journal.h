// The journal of an install run. Every change the run makes to the machine,
// from its first one to its point of no return (the new modules started), is
// noted in an append-only file, and the note is flushed to the disk before the
// change is made. What the run replaces or deletes in the installation folder
// is first renamed into a backup folder on the same volume (what lies outside
// it is copied there), so that undoing costs no copying. A run that ends early
// undoes its notes in reverse order (RollBack); a setup that finds the journal
// of a run that was killed, crashed or lost power does the same before
// anything else. A note torn by the end of the process is ignored, and so is
// everything after it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/registry.h"

namespace engine {

// The staging folder below the installation folder: the package is unpacked
// there before the installation changes, and moved into place from there.
// Setup's own; deleted at the end of every run, after a rollback too, once the
// modules run again.
inline constexpr char kStagingFolder[] = "~staging\\";
// Beside it: what the run replaced or deleted in the installation folder,
// until it is past its point of no return or rolled back. Hidden; one per run.
inline constexpr char kBackupFolder[] = "~backup\\";

// One note: its kind and its fields.
struct JournalRecord {
  std::string kind;
  std::vector<std::string> fields;
  bool operator==(const JournalRecord&) const = default;
};

// A note as a line: the kind and the fields separated by tabs ("\" escapes a
// tab, a line break and itself), then the CRC-32 of all that in eight hex
// digits, then CR LF.
std::string EncodeRecord(const JournalRecord& record);
// A line without its CR LF; false when its check does not match.
bool DecodeRecord(const std::string& line, JournalRecord& record);
// The notes of a journal file up to the first torn or damaged one.
std::vector<JournalRecord> ReadJournal(const std::string& path);

// What a rollback did.
struct RollbackResult {
  bool found = false;        // there was a journal to roll back
  std::string installDir;    // of the run that wrote it
  std::vector<int> running;  // the modules that ran before it stopped them
  unsigned undone = 0;       // changes undone
  unsigned failed = 0;       // changes that could not be undone
};

class TInstallJournal {
 public:
  // The journal file: DefaultPath() for the setup itself.
  explicit TInstallJournal(std::string path);
  ~TInstallJournal();
  TInstallJournal(const TInstallJournal&) = delete;
  TInstallJournal& operator=(const TInstallJournal&) = delete;

  // In the Windows folder, where every later setup looks for it, whatever its
  // mode and whatever folder it installs into.
  static std::string DefaultPath();
  const std::string& Path() const { return path_; }

  // Starts the journal of a run into installDir (ending in "\"), noting what
  // the folder's top level holds; from now on every registry change is
  // journaled first. False when the journal cannot be written.
  bool Begin(const std::string& installDir);
  bool Active() const { return file_.IsOpen(); }

  // Renames from (a file or a folder) to to, never replacing, making to's
  // parents.
  bool Move(const std::string& from, const std::string& to);
  // Before path (a file or a folder) is created, replaced or deleted: an
  // existing one goes into the backup folder (renamed there, or copied when it
  // lies outside the installation folder); a missing one is noted as the
  // run's. False when it could not be moved aside.
  bool Replacing(const std::string& path);
  // Before a file is changed in place: the original goes into the backup
  // folder and a copy of it takes its place.
  bool Preserving(const std::string& path);
  // A new name in the backup folder.
  std::string NextBackup();
  // Before a service is created, reconfigured or deleted: what it has now.
  void SavingService(const std::string& name);
  // Before the modules are stopped: those that run.
  void Running(const std::vector<int>& modules);
  // Before a COM server library registers itself; registeredBefore when the
  // installation had it registered already.
  void RegisteringComServer(const std::string& library, bool registeredBefore);

  // The point of no return: the journal is marked done and changes are no
  // longer journaled.
  void Finish();
  // After Finish, once nothing needs them: deletes the backup folder and the
  // journal.
  void RemoveBackups();
  // Undoes the notes of the journal (this run's, or those of a run that did
  // not finish); see RollBackFile.
  RollbackResult RollBack();

  // Whether the run noted the modules that ran, about to stop them.
  bool StoppedModules() const;
  // Whether a journal is there that was neither finished nor rolled back.
  static bool Unfinished(const std::string& path);
  // Undoes the notes of the journal file in reverse order, each line of the
  // setup log saying what was put back, then deletes the backup folder and the
  // journal; the staging folder is left to the caller. Each undone note is noted in turn, so that a
  // rollback that is itself interrupted is resumed by the next one. A finished journal is only
  // deleted, with its backup folder.
  static RollbackResult RollBackFile(const std::string& path);

 private:
  bool Append(const JournalRecord& record);
  // Notes path as the run's own when it is missing: the outermost missing
  // folder on its way, once.
  bool NoteCreated(const std::string& path);
  bool Inside(const std::string& path) const;
  // Whether the key ("root:path", lower case) lies at or below one already saved.
  bool Saved(const std::string& name) const;
  void SaveKey(platform::RegRoot root, const std::string& path);

  std::string path_;
  platform::File file_;
  std::string installDir_, backupDir_;
  unsigned records_ = 0, backups_ = 0;
  std::set<std::string> topLevel_;  // what the installation folder held at Begin, lower case
  std::set<std::string> created_;   // lower case
  std::set<std::string> keys_;      // "root:path", lower case
  std::set<std::string> services_;
};

}  // namespace engine

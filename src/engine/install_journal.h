// The journal of an install run. Every change the run makes to the machine,
// from its first one to its point of no return (the new modules started), is
// noted in an append-only file, and the note is flushed to the disk before the
// change is made. What the run replaces or deletes in the installation folder
// is first renamed into the run's backup folder on the same volume (what lies
// outside it is copied there), so that undoing costs no copying. A run that
// ends early undoes its notes in reverse order (RollBack); a setup that finds
// the journal of a run that was killed, crashed or lost power does the same
// before anything else. A note torn by the end of the process is ignored, and
// so is everything after it.
//
// Past the point of no return the journal goes on with the merging of the
// replaced folders, which a later setup finishes when the run could not.
//
// Setup's own folders in the installation folder (staging, backup, kept) carry
// the run's identity in their names and are named in the journal; setup
// deletes no folder that a journal of its own does not name. An undo never
// deletes what the run did not make: what stands in its way is moved aside
// into the kept folder, and once an undo of a file failed, no file is touched
// any more until the next setup tries again.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/registry.h"

namespace engine {

// The format of the notes; a journal of another format is never applied.
inline constexpr char kJournalFormat[] = "2";

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
// The notes of a journal's text up to the first torn or damaged one; valid is
// the length of the text they take.
std::vector<JournalRecord> ParseJournal(const std::string& text, size_t& valid);
// The notes of a journal file up to the first torn or damaged one.
std::vector<JournalRecord> ReadJournal(const std::string& path);

// What the first note of a journal says of its run.
struct JournalHeader {
  std::string installDir;             // ending in "\"
  std::string runId;                  // in the names of the run's own folders
  std::string fromVersion;            // registered when the run began; "" when none was
  std::string toVersion;              // the version the run installs
  std::vector<std::string> topLevel;  // what the installation folder held

  // The run's own folders below the installation folder, ending in "\": the
  // unpacked package, what the run replaced, and what a rollback found in its
  // way (never deleted by setup).
  std::string StagingDir() const;
  std::string BackupDir() const;
  std::string KeptDir() const;
};
// False when the note is not the first note of a journal of this format.
bool ReadHeader(const JournalRecord& begin, JournalHeader& header);

// What a rollback, or the finishing of a run past its point of no return, did.
struct RollbackResult {
  bool found = false;        // there was a journal
  std::string installDir;    // of the run that wrote it
  std::vector<int> running;  // the modules that ran before it stopped them
  unsigned undone = 0;       // changes undone
  unsigned failed = 0;       // changes that could not be undone (still in the journal)
  // Why the journal was not applied, when it does not fit the machine as it is
  // now; it was then renamed to keptAs and nothing was undone.
  std::string refused, keptAs;
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

  // Starts the journal of a run into installDir (ending in "\"), noting the
  // run's identity, the version registered and what the folder's top level
  // holds, and makes the run's backup folder; from now on every registry
  // change is journaled first. False when the journal cannot be written.
  bool Begin(const std::string& installDir);
  bool Active() const { return file_.IsOpen() && !finished_; }
  // The run's folders (see JournalHeader), after Begin.
  std::string StagingDir() const { return header_.StagingDir(); }
  std::string BackupDir() const { return header_.BackupDir(); }

  // Where a path the run changes lies. Every path is checked before its note:
  // one of the installation must lie strictly below the installation folder
  // by the entry-name rule (archive::IsSafeEntryName on what follows the
  // folder: no "." or ".." name, no empty name, no device, no ":"), so that
  // neither "C:\Orvik\..\Windows\x" nor "C:\OrvikOther\x" passes; one
  // Outside (the run's links, what it leaves in the Windows folder: fixed
  // places the run names itself, never a name it read) must be a full path by
  // the same rule. A refused path fails the call, is logged, and stays in
  // Refused() for the run to abort on.
  enum class Scope { Installation, Outside };

  // Renames from (a file or a folder) to to, never replacing, making to's
  // parents; both lie in the installation.
  bool Move(const std::string& from, const std::string& to);
  // Before the run puts something of its own at path (a file or a folder it
  // writes, moves there or deletes): an existing one goes into the backup
  // folder (renamed there, or copied when it lies outside the installation
  // folder) and path is noted as the run's. False when the existing one could
  // not be kept.
  bool Replacing(const std::string& path, Scope scope = Scope::Installation);
  // Before the run deletes path (a file or a folder) without putting anything
  // there: it goes into the backup folder instead (copied there when it lies
  // outside the installation folder).
  bool Removing(const std::string& path, Scope scope = Scope::Installation);
  // Before a file is changed in place: a copy goes into the backup folder and
  // is checked against the file, which stays where it is. False when the copy
  // could not be made whole (a full disk): the file must not be changed then.
  bool Preserving(const std::string& path, Scope scope = Scope::Installation);
  // The first path refused by Scope's rule; "" when none was.
  const std::string& Refused() const { return refused_; }
  // A new name in the backup folder.
  std::string NextBackup();
  // Before a service is created, reconfigured or deleted: what it has now.
  void SavingService(const std::string& name);
  // Before the modules are stopped: those that run.
  void Running(const std::vector<int>& modules);
  // Before a COM server library registers itself; registeredBefore when the
  // installation had it registered already.
  void RegisteringComServer(const std::string& library, bool registeredBefore);
  // A folder was replaced by its staged counterpart target, the replaced one
  // waiting at aside: past the point of no return what arrived in it after it
  // was read goes into target (Retire), by this run or, after a kill, by the
  // next setup.
  void Swapped(const std::string& aside, const std::string& target);

  // The point of no return: the journal is marked done and changes are no
  // longer undone; what follows is finished instead.
  void Finish();
  // After Finish, for each Swapped folder: what arrived in the replaced folder
  // aside after it was read goes into its successor target, each move noted
  // first; the rest of it is left to CleanUp. False when something could not
  // be moved: it then stays in the backup folder.
  bool Retire(const std::string& aside, const std::string& target);
  // After Finish and the retiring: deletes the run's staging and backup
  // folders, then the journal. False when one of them stayed (logged); the
  // journal then stays too, and the next setup finishes the job.
  bool CleanUp();
  // Undoes the notes of the journal (this run's); see RollBackFile.
  RollbackResult RollBack();

  // Whether the run noted the modules that ran, about to stop them.
  bool StoppedModules() const;
  // Whether a journal is there that was neither finished nor rolled back.
  static bool Unfinished(const std::string& path);
  // Applies the journal file: a run that did not reach its point of no return
  // is undone in reverse order, each line of the setup log saying what was put
  // back; one that did is finished (its replaced folders merged, its folders
  // deleted). Each undone note is noted in turn, so that a rollback that is
  // itself interrupted is resumed by the next one. A journal that does not fit
  // the machine (another format, its installation folder gone or not the one
  // it changed, another version registered since) is renamed aside and
  // nothing is undone. After a rollback the run's folders and the journal stay
  // for CleanUpFile: the caller starts the modules first. A journal undone
  // whole by an earlier setup is only cleaned up.
  static RollbackResult RollBackFile(const std::string& path);
  // After a complete rollback: deletes the run's staging and backup folders
  // and the journal; see CleanUp.
  static bool CleanUpFile(const std::string& path);

 private:
  bool Append(const JournalRecord& record);
  // Notes path as the run's own when it is missing: the outermost missing
  // folder on its way, once.
  bool NoteCreated(const std::string& path);
  bool Inside(const std::string& path) const;
  // Whether path may be noted, by Scope's rule; a refused one is logged and kept.
  bool Admit(const std::string& path, Scope scope);
  // Whether the key ("root:path", lower case) lies at or below one already saved.
  bool Saved(const std::string& name) const;
  // Notes what a registry change is about to change.
  void Watch(const platform::RegistryChange& change);
  // Notes a key as it is, or as missing from its outermost missing parent on.
  void SaveKey(platform::RegRoot root, const std::string& path);

  std::string path_;
  platform::File file_;
  JournalHeader header_;
  std::string installDir_;
  std::string refused_;
  bool finished_ = false;
  unsigned records_ = 0, backups_ = 0;
  std::set<std::string> topLevel_;  // what the installation folder held at Begin, lower case
  std::set<std::string> created_;   // lower case
  std::set<std::string> keys_;      // "root:path", lower case
  std::set<std::string> services_;
};

}  // namespace engine

// The install journal: its notes, a torn end, and the rollback of files,
// folders, the registry and services, also after a kill at any point of the run
// or of the rollback itself. On the stand-in machine: registry and services
// held in memory.
#ifndef _WIN32
#include "engine/install_journal.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/file_faults.h"
#include "common/scratch_dir.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "simulator/simulator.h"
#include "support/file_utils.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;
using Tree = std::map<std::string, std::string>;  // relative path: content, "<dir>" for a folder

void Collect(const std::string& root, const std::string& sub, Tree& tree) {
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(root + sub + "*.*", entries);
  for (const platform::DirEntry& entry : entries) {
    if (entry.name == "." || entry.name == "..") continue;
    if (entry.attributes & platform::kAttrDirectory) {
      tree[sub + entry.name + "\\"] = "<dir>";
      Collect(root, sub + entry.name + "\\", tree);
    } else {
      tree[sub + entry.name] = ReadFile(root + sub + entry.name);
    }
  }
}

class InstallJournalTest : public testing::Test {
 protected:
  void SetUp() override {
    simulator::ClearRegistry();
    simulator::ClearModuleStandins();
    Put(dir_ + "a.txt", "old a");
    Put(dir_ + "sub\\b.txt", "old b");
    Put(dir_ + "doc\\d.txt", "old d");
    Put(dir_ + "doc\\mine.txt", "the administrator's");
    Put(dir_ + "logs\\setup\\setup.log", "the log");
    Put(outside_ + "o.ini", "old o");
    before_ = Snapshot();
  }
  void TearDown() override { platform::SetRegistryWatcher(nullptr); }
  static void Put(const std::string& path, const std::string& content) {
    ASSERT_TRUE(support::CreateFileDirectory(path));
    ASSERT_TRUE(WriteFile(path, content));
  }
  // The tree but the journal.
  Tree Snapshot() {
    Tree tree;
    Collect(scratch_.Path(), "", tree);
    tree.erase("journal");
    return tree;
  }
  // Undoes what the journal holds as the next setup does; its folders go
  // when everything was undone.
  engine::RollbackResult Recover() {
    const engine::RollbackResult result = engine::TInstallJournal::RollBackFile(journalPath_);
    if (result.failed == 0 && result.refused.empty())
      EXPECT_TRUE(engine::TInstallJournal::CleanUpFile(journalPath_));
    return result;
  }
  // What an install run does to the files, each change through the journal:
  // doc\ is swapped for its staged counterpart, after the administrator's
  // mine.txt was carried into it.
  void ChangeFiles(engine::TInstallJournal& journal) {
    ASSERT_TRUE(journal.Begin(dir_));
    const std::string staging = journal.StagingDir();
    Put(staging + "a.txt", "new a");
    Put(staging + "doc\\d.txt", "new d");
    ASSERT_TRUE(journal.Replacing(dir_ + "a.txt"));
    ASSERT_TRUE(journal.Move(staging + "a.txt", dir_ + "a.txt"));
    ASSERT_TRUE(journal.Move(dir_ + "doc\\mine.txt", staging + "doc\\mine.txt"));
    aside_ = journal.NextBackup() + "\\";
    ASSERT_TRUE(journal.Move(dir_ + "doc\\", aside_));
    ASSERT_TRUE(journal.Move(staging + "doc\\", dir_ + "doc\\"));
    journal.Swapped(aside_, dir_ + "doc\\");
    ASSERT_TRUE(journal.Replacing(dir_ + "sub\\new.txt"));
    Put(dir_ + "sub\\new.txt", "new file");
    ASSERT_TRUE(journal.Preserving(dir_ + "sub\\b.txt"));
    Put(dir_ + "sub\\b.txt", "b changed in place");
    ASSERT_TRUE(journal.Replacing(outside_ + "o.ini", engine::TInstallJournal::Scope::Outside));
    Put(outside_ + "o.ini", "new o");
    ASSERT_TRUE(journal.Replacing(dir_ + "config\\settings.cfg"));
    Put(dir_ + "config\\settings.cfg", "a folder the run added");
  }

  // Runs work in a child process, ended as if killed after the note haltAt
  // (0: never); its exit status.
  static int Child(size_t haltAt, const std::function<void()>& work) {
    const pid_t pid = fork();
    if (pid == 0) {
      if (haltAt != 0) setenv("ORVIK_SETUP_HALT_AT", std::to_string(haltAt).c_str(), 1);
      work();
      std::_Exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // The installation as SetUp made it.
  void Reset() {
    support::DeleteDirectory(dir_, "", true);
    support::DeleteDirectory(outside_, "", true);
    platform::DeleteFile(journalPath_);
    for (const auto& [path, content] : before_)
      if (content != "<dir>") Put(scratch_.Path() + path, content);
  }

  testing_support::ScratchDir scratch_;
  const std::string dir_ = scratch_.Path() + "Orvik\\";
  const std::string outside_ = scratch_.Path() + "Windows\\";
  const std::string journalPath_ = scratch_.Path() + "journal";
  std::string aside_;  // where ChangeFiles put the replaced doc folder
  Tree before_;
};

TEST_F(InstallJournalTest, NotesSurviveEscapingAndATornOrDamagedEndIsIgnored) {
  const std::vector<engine::JournalRecord> records = {
      {"move", {"C:\\a\tb", "line\r\nbreak\\"}}, {"create", {""}}, {"key", {"2", "x", "image"}}};
  std::string text;
  for (const engine::JournalRecord& record : records) text += engine::EncodeRecord(record);
  ASSERT_TRUE(WriteFile(journalPath_, text));
  EXPECT_EQ(engine::ReadJournal(journalPath_), records);

  const size_t last = text.size() - engine::EncodeRecord(records.back()).size();
  std::string damaged = text;
  damaged[last + 4] ^= 1;
  for (const std::string& cut : {text.substr(0, last + 1), text.substr(0, text.size() - 5),
                                 text.substr(0, text.size() - 1), damaged}) {
    ASSERT_TRUE(WriteFile(journalPath_, cut));
    EXPECT_EQ(engine::ReadJournal(journalPath_),
              std::vector<engine::JournalRecord>(records.begin(), records.end() - 1));
  }
}

// A path is noted only when it lies below the installation folder as Windows
// finds it; a prefix of the folder's name is not enough, and a fixed place
// outside it must be a plain full path too. A refused path changes nothing.
TEST_F(InstallJournalTest, APathNotBelowTheInstallationFolderIsRefusedBeforeAnyNote) {
  using Scope = engine::TInstallJournal::Scope;
  engine::TInstallJournal journal(journalPath_);
  ASSERT_TRUE(journal.Begin(dir_));
  const std::string sibling = scratch_.Path() + "OrvikOther\\";
  Put(sibling + "x.txt", "the sibling's");
  const Tree begun = Snapshot();
  const size_t notes = engine::ReadJournal(journalPath_).size();
  const std::pair<std::string, Scope> refused[] = {
      {dir_ + "..\\Windows\\o.ini", Scope::Installation},
      {dir_ + "sub\\..\\..\\Windows\\o.ini", Scope::Installation},
      {dir_ + "sub/../../Windows/o.ini", Scope::Installation},
      {sibling + "x.txt", Scope::Installation},
      {outside_ + "o.ini", Scope::Installation},
      {dir_ + ".\\a.txt", Scope::Installation},
      {dir_ + "a.txt:stream", Scope::Installation},
      {dir_ + "sub\\CON", Scope::Installation},
      {dir_, Scope::Installation},
      {outside_ + "..\\Orvik\\a.txt", Scope::Outside},
      {"Windows\\o.ini", Scope::Outside},
  };
  for (const auto& [path, scope] : refused) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(journal.Replacing(path, scope));
    EXPECT_FALSE(journal.Removing(path, scope));
    EXPECT_FALSE(journal.Preserving(path, scope));
    if (scope == Scope::Outside) continue;
    EXPECT_FALSE(journal.Move(path, dir_ + "moved.txt"));
    EXPECT_FALSE(journal.Move(dir_ + "a.txt", path));
  }
  EXPECT_EQ(journal.Refused(), refused[0].first);
  EXPECT_EQ(engine::ReadJournal(journalPath_).size(), notes);
  EXPECT_EQ(Snapshot(), begun);
}

TEST_F(InstallJournalTest, ARollbackPutsBackFilesRegistryAndServices) {
  platform::RegKey key;
  ASSERT_TRUE(key.Open(platform::RegRoot::LocalMachine, "\\Software\\Kestrun\\Mail", true));
  ASSERT_TRUE(key.WriteString("Version", "8.5.3"));
  ASSERT_TRUE(key.WriteDWord("Flags", 7));
  key.Close();
  simulator::StandinService smtp;
  smtp.Name = "OrvikSMTP";
  smtp.BinaryPath = "\"" + dir_ + "smtp.exe\"";
  smtp.Failure = {60, "", "", {{platform::kActionRestart, 1000}}};
  simulator::AddService(smtp);

  engine::TInstallJournal journal(journalPath_);
  ChangeFiles(journal);
  ASSERT_TRUE(key.Open(platform::RegRoot::LocalMachine, "\\Software\\Kestrun\\Mail", true));
  key.WriteString("Version", "8.9.1");
  key.DeleteValue("Flags");
  ASSERT_TRUE(key.Open(platform::RegRoot::LocalMachine, "Software\\Kestrun\\New\\Deep", true));
  key.WriteString("X", "added");
  key.Close();
  for (const char* name : {"OrvikSMTP", "OrvikIM"}) journal.SavingService(name);
  platform::ChangeServiceStartType("OrvikSMTP", platform::kStartDisabled);
  platform::ChangeServiceBinaryPath("OrvikSMTP", "\"C:\\elsewhere\\smtp.exe\"");
  platform::SetServiceFailureActions("OrvikSMTP", {});
  ASSERT_EQ(platform::CreateService({"OrvikIM", "Orvik IM", "im.exe"}), 0u);
  journal.Running({0, 3});

  const engine::RollbackResult result = journal.RollBack();
  EXPECT_EQ(result.failed, 0u);
  EXPECT_TRUE(engine::TInstallJournal::CleanUpFile(journalPath_));
  EXPECT_EQ(result.running, (std::vector<int>{0, 3}));
  EXPECT_EQ(result.installDir, dir_);
  EXPECT_EQ(Snapshot(), before_);
  EXPECT_FALSE(platform::FileExists(journalPath_));

  platform::RegValue value;
  ASSERT_TRUE(key.Open(platform::RegRoot::LocalMachine, "Software\\Kestrun\\Mail", false));
  ASSERT_TRUE(key.ReadValue("Version", value));
  EXPECT_EQ(value.data, "8.5.3");
  ASSERT_TRUE(key.ReadValue("Flags", value));
  EXPECT_EQ(value.dword, 7u);
  EXPECT_FALSE(platform::RegKeyExists(platform::RegRoot::LocalMachine, "Software\\Kestrun\\New"));
  simulator::StandinService service;
  ASSERT_TRUE(simulator::FindService("OrvikSMTP", service));
  EXPECT_EQ(service.StartType, platform::kStartAutomatic);
  EXPECT_EQ(service.BinaryPath, smtp.BinaryPath);
  EXPECT_EQ(service.Failure, smtp.Failure);
  EXPECT_FALSE(simulator::FindService("OrvikIM", service));
}

TEST_F(InstallJournalTest, AFinishedJournalIsNotRolledBackButItsMergingIsFinished) {
  engine::TInstallJournal journal(journalPath_);
  ChangeFiles(journal);
  journal.Running({1});
  journal.Finish();
  // Arrived in the replaced doc folder after it was read; the run ends before
  // its merging.
  Put(aside_ + "late.txt", "late");
  Tree expected = Snapshot();
  for (auto it = expected.begin(); it != expected.end();)
    it = it->first.find("~orvik-") != std::string::npos ? expected.erase(it) : std::next(it);
  expected["Orvik\\doc\\late.txt"] = "late";
  EXPECT_FALSE(engine::TInstallJournal::Unfinished(journalPath_));
  const engine::RollbackResult result = engine::TInstallJournal::RollBackFile(journalPath_);
  EXPECT_EQ(result.undone, 0u);
  EXPECT_TRUE(result.running.empty());
  EXPECT_EQ(Snapshot(), expected);
  EXPECT_FALSE(platform::FileExists(journalPath_));
}

// A child process does the run and its rollback and ends as if killed right
// after the given note; the next run's rollback puts everything back.
TEST_F(InstallJournalTest, AKillAtAnyPointOfTheRunOrOfItsRollbackIsUndoneByTheNextRun) {
  auto child = [this](size_t haltAt) {
    return Child(haltAt, [this] {
      engine::TInstallJournal journal(journalPath_);
      ChangeFiles(journal);
      journal.RollBack();
      engine::TInstallJournal::CleanUpFile(journalPath_);
    });
  };
  ASSERT_EQ(child(0), 0);  // the whole run and rollback: how many notes they write
  ASSERT_EQ(Snapshot(), before_);
  engine::TInstallJournal counter(journalPath_);
  ChangeFiles(counter);
  const size_t runNotes = engine::ReadJournal(journalPath_).size();
  counter.RollBack();
  engine::TInstallJournal::CleanUpFile(journalPath_);
  for (size_t haltAt = 1; haltAt < 2 * runNotes; ++haltAt) {
    SCOPED_TRACE("killed after note " + std::to_string(haltAt));
    ASSERT_EQ(child(haltAt), 9);
    EXPECT_TRUE(engine::TInstallJournal::Unfinished(journalPath_));
    EXPECT_EQ(Recover().failed, 0u);
    EXPECT_EQ(Snapshot(), before_);
  }
}

// Past the point of no return the journal goes on with the merging of the
// replaced folders: a kill at any of its notes is finished by the next setup,
// and what arrived in a replaced folder after it was read is never lost.
TEST_F(InstallJournalTest, AKillWhileTheReplacedFoldersAreMergedIsFinishedByTheNextRun) {
  auto run = [this] {
    engine::TInstallJournal journal(journalPath_);
    ChangeFiles(journal);
    Put(aside_ + "late.txt", "late");
    Put(aside_ + "later\\x.txt", "later");
    journal.Finish();
    ASSERT_TRUE(journal.Retire(aside_, dir_ + "doc\\"));
    ASSERT_TRUE(journal.CleanUp());
  };
  ASSERT_EQ(Child(0, run), 0);
  const Tree finished = Snapshot();
  EXPECT_EQ(finished.at("Orvik\\doc\\late.txt"), "late");
  EXPECT_EQ(finished.at("Orvik\\doc\\later\\x.txt"), "later");
  EXPECT_EQ(finished.at("Orvik\\doc\\mine.txt"), "the administrator's");
  const size_t notes = engine::ReadJournal(journalPath_).size();  // none: deleted
  EXPECT_EQ(notes, 0u);
  // The notes of a finished run: those of the changes, done, and one per merge move.
  Reset();
  engine::TInstallJournal counter(journalPath_);
  ChangeFiles(counter);
  const size_t done = engine::ReadJournal(journalPath_).size() + 1;
  counter.RollBack();
  engine::TInstallJournal::CleanUpFile(journalPath_);
  for (size_t haltAt = done; haltAt <= done + 2; ++haltAt) {
    SCOPED_TRACE("killed after note " + std::to_string(haltAt));
    Reset();
    ASSERT_EQ(Child(haltAt, run), 9);
    EXPECT_FALSE(engine::TInstallJournal::Unfinished(journalPath_));
    EXPECT_EQ(engine::TInstallJournal::RollBackFile(journalPath_).failed, 0u);
    EXPECT_EQ(Snapshot(), finished);
  }
  // A move of the merge that fails keeps the backup folder and the journal.
  Reset();
  {
    testing_support::FileFaults faults;
    engine::TInstallJournal journal(journalPath_);
    ChangeFiles(journal);
    Put(aside_ + "late.txt", "late");
    faults.Hold(aside_ + "late.txt");
    journal.Finish();
    EXPECT_FALSE(journal.Retire(aside_, dir_ + "doc\\"));
    EXPECT_EQ(ReadFile(aside_ + "late.txt"), "late");
    EXPECT_TRUE(platform::FileExists(journalPath_));
  }
  EXPECT_EQ(engine::TInstallJournal::RollBackFile(journalPath_).failed, 0u);
  EXPECT_EQ(ReadFile(dir_ + "doc\\late.txt"), "late");
  EXPECT_FALSE(platform::FileExists(journalPath_));
}

// What the rollback finds that the run did not make stays: a top-level folder
// made after the run began, and a file put where the run had deleted one,
// which goes into the kept folder.
TEST_F(InstallJournalTest, ARollbackKeepsWhatTheRunDidNotMake) {
  Put(dir_ + "old.txt", "old");
  before_ = Snapshot();
  engine::TInstallJournal journal(journalPath_);
  ChangeFiles(journal);
  ASSERT_TRUE(journal.Removing(dir_ + "old.txt"));
  const std::string kept = dir_ + "~orvik-kept-" + journal.StagingDir().substr(dir_.size() + 15);
  // Between a kill and the next setup.
  Put(dir_ + "archive\\2026\\mail.eml", "a message");
  Put(dir_ + "old.txt", "written since");
  EXPECT_EQ(Recover().failed, 0u);
  Tree expected = before_;
  expected["Orvik\\archive\\"] = expected["Orvik\\archive\\2026\\"] = "<dir>";
  expected["Orvik\\archive\\2026\\mail.eml"] = "a message";
  const std::string keptName = kept.substr(scratch_.Path().size());
  expected[keptName] = expected[keptName + "1\\"] = "<dir>";
  expected[keptName + "1\\old.txt"] = "written since";
  EXPECT_EQ(Snapshot(), expected);
}

// The registry gets back what the run changed and nothing else: a value
// another program added to the same key after a kill stays, and so does one
// it changed after the run had written it.
TEST_F(InstallJournalTest, ARollbackKeepsRegistryValuesChangedSince) {
  const std::string sources = "\\Software\\ODBC\\ODBC.INI\\ODBC Data Sources";
  platform::RegKey key;
  auto value = [&](const std::string& name) {
    platform::RegValue read;
    platform::RegKey open;
    return open.Open(platform::RegRoot::LocalMachine, sources, false) && open.ReadValue(name, read)
               ? read.data
               : "<none>";
  };
  ASSERT_TRUE(key.Open(platform::RegRoot::LocalMachine, sources, true));
  ASSERT_TRUE(key.WriteString("Existing", "before"));
  ASSERT_TRUE(key.WriteString("Shared", "before"));
  {
    engine::TInstallJournal journal(journalPath_);
    ASSERT_TRUE(journal.Begin(dir_));
    ASSERT_TRUE(key.Open(platform::RegRoot::LocalMachine, sources, true));
    ASSERT_TRUE(key.WriteString("OrvikChallenge", "Microsoft Access Driver (*.mdb)"));
    ASSERT_TRUE(key.WriteString("Existing", "by the run"));
    ASSERT_TRUE(key.WriteString("Existing", "by the run again"));
    ASSERT_TRUE(key.WriteString("Shared", "by the run"));
  }  // killed
  ASSERT_TRUE(key.WriteString("Other", "another program's"));
  ASSERT_TRUE(key.WriteString("Shared", "changed since"));
  key.Close();
  EXPECT_EQ(Recover().failed, 0u);
  EXPECT_EQ(value("OrvikChallenge"), "<none>");
  EXPECT_EQ(value("Existing"), "before");
  EXPECT_EQ(value("Other"), "another program's");
  EXPECT_EQ(value("Shared"), "changed since");
}

// One undo of a file that fails (a program holds a file in the swapped-in
// folder) stops every later undo of a file: nothing is deleted, the journal
// and the run's folders stay, and the next setup completes the rollback.
TEST_F(InstallJournalTest, ARefusedUndoTouchesNoFileAfterItAndTheNextRunCompletesIt) {
  engine::TInstallJournal journal(journalPath_);
  ChangeFiles(journal);
  const std::string staging = journal.StagingDir(), backup = journal.BackupDir();
  {
    testing_support::FileFaults faults;
    faults.Hold(dir_ + "doc\\d.txt");
    const engine::RollbackResult result = journal.RollBack();
    EXPECT_GT(result.failed, 0u);
  }
  EXPECT_EQ(ReadFile(dir_ + "doc\\mine.txt"), "the administrator's");
  EXPECT_TRUE(engine::TInstallJournal::Unfinished(journalPath_));
  EXPECT_TRUE(platform::DirectoryExists(staging));
  EXPECT_TRUE(platform::DirectoryExists(backup));
  EXPECT_EQ(Recover().failed, 0u);
  EXPECT_EQ(Snapshot(), before_);
}

// A journal that does not fit what it finds is applied in no part: renamed
// aside, never deleted.
TEST_F(InstallJournalTest, AJournalThatDoesNotFitIsKeptAsideAndNothingIsUndone) {
  platform::RegKey key;
  const std::string product = "\\Software\\Kestrun\\Orvik Mail Server";
  struct Case {
    const char* what;
    std::function<void(const std::string& journal)> arrange;
  };
  const Case cases[] = {
      {"another format",
       [](const std::string& path) {
         std::vector<engine::JournalRecord> records = engine::ReadJournal(path);
         records[0].fields[0] = "3";
         std::string rewritten;
         for (const engine::JournalRecord& record : records)
           rewritten += engine::EncodeRecord(record);
         ASSERT_TRUE(WriteFile(path, rewritten));
       }},
      {"installation folder moved",
       [this](const std::string&) {
         ASSERT_TRUE(
             platform::MoveFile(support::NormalizeDir(dir_, false), scratch_.Path() + "Moved"));
       }},
      {"another installation in its place",
       [](const std::string& path) {
         const std::vector<engine::JournalRecord> records = engine::ReadJournal(path);
         engine::JournalHeader header;
         ASSERT_TRUE(engine::ReadHeader(records[0], header));
         support::DeleteDirectory(header.BackupDir(), "", true);
       }},
      {"another version registered since",
       [&](const std::string&) {
         ASSERT_TRUE(key.Open(platform::RegRoot::LocalMachine, product, true));
         ASSERT_TRUE(key.WriteString("Version", "9.0.0"));
         key.Close();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Reset();
    simulator::ClearRegistry();
    {
      engine::TInstallJournal journal(journalPath_);
      ChangeFiles(journal);
    }  // killed
    c.arrange(journalPath_);
    const std::string text = ReadFile(journalPath_);
    const Tree changed = Snapshot();
    EXPECT_TRUE(engine::TInstallJournal::Unfinished(journalPath_));
    const engine::RollbackResult result = engine::TInstallJournal::RollBackFile(journalPath_);
    EXPECT_FALSE(result.refused.empty());
    EXPECT_EQ(result.undone, 0u);
    EXPECT_EQ(result.keptAs, journalPath_ + ".1.kept");
    EXPECT_EQ(ReadFile(result.keptAs), text);
    Tree after = Snapshot();
    after.erase("journal.1.kept");
    EXPECT_EQ(after, changed);
    EXPECT_FALSE(platform::FileExists(journalPath_));
    platform::DeleteFile(result.keptAs);
    support::DeleteDirectory(scratch_.Path() + "Moved\\", "", true);
  }
}

// A note this setup does not understand is never counted as undone: a newer
// setup's kind, or the wrong number of fields.
TEST_F(InstallJournalTest, ANoteThatIsNotUnderstoodIsNeverTakenAsUndone) {
  for (const engine::JournalRecord& odd :
       {engine::JournalRecord{"rename", {dir_ + "a.txt", dir_ + "b.txt"}},
        engine::JournalRecord{"move", {dir_ + "a.txt"}},
        engine::JournalRecord{"create", {dir_ + "a.txt", "extra"}},
        engine::JournalRecord{"service", {"OrvikSMTP", "2", "x"}}}) {
    SCOPED_TRACE(odd.kind);
    Reset();
    {
      engine::TInstallJournal journal(journalPath_);
      ASSERT_TRUE(journal.Begin(dir_));
    }
    std::string text = ReadFile(journalPath_) + engine::EncodeRecord(odd);
    ASSERT_TRUE(WriteFile(journalPath_, text));
    const engine::RollbackResult result = engine::TInstallJournal::RollBackFile(journalPath_);
    EXPECT_GE(result.failed, 1u);
    EXPECT_TRUE(engine::TInstallJournal::Unfinished(journalPath_));
  }
}

}  // namespace
#endif

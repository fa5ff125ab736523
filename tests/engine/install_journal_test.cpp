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
#include <map>
#include <string>
#include <vector>

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
    Put(dir_ + "logs\\setup\\setup.log", "the log");
    Put(outside_ + "o.ini", "old o");
    before_ = Snapshot();
  }
  void TearDown() override { platform::SetRegistryWatcher(nullptr); }
  static void Put(const std::string& path, const std::string& content) {
    ASSERT_TRUE(support::CreateFileDirectory(path));
    ASSERT_TRUE(WriteFile(path, content));
  }
  // The tree but the journal and the staging folder, which a rollback leaves
  // to the install run.
  Tree Snapshot() {
    Tree tree;
    Collect(scratch_.Path(), "", tree);
    tree.erase("journal");
    for (auto it = tree.begin(); it != tree.end();)
      it = it->first.rfind("Orvik\\~staging\\", 0) == 0 ? tree.erase(it) : std::next(it);
    return tree;
  }
  // What an install run does to the files, each change through the journal.
  void ChangeFiles(engine::TInstallJournal& journal) {
    ASSERT_TRUE(journal.Begin(dir_));
    journal.Replacing(dir_ + "~staging\\");
    Put(dir_ + "~staging\\a.txt", "new a");
    Put(dir_ + "~staging\\doc\\d.txt", "new d");
    ASSERT_TRUE(journal.Replacing(dir_ + "a.txt"));
    ASSERT_TRUE(journal.Move(dir_ + "~staging\\a.txt", dir_ + "a.txt"));
    const std::string aside = journal.NextBackup();
    ASSERT_TRUE(journal.Move(dir_ + "doc\\", aside));
    ASSERT_TRUE(journal.Move(dir_ + "~staging\\doc\\", dir_ + "doc\\"));
    ASSERT_TRUE(journal.Replacing(dir_ + "sub\\new.txt"));
    Put(dir_ + "sub\\new.txt", "new file");
    ASSERT_TRUE(journal.Preserving(dir_ + "sub\\b.txt"));
    Put(dir_ + "sub\\b.txt", "b changed in place");
    ASSERT_TRUE(journal.Replacing(outside_ + "o.ini"));
    Put(outside_ + "o.ini", "new o");
    Put(dir_ + "config\\settings.cfg", "a folder the run added");
  }

  testing_support::ScratchDir scratch_;
  const std::string dir_ = scratch_.Path() + "Orvik\\";
  const std::string outside_ = scratch_.Path() + "Windows\\";
  const std::string journalPath_ = scratch_.Path() + "journal";
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

TEST_F(InstallJournalTest, AFinishedJournalIsNotRolledBack) {
  engine::TInstallJournal journal(journalPath_);
  ChangeFiles(journal);
  journal.Running({1});
  journal.Finish();
  const Tree after = Snapshot();
  EXPECT_FALSE(engine::TInstallJournal::Unfinished(journalPath_));
  const engine::RollbackResult result = engine::TInstallJournal::RollBackFile(journalPath_);
  EXPECT_EQ(result.undone, 0u);
  EXPECT_TRUE(result.running.empty());
  Tree expected = after;
  for (auto it = expected.begin(); it != expected.end();)
    it = it->first.rfind("Orvik\\~backup\\", 0) == 0 ? expected.erase(it) : std::next(it);
  EXPECT_EQ(Snapshot(), expected);
}

// A child process does the run and its rollback and ends as if killed right
// after the given note; the next run's rollback puts everything back.
TEST_F(InstallJournalTest, AKillAtAnyPointOfTheRunOrOfItsRollbackIsUndoneByTheNextRun) {
  auto child = [this](size_t haltAt) {
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("ORVIK_SETUP_HALT_AT", std::to_string(haltAt).c_str(), 1);
      engine::TInstallJournal journal(journalPath_);
      ChangeFiles(journal);
      journal.RollBack();
      std::_Exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  ASSERT_EQ(child(0), 0);  // the whole run and rollback: how many notes they write
  ASSERT_EQ(Snapshot(), before_);
  engine::TInstallJournal counter(journalPath_);
  ChangeFiles(counter);
  const size_t runNotes = engine::ReadJournal(journalPath_).size();
  counter.RollBack();
  for (size_t haltAt = 1; haltAt < 2 * runNotes; ++haltAt) {
    SCOPED_TRACE("killed after note " + std::to_string(haltAt));
    ASSERT_EQ(child(haltAt), 9);
    EXPECT_TRUE(engine::TInstallJournal::Unfinished(journalPath_));
    EXPECT_EQ(engine::TInstallJournal::RollBackFile(journalPath_).failed, 0u);
    EXPECT_EQ(Snapshot(), before_);
  }
}

}  // namespace
#endif

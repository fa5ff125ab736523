// Folder swaps on the real file layer: what the installed folder holds beside
// the staged files is kept, also what changed after the survey; a rollback of
// the journal puts the installed folder back as it was.
#include "engine/folder_swap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>

#include "common/scratch_dir.h"
#include "common/testbed.h"
#include "platform/files.h"
#include "support/file_utils.h"

namespace {

using testing_support::ReadFile;

class FolderSwapTest : public testing::Test {
 protected:
  void Write(const std::string& root, const std::map<std::string, std::string>& files) {
    for (const auto& [name, content] : files) {
      ASSERT_TRUE(support::CreateFileDirectory(root + name)) << name;
      ASSERT_TRUE(testing_support::WriteFile(root + name, content)) << name;
    }
  }

  // A carry that moves through the journal and ends the run after `carries` moves.
  engine::TFolderSwap::Carry Carrying(size_t carries = SIZE_MAX) {
    return
        [this, carries](const std::string& name, const std::string& from, const std::string& to) {
          carried_.push_back(name);
          return journal_.Move(from + name, to + name) && carried_.size() < carries
                     ? engine::Outcome::Done
                     : engine::Outcome::Cancelled;
        };
  }

  testing_support::ScratchDir scratch_;
  const std::string root_ = scratch_.Path() + "Orvik\\";
  const std::string installed_ = root_ + "doc\\";
  const std::string staged_ = root_ + "~staging\\doc\\";
  std::vector<std::string> carried_;
  engine::TInstallJournal journal_{scratch_.Path() + "journal"};
  engine::TFolderSwap swap_{Carrying(), journal_};
};

TEST_F(FolderSwapTest, TheInstallationsOwnFilesStayAlsoThoseThatChangedAfterTheSurvey) {
  Write(installed_, {{"a.txt", "old a"},
                     {"sub\\b.txt", "old b"},
                     {"sub\\mine.txt", "mine"},
                     {"sub\\gone.txt", "deleted after the survey"},
                     {"own\\x.txt", "own folder"}});
  Write(staged_, {{"a.txt", "new a"}, {"sub\\b.txt", "new b"}});
  ASSERT_TRUE(journal_.Begin(root_));
  swap_.Survey(installed_);
  swap_.Survey(staged_);
  ASSERT_TRUE(platform::DeleteFile(installed_ + "sub\\gone.txt"));
  Write(installed_, {{"sub\\late.txt", "arrived after the survey"}});

  bool swapped = false;
  ASSERT_EQ(swap_.Swap(staged_, installed_, swapped), engine::Outcome::Done);
  EXPECT_TRUE(swapped);
  std::sort(carried_.begin(), carried_.end());
  EXPECT_EQ(carried_, (std::vector<std::string>{"mine.txt", "own"}));  // not what went meanwhile
  EXPECT_EQ(ReadFile(installed_ + "a.txt"), "new a");
  EXPECT_EQ(ReadFile(installed_ + "sub\\b.txt"), "new b");
  EXPECT_EQ(ReadFile(installed_ + "sub\\mine.txt"), "mine");
  EXPECT_EQ(ReadFile(installed_ + "own\\x.txt"), "own folder");
  EXPECT_FALSE(platform::FileExists(installed_ + "sub\\gone.txt"));
  EXPECT_FALSE(platform::DirectoryExists(staged_));

  journal_.Finish();
  EXPECT_TRUE(swap_.Retire());
  EXPECT_TRUE(journal_.CleanUp());
  EXPECT_EQ(ReadFile(installed_ + "sub\\late.txt"), "arrived after the survey");
  EXPECT_FALSE(platform::DirectoryExists(journal_.BackupDir()));
}

TEST_F(FolderSwapTest, AFileFacingAFolderLeavesTheInstalledFolderInPlace) {
  Write(installed_, {{"x\\y.txt", "a folder here"}});
  Write(staged_, {{"x", "a file there"}});
  bool swapped = true;
  ASSERT_EQ(swap_.Swap(staged_, installed_, swapped), engine::Outcome::Done);
  EXPECT_FALSE(swapped);
  EXPECT_EQ(ReadFile(installed_ + "x\\y.txt"), "a folder here");
  EXPECT_EQ(ReadFile(staged_ + "x"), "a file there");
}

// A swap undone by the journal, whether it ended while carrying or after the
// renames: the installed folder is as it was, the staged one too.
TEST_F(FolderSwapTest, ASwapRolledBackLeavesBothFoldersAsTheyWere) {
  for (size_t carries : {size_t{1}, SIZE_MAX}) {
    SCOPED_TRACE(carries == 1 ? "ended while carrying" : "ended after the swap");
    support::DeleteDirectory(root_, "", true);
    carried_.clear();
    Write(installed_, {{"a.txt", "old a"}, {"mine.txt", "mine"}, {"own\\x.txt", "own"}});
    Write(staged_, {{"a.txt", "new a"}, {"b.txt", "new b"}});
    ASSERT_TRUE(journal_.Begin(root_));
    engine::TFolderSwap swap(Carrying(carries), journal_);
    swap.Survey(installed_);
    bool swapped = false;
    swap.Swap(staged_, installed_, swapped);
    ASSERT_EQ(swapped, carries == SIZE_MAX);

    EXPECT_EQ(journal_.RollBack().failed, 0u);
    EXPECT_TRUE(engine::TInstallJournal::CleanUpFile(journal_.Path()));
    EXPECT_EQ(ReadFile(installed_ + "a.txt"), "old a");
    EXPECT_EQ(ReadFile(installed_ + "mine.txt"), "mine");
    EXPECT_EQ(ReadFile(installed_ + "own\\x.txt"), "own");
    EXPECT_FALSE(platform::FileExists(installed_ + "b.txt"));
    EXPECT_EQ(ReadFile(staged_ + "b.txt"), "new b");
    EXPECT_FALSE(platform::DirectoryExists(journal_.BackupDir()));
  }
}

}  // namespace

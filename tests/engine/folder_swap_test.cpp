// Folder swaps on the real file layer: what the installed folder holds beside
// the staged files is kept, also what changed after the survey.
#include "engine/folder_swap.h"

#include <gtest/gtest.h>

#include <algorithm>
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

  testing_support::ScratchDir scratch_;
  const std::string installed_ = scratch_.Path() + "Orvik\\doc\\";
  const std::string staged_ = scratch_.Path() + "Orvik\\~staging\\doc\\";
  const std::string aside_ = scratch_.Path() + "Orvik\\~staging\\~replaced\\";
  std::vector<std::string> carried_;
  engine::TFolderSwap swap_{
      [this](const std::string& name, const std::string& from, const std::string& to) {
        carried_.push_back(name);
        return platform::MoveFile(from + name, to + name) ? engine::Outcome::Done
                                                          : engine::Outcome::Cancelled;
      }};
};

TEST_F(FolderSwapTest, TheInstallationsOwnFilesStayAlsoThoseThatChangedAfterTheSurvey) {
  Write(installed_, {{"a.txt", "old a"},
                     {"sub\\b.txt", "old b"},
                     {"sub\\mine.txt", "mine"},
                     {"sub\\gone.txt", "deleted after the survey"},
                     {"own\\x.txt", "own folder"}});
  Write(staged_, {{"a.txt", "new a"}, {"sub\\b.txt", "new b"}});
  swap_.Survey(installed_);
  swap_.Survey(staged_);
  ASSERT_TRUE(platform::DeleteFile(installed_ + "sub\\gone.txt"));
  Write(installed_, {{"sub\\late.txt", "arrived after the survey"}});

  bool swapped = false;
  ASSERT_EQ(swap_.Swap(staged_, installed_, aside_, swapped), engine::Outcome::Done);
  EXPECT_TRUE(swapped);
  std::sort(carried_.begin(), carried_.end());
  EXPECT_EQ(carried_, (std::vector<std::string>{"mine.txt", "own"}));  // not what went meanwhile
  EXPECT_EQ(ReadFile(installed_ + "a.txt"), "new a");
  EXPECT_EQ(ReadFile(installed_ + "sub\\b.txt"), "new b");
  EXPECT_EQ(ReadFile(installed_ + "sub\\mine.txt"), "mine");
  EXPECT_EQ(ReadFile(installed_ + "own\\x.txt"), "own folder");
  EXPECT_FALSE(platform::FileExists(installed_ + "sub\\gone.txt"));
  EXPECT_FALSE(platform::DirectoryExists(staged_));

  swap_.Retire();
  EXPECT_EQ(ReadFile(installed_ + "sub\\late.txt"), "arrived after the survey");
  EXPECT_FALSE(platform::DirectoryExists(aside_ + "0"));
}

TEST_F(FolderSwapTest, AFileFacingAFolderLeavesTheInstalledFolderInPlace) {
  Write(installed_, {{"x\\y.txt", "a folder here"}});
  Write(staged_, {{"x", "a file there"}});
  bool swapped = true;
  ASSERT_EQ(swap_.Swap(staged_, installed_, aside_, swapped), engine::Outcome::Done);
  EXPECT_FALSE(swapped);
  EXPECT_EQ(ReadFile(installed_ + "x\\y.txt"), "a folder here");
  EXPECT_EQ(ReadFile(staged_ + "x"), "a file there");
}

// A run that ended in the middle: the next one puts together what it left apart.
TEST_F(FolderSwapTest, ARunThatEndedMidwayIsPutTogetherByTheNext) {
  for (bool swappedBeforeTheEnd : {false, true}) {
    SCOPED_TRACE(swappedBeforeTheEnd ? "ended before retiring" : "ended while carrying");
    support::DeleteDirectory(scratch_.Path() + "Orvik\\", "", true);
    Write(installed_, {{"a.txt", "old a"}, {"mine.txt", "mine"}});
    Write(staged_, {{"a.txt", "new a"}, {"b.txt", "new b"}});
    engine::TFolderSwap swap(
        [&](const std::string& name, const std::string& from, const std::string& to) {
          platform::MoveFile(from + name, to + name);
          return swappedBeforeTheEnd ? engine::Outcome::Done : engine::Outcome::Cancelled;
        });
    swap.Survey(installed_);
    bool swapped = false;
    swap.Swap(staged_, installed_, aside_, swapped);
    ASSERT_EQ(swapped, swappedBeforeTheEnd);
    if (swapped) Write(aside_ + "0\\", {{"late.txt", "arrived after the survey"}});

    engine::TFolderSwap::Recover(aside_);
    EXPECT_EQ(ReadFile(installed_ + "mine.txt"), "mine");
    EXPECT_EQ(ReadFile(installed_ + "a.txt"), swapped ? "new a" : "old a");
    EXPECT_EQ(ReadFile(installed_ + "b.txt"), "new b");
    if (swapped) {
      EXPECT_EQ(ReadFile(installed_ + "late.txt"), "arrived after the survey");
    }
    EXPECT_FALSE(platform::DirectoryExists(aside_ + "0"));
  }
}

}  // namespace

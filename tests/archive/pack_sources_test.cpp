#include "archive/pack_sources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/scratch_dir.h"
#include "platform/files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/posix_platform.h"
#endif

namespace archive {
namespace {

using testing_support::ScratchDir;
using testing_support::WriteFile;

std::vector<std::string> Names(const std::vector<PackItem>& items) {
  std::vector<std::string> names;
  for (const PackItem& item : items) names.push_back(item.Name);
  return names;
}

TEST(EntryNameOrder, GoesFolderByFolderWithoutRegardToCase) {
  // Byte order would put "a.txt" ('.') before "a\z" ('\'), and "B" before "a".
  const std::vector<std::string> sorted = {"A\\y\\deep.txt", "a\\z", "a.txt", "B",
                                           "b\\c",           "b0",   "c"};
  for (size_t i = 0; i < sorted.size(); ++i) {
    EXPECT_FALSE(EntryNameLess(sorted[i], sorted[i])) << sorted[i];
    for (size_t j = i + 1; j < sorted.size(); ++j) {
      EXPECT_TRUE(EntryNameLess(sorted[i], sorted[j])) << sorted[i] << " < " << sorted[j];
      EXPECT_FALSE(EntryNameLess(sorted[j], sorted[i])) << sorted[j] << " < " << sorted[i];
    }
  }
  // Names that differ only in case are ordered by their bytes, after everything that differs
  // otherwise, so that they end up side by side.
  EXPECT_TRUE(EntryNameLess("A\\z", "a\\z"));
  EXPECT_TRUE(EntryNameLess("a\\b", "A\\z"));
  EXPECT_TRUE(EntryNameLess("A\\z", "ab"));
}

class CollectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.Path() + "tree";
    for (const char* folder : {"", "\\A", "\\A\\y", "\\empty", "\\b"}) {
      ASSERT_TRUE(platform::CreateDirectory(root_ + folder));
    }
    for (const char* file :
         {"\\b.txt", "\\A\\z.txt", "\\A\\y\\deep.txt", "\\a.txt", "\\C.txt", "\\b\\inner"}) {
      ASSERT_TRUE(WriteFile(root_ + file, file));
    }
  }

  ScratchDir dir_;
  std::string root_;
};

TEST_F(CollectTest, AFolderGivesItsFilesRelativeToItInStableOrder) {
  std::vector<PackItem> items;
  const CollectResult result = CollectSources({root_}, items);
  ASSERT_TRUE(result.Ok) << result.Error;
  EXPECT_TRUE(result.Skipped.empty());
  const std::vector<std::string> expected = {"A\\y\\deep.txt", "A\\z.txt", "a.txt",
                                             "b\\inner",       "b.txt",    "C.txt"};
  EXPECT_EQ(Names(items), expected);
  for (const PackItem& item : items) {
    // The source is the file that the name says, below the folder given.
    EXPECT_EQ(testing_support::ReadFile(item.SourcePath), "\\" + item.Name) << item.Name;
  }
  // A trailing separator on the folder changes nothing.
  std::vector<PackItem> again;
  ASSERT_TRUE(CollectSources({root_ + "\\"}, again).Ok);
  EXPECT_EQ(Names(again), expected);
}

TEST_F(CollectTest, FilesAndFoldersGivenTogetherAreSortedAsOne) {
  ASSERT_TRUE(WriteFile(dir_.Path() + "Alone.txt", "x"));
  std::vector<PackItem> items;
  ASSERT_TRUE(CollectSources({root_ + "\\A", dir_.Path() + "Alone.txt"}, items).Ok);
  EXPECT_EQ(Names(items), (std::vector<std::string>{"Alone.txt", "y\\deep.txt", "z.txt"}));
  EXPECT_EQ(items[0].SourcePath, dir_.Path() + "Alone.txt");
}

TEST_F(CollectTest, TwoSourcesThatGiveOneNameFail) {
  std::vector<PackItem> items;
  // "b.txt" of the tree and the file given itself.
  CollectResult result = CollectSources({root_, root_ + "\\b.txt"}, items);
  EXPECT_FALSE(result.Ok);
  EXPECT_NE(result.Error.find("b.txt"), std::string::npos) << result.Error;

  // The same without regard to case: one file on Windows.
  ASSERT_TRUE(platform::CreateDirectory(dir_.Path() + "other"));
  ASSERT_TRUE(WriteFile(dir_.Path() + "other\\C.TXT", "x"));
  items.clear();
  result = CollectSources({root_, dir_.Path() + "other"}, items);
  EXPECT_FALSE(result.Ok);
  EXPECT_NE(result.Error.find("C.TXT"), std::string::npos) << result.Error;
}

TEST_F(CollectTest, AMissingSourceFails) {
  std::vector<PackItem> items;
  const CollectResult result = CollectSources({root_ + "\\missing"}, items);
  EXPECT_FALSE(result.Ok);
  EXPECT_NE(result.Error.find("missing"), std::string::npos);
}

TEST_F(CollectTest, ADeepTreeIsCollected) {
  // As deep as Windows paths of 260 characters allow here.
  std::string folder = root_ + "\\deep";
  std::string name;
  for (int i = 0; i < 90; ++i) {
    ASSERT_TRUE(platform::CreateDirectory(folder));
    folder += "\\d";
    name += i ? "\\d" : "d";
  }
  folder.resize(folder.size() - 2);
  ASSERT_TRUE(WriteFile(folder + "\\f", "x"));
  std::vector<PackItem> items;
  ASSERT_TRUE(CollectSources({root_ + "\\deep"}, items).Ok);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].Name, name.substr(0, name.size() - 2) + "\\f");
}

#ifndef _WIN32
// Only a native file system holds such files; Windows paths could not even name them.
TEST_F(CollectTest, AFileThatWindowsCannotHoldFails) {
  for (const char* name : {"nul.txt", "a:b", "trailing."}) {
    const std::string path = platform::posix::MapPath(root_ + "\\A\\") + name;
    ASSERT_EQ(close(open(path.c_str(), O_CREAT | O_WRONLY, 0644)), 0);
    std::vector<PackItem> items;
    const CollectResult result = CollectSources({root_}, items);
    EXPECT_FALSE(result.Ok) << name;
    EXPECT_NE(result.Error.find(name), std::string::npos) << result.Error;
    ASSERT_EQ(unlink(path.c_str()), 0);
  }
}

TEST_F(CollectTest, ALinkedFolderIsNotEnteredButReported) {
  const std::string link = root_ + "\\loop";
  ASSERT_EQ(
      symlink(platform::posix::MapPath(root_).c_str(), platform::posix::MapPath(link).c_str()), 0);
  std::vector<PackItem> items;
  const CollectResult result = CollectSources({root_}, items);
  ASSERT_TRUE(result.Ok) << result.Error;
  EXPECT_EQ(items.size(), 6u);
  EXPECT_EQ(result.Skipped, std::vector<std::string>{link});
}
#endif

}  // namespace
}  // namespace archive

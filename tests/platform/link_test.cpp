// Removing a directory link must remove the link, never what it points to: the
// setup deletes trees under the installation folder, and a junction in there
// may lead anywhere.
#include <gtest/gtest.h>

#include "common/directory_link.h"
#include "common/scratch_dir.h"
#include "platform/files.h"

namespace {

using testing_support::MakeDirectoryLink;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

TEST(DirectoryLinks, RemovingALinkLeavesTheTarget) {
  ScratchDir dir;
  std::string target = dir.Path() + "target", link = dir.Path() + "link";
  ASSERT_TRUE(platform::CreateDirectory(target));
  ASSERT_TRUE(WriteFile(target + "\\kept.txt", "kept"));
  if (!MakeDirectoryLink(link, target)) GTEST_SKIP() << "no directory links here";

  uint32_t a = platform::GetFileAttributes(link);
  EXPECT_TRUE(a & platform::kAttrDirectory);
  EXPECT_TRUE(platform::DirectoryExists(link));
  EXPECT_EQ(ReadFile(link + "\\kept.txt"), "kept");
  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDirectory(dir.Path() + "link", entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].attributes & platform::kAttrReparsePoint);

  EXPECT_FALSE(platform::DeleteFile(link));      // a directory link is a directory
  EXPECT_TRUE(platform::RemoveDirectory(link));  // though the target is not empty
  EXPECT_EQ(platform::GetFileAttributes(link), platform::kInvalidAttributes);
  EXPECT_EQ(ReadFile(target + "\\kept.txt"), "kept");
}

}  // namespace

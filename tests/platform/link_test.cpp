// Removing a directory link must remove the link, never what it points to: the
// setup deletes trees under the installation folder, and a junction in there
// may lead anywhere.
#include <gtest/gtest.h>

#include "common/scratch_dir.h"
#include "platform/files.h"

#ifdef _WIN32
#include "platform/win32/windows_api.h"
#else
#include <unistd.h>

#include "platform/posix/posix_platform.h"
#endif

namespace {

using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

// Creates a directory link; false where the system cannot make one.
bool MakeDirectoryLink(const std::string& link, const std::string& target) {
#ifdef _WIN32
  if (!CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
    return false;
#else
  if (symlink(platform::posix::MapPath(target).c_str(), platform::posix::MapPath(link).c_str()) !=
      0)
    return false;
#endif
  // Some systems report success without making a link.
  uint32_t a = platform::GetFileAttributes(link);
  return a != platform::kInvalidAttributes && (a & platform::kAttrReparsePoint);
}

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

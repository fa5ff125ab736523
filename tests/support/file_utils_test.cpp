#include "support/file_utils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/directory_link.h"
#include "common/scratch_dir.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/system.h"
#include "support/log_writer.h"

#ifndef _WIN32
#include "platform/posix/posix_platform.h"
#include "simulator/simulator.h"
#endif

namespace support {
namespace {

using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

TEST(SaveLoadTest, CreatesDirectoriesReplacesAndAppends) {
  ScratchDir dir;
  const std::string name = dir.Path() + "config\\deep\\tags.dat";
  EXPECT_TRUE(SaveStringToFile("first", name));
  EXPECT_TRUE(SaveStringToFile("2nd", name));
  EXPECT_TRUE(SaveStringToFile("+more", name, false, true));
  EXPECT_EQ(LoadFileToString(name), "2nd+more");
  EXPECT_TRUE(SaveStringToFile("new", dir.Path() + "other\\log.txt", false, true));
  EXPECT_EQ(LoadFileToString(dir.Path() + "other\\log.txt", true), "new");
  EXPECT_FALSE(platform::FileExists(dir.Path() + "other\\log.txt"));  // deleted after reading
  const std::string binary("a\0b\r\n\xff", 6);
  EXPECT_TRUE(SaveStringToFile(binary, name));
  EXPECT_EQ(LoadFileToString(name), binary);
}

TEST(SaveLoadTest, EmptyContentNamesAndFailures) {
  ScratchDir dir;
  const std::string name = dir.Path() + "f.txt";
  EXPECT_FALSE(SaveStringToFile("x", ""));
  EXPECT_TRUE(SaveStringToFile("", name));  // an empty file, not a deletion
  EXPECT_TRUE(platform::FileExists(name));
  EXPECT_TRUE(SaveStringToFile("", name, true));
  EXPECT_FALSE(platform::FileExists(name));
  EXPECT_FALSE(SaveStringToFile("", name, true));  // nothing left to delete
  EXPECT_EQ(LoadFileToString(name), "");
  EXPECT_FALSE(SaveStringToFile("x", dir.Path()));  // a directory is no file
}

#ifndef _WIN32
// A read that fails is not the end of the file: no partial content passes as whole.
TEST(SaveLoadTest, ReadErrorIsNoContent) {
  std::string content = "kept";
  EXPECT_FALSE(ReadWholeFile("/proc/self/mem", content));  // reading address 0 fails
  EXPECT_EQ(content, "");
}
#endif

TEST(SaveLoadTest, LongNamesAreCutTo255) {
  ScratchDir dir;
  const std::string longName = dir.Path() + std::string(300 - dir.Path().size(), 'n');
  EXPECT_TRUE(SaveStringToFile("cut", longName));
  EXPECT_EQ(ReadFile(longName.substr(0, 255)), "cut");
  EXPECT_EQ(LoadFileToString(longName), "cut");
  EXPECT_EQ(FileSizeByName(longName), 3);
}

TEST(CreateDirectoryPathTest, CreatesEveryMissingParent) {
  ScratchDir dir;
  EXPECT_TRUE(CreateDirectoryPath(dir.Path() + "x\\y\\z"));
  EXPECT_TRUE(DirExists(dir.Path() + "x\\y\\z\\"));
  EXPECT_TRUE(CreateDirectoryPath(dir.Path() + "x\\y\\z\\"));  // already there
  EXPECT_TRUE(CreateDirectoryPath(dir.Path() + "p/q/"));
  EXPECT_TRUE(DirExists(dir.Path() + "p\\q"));
  // Cut to 255 characters the path would name another folder: nothing is made.
  const std::string longPath = dir.Path() + "d\\" + std::string(300, 'a');
  EXPECT_FALSE(CreateDirectoryPath(longPath));
  EXPECT_FALSE(DirExists(dir.Path() + "d"));
}

// Names relative to the current directory, one or two characters long among them,
// through every writer that makes a file's folder.
TEST(CreateDirectoryPathTest, ShortRelativeNames) {
  ScratchDir dir;
  const std::filesystem::path previous = std::filesystem::current_path();
#ifdef _WIN32
  std::filesystem::current_path(dir.Path());
#else
  std::filesystem::current_path(platform::posix::MapPath(dir.Path()));
#endif
  for (const char* name : {"o", "ab\\", "n/m", "x\\y"})
    EXPECT_TRUE(CreateDirectoryPath(name)) << name;
  EXPECT_TRUE(SaveStringToFile("s", "s\\f.txt"));
  EXPECT_TRUE(ReplaceFileContent("r/f.txt", "r"));
  TLogFile log;
  InitLog("l/f.log", &log, 0, 0);
  EXPECT_TRUE(WriteLog("line", &log));
  std::filesystem::current_path(previous);
  for (const char* name : {"o", "ab", "n\\m", "x\\y"})
    EXPECT_TRUE(DirExists(dir.Path() + name)) << name;
  EXPECT_EQ(ReadFile(dir.Path() + "s\\f.txt") + ReadFile(dir.Path() + "r\\f.txt"), "sr");
  EXPECT_EQ(ReadFile(dir.Path() + "l\\f.log"), "line\r\n");
}

TEST(CreateDirectoryPathTest, FailuresAndDrives) {
  ScratchDir dir;
  ASSERT_TRUE(WriteFile(dir.Path() + "file", "x"));
  EXPECT_FALSE(CreateDirectoryPath(dir.Path() + "file\\sub\\"));
  EXPECT_FALSE(CreateDirectoryPath(""));
  // A drive that is not there is never created.
  EXPECT_FALSE(CreateDirectoryPath("Q:\\orvik-nodrive\\sub\\"));
  EXPECT_FALSE(DirExists("Q:\\"));
}

TEST(DeleteDirectoryTest, RecursiveRemovesTheWholeTree) {
  ScratchDir dir;
  const std::string top = dir.Path() + "tree\\";
  std::string level = top;
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(CreateDirectoryPath(level + "empty"));
    ASSERT_TRUE(WriteFile(level + "f.txt", "x"));
    ASSERT_TRUE(WriteFile(level + "noext", "y"));  // "*.*" also takes names without a dot
    level += "sub" + std::to_string(i) + "\\";
  }
  EXPECT_TRUE(DeleteDirectory(top, "", true));
  EXPECT_FALSE(DirExists(top));
  EXPECT_TRUE(DirExists(dir.Path()));
}

TEST(DeleteDirectoryTest, NonRecursiveAndMasks) {
  ScratchDir dir;
  const std::string top = dir.Path() + "top";  // no trailing "\": one is added
  ASSERT_TRUE(CreateDirectoryPath(top + "\\sub"));
  ASSERT_TRUE(WriteFile(top + "\\a.txt", "x") && WriteFile(top + "\\sub\\b.txt", "x"));
  EXPECT_FALSE(DeleteDirectory(top, "", false));
  EXPECT_FALSE(platform::FileExists(top + "\\a.txt"));
  EXPECT_TRUE(platform::FileExists(top + "\\sub\\b.txt"));
  EXPECT_FALSE(DeleteDirectory("", "", true));

  const std::string rules = dir.Path() + "rules\\";
  ASSERT_TRUE(CreateDirectoryPath(rules));
  ASSERT_TRUE(WriteFile(rules + "10_a.cf", "x") && WriteFile(rules + "1b", "x") &&
              WriteFile(rules + "20_c.cf", "x"));
  EXPECT_FALSE(DeleteDirectory(rules, "1*.*", false));
  EXPECT_FALSE(platform::FileExists(rules + "1b"));
  EXPECT_TRUE(platform::FileExists(rules + "20_c.cf"));
  EXPECT_TRUE(DeleteDirectory(rules, "2*.*", false));  // now empty, so it goes
}

TEST(DeleteDirectoryTest, FileThatCannotBeDeletedIsSkipped) {
  ScratchDir dir;
  const std::string top = dir.Path() + "ro\\";
  ASSERT_TRUE(CreateDirectoryPath(top));
  ASSERT_TRUE(WriteFile(top + "locked.txt", "x") && WriteFile(top + "free.txt", "x"));
  ASSERT_TRUE(platform::SetFileAttributes(top + "locked.txt", platform::kAttrReadOnly));
  EXPECT_FALSE(DeleteDirectory(top, "", true));
  EXPECT_FALSE(platform::FileExists(top + "free.txt"));
  EXPECT_TRUE(platform::FileExists(top + "locked.txt"));
}

TEST(DeleteDirectoryTest, LinkIsRemovedNotFollowed) {
  ScratchDir dir;
  const std::string outside = dir.Path() + "outside";
  ASSERT_TRUE(CreateDirectoryPath(outside) && WriteFile(outside + "\\keep.txt", "precious"));
  const std::string top = dir.Path() + "top\\";
  ASSERT_TRUE(CreateDirectoryPath(top));
  if (!testing_support::MakeDirectoryLink(top + "link", outside))
    GTEST_SKIP() << "no directory links here";
  ASSERT_TRUE(platform::GetFileAttributes(top + "link") & platform::kAttrReparsePoint);
  EXPECT_TRUE(DeleteDirectory(top, "", true));
  EXPECT_FALSE(DirExists(top));
  EXPECT_EQ(ReadFile(outside + "\\keep.txt"), "precious");
  // A link given as the directory itself goes too; its target stays whole.
  ASSERT_TRUE(testing_support::MakeDirectoryLink(dir.Path() + "alias", outside));
  EXPECT_TRUE(DeleteDirectory(dir.Path() + "alias\\", "", true));
  EXPECT_EQ(platform::GetFileAttributes(dir.Path() + "alias"), platform::kInvalidAttributes);
  EXPECT_EQ(ReadFile(outside + "\\keep.txt"), "precious");
}

#ifndef _WIN32
// A subfolder swapped for a link after its folder was listed, before it is
// entered (here at the first deletion in the folder): the link goes, what it
// points to stays whole.
TEST(DeleteDirectoryTest, ASubfolderSwappedForALinkAfterTheListingIsNotWalked) {
  ScratchDir dir;
  const std::string outside = dir.Path() + "outside", top = dir.Path() + "top\\";
  ASSERT_TRUE(CreateDirectoryPath(outside) && WriteFile(outside + "\\keep.txt", "precious"));
  ASSERT_TRUE(CreateDirectoryPath(top + "sub") && WriteFile(top + "a.txt", "x") &&
              WriteFile(top + "sub\\b.txt", "x"));
  bool swapped = false;
  platform::posix::SetFileFault(
      [&](platform::posix::FileChange, const std::string&, const std::string&) {
        if (!swapped) {
          swapped = true;
          std::filesystem::rename(platform::posix::MapPath(top + "sub"),
                                  platform::posix::MapPath(dir.Path() + "moved"));
          testing_support::MakeDirectoryLink(top + "sub", outside);
        }
        return 0;
      });
  EXPECT_TRUE(DeleteDirectory(top, "", true));
  platform::posix::SetFileFault(nullptr);
  ASSERT_TRUE(swapped);
  EXPECT_FALSE(DirExists(top));
  EXPECT_EQ(ReadFile(outside + "\\keep.txt"), "precious");
}
#endif

TEST(FileInfoTest, SizesAndMasks) {
  ScratchDir dir;
  ASSERT_TRUE(WriteFile(dir.Path() + "data.bin", std::string(1234, 'z')));
  ASSERT_TRUE(CreateDirectoryPath(dir.Path() + "folder.bin"));
  EXPECT_EQ(FileSizeOf(dir.Path() + "da*.bin"), 1234);
  EXPECT_EQ(FileSizeOf(dir.Path() + "missing.bin"), -1);
  EXPECT_EQ(FileSizeOf(dir.Path() + "folder.bin"), -1);
  EXPECT_EQ(FileSizeOf(dir.Path() + "fold*"), -1);
  EXPECT_EQ(FileSizeByName(dir.Path() + "data.bin"), 1234);
  EXPECT_EQ(FileSizeByName(dir.Path() + "missing.bin"), 0);
}

TEST(FileInfoTest, PackedFileDate) {
  ScratchDir dir;
  const std::string name = dir.Path() + "dated.txt";
  ASSERT_TRUE(WriteFile(name, "x"));
  platform::DateTimeFields when;
  when.year = 2021, when.month = 3, when.day = 4, when.hour = 5, when.minute = 6, when.second = 9;
  ASSERT_TRUE(platform::SetFileModified(name, platform::EncodeDateTime(when)));
  // (41 << 9 | 3 << 5 | 4) << 16 | (5 << 11 | 6 << 5 | 9 / 2)
  EXPECT_EQ(FileDateByName(name), 0x526428C4u);
  EXPECT_EQ(FileDateByName(dir.Path() + "dated.*"), 0x526428C4u);
  EXPECT_EQ(FileDateByName(dir.Path() + "none.txt"), 0u);
  when.year = 1979;
  EXPECT_EQ(DateTimeToFileDate(platform::EncodeDateTime(when)), 0u);
  when = {2107, 12, 31, 23, 59, 58, 0};
  EXPECT_EQ(DateTimeToFileDate(platform::EncodeDateTime(when)), 0xFF9FBF7Du);
}

TEST(PathTextTest, NormalizeDirAndRootedPaths) {
  EXPECT_EQ(NormalizeDir("C:/a/b", true, true), "C:\\a\\b\\");
  EXPECT_EQ(NormalizeDir("C:\\a\\", false, false), "C:\\a");
  EXPECT_EQ(NormalizeDir("C:/a/", true, false), "C:/a/");
  EXPECT_EQ(NormalizeDir("", true, true), "");
  EXPECT_TRUE(IsRootedPath("\\\\server\\share"));
  EXPECT_TRUE(IsRootedPath("/x"));
  EXPECT_TRUE(IsRootedPath("c:x"));
  EXPECT_FALSE(IsRootedPath("spam\\rules\\"));
  EXPECT_FALSE(IsRootedPath(""));
}

TEST(SystemDirectoryTest, EndInBackslash) {
  for (const std::string& d :
       {GetTempDirectory(), GetWindowsDirectoryPath(), GetSystemDirectoryPath()}) {
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d.back(), '\\') << d;
  }
  EXPECT_TRUE(DirExists(GetTempDirectory(true)));
}

#ifndef _WIN32
TEST(SystemDirectoryTest, TrimmedAndFallBackToProgramDirectory) {
  const std::string temp = platform::TempDirectory(), windows = platform::WindowsDirectory(),
                    system = platform::SystemDirectory();
  simulator::SetSystemDirectories(" C:\\Temp\t", "", "C:\\Windows\\System32\\");
  EXPECT_EQ(GetTempDirectory(), "C:\\Temp\\");
  EXPECT_EQ(GetWindowsDirectoryPath(true), "");
  const std::string fallback = GetWindowsDirectoryPath();
  const std::string program = platform::ProgramPath();
  EXPECT_EQ(fallback.back(), '\\');
  EXPECT_TRUE(platform::FileExists(fallback + program.substr(program.find_last_of('/') + 1)));
  simulator::SetSystemDirectories(temp, windows, system);
}
#endif

}  // namespace
}  // namespace support

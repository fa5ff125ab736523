// The Windows file semantics the core relies on: natively against the posix
// layer, under Wine against the real file API.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "common/scratch_dir.h"
#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/system.h"

#ifdef _WIN32
#include "platform/win32/windows_api.h"
#else
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/posix/posix_platform.h"
#endif

namespace {

using platform::File;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

std::set<std::string> Listed(const std::string& pathWithMask) {
  std::vector<platform::DirEntry> entries;
  EXPECT_TRUE(platform::ListDirectory(pathWithMask, entries)) << pathWithMask;
  std::set<std::string> names;
  for (const auto& e : entries) names.insert(e.name);
  return names;
}

// Wine keeps the read-only attribute in the Unix permission bits, which do not
// hold back a process run as root; Windows itself always honours it.
bool WineLetsRootWriteReadOnlyFiles(const std::string& dir) {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return false;
  std::string probe = dir + "probe.txt";
  if (!WriteFile(probe, "p") || !platform::SetFileAttributes(probe, platform::kAttrReadOnly))
    return false;
  File f;
  bool writable = f.Open(probe, File::Mode::ReadWrite);
  f.Close();
  platform::SetFileAttributes(probe, platform::kAttrNormal);
  platform::DeleteFile(probe);
  return writable;
#else
  (void)dir;
  return false;
#endif
}

// ---- copy, move, delete ----

TEST(FileOperations, CopyHonoursFailIfExistsAndKeepsTheSourceTime) {
  ScratchDir dir;
  std::string a = dir.Path() + "a.txt", b = dir.Path() + "b.txt";
  ASSERT_TRUE(WriteFile(a, "first"));
  double stamp = platform::EncodeDateTime({2019, 3, 4, 5, 6, 7, 0});
  ASSERT_TRUE(platform::SetFileModified(a, stamp));

  EXPECT_TRUE(platform::CopyFile(a, b, true));
  EXPECT_EQ(ReadFile(b), "first");
  double copied = 0;
  ASSERT_TRUE(platform::GetFileModified(b, copied));
  EXPECT_NEAR(copied, stamp, 1.0 / 86400000);

  ASSERT_TRUE(WriteFile(a, "second, longer"));
  EXPECT_FALSE(platform::CopyFile(a, b, true));
  EXPECT_EQ(ReadFile(b), "first");
  EXPECT_TRUE(platform::CopyFile(a, b, false));
  EXPECT_EQ(ReadFile(b), "second, longer");

  EXPECT_FALSE(platform::CopyFile(dir.Path() + "missing.txt", b, false));
  EXPECT_EQ(ReadFile(b), "second, longer");
}

TEST(FileOperations, AFailedCopyLeavesItsWindowsErrorCode) {
  ScratchDir dir;
  std::string a = dir.Path() + "a.txt", b = dir.Path() + "b.txt";
  ASSERT_TRUE(WriteFile(a, "A"));
  ASSERT_TRUE(WriteFile(b, "B"));
  EXPECT_FALSE(platform::CopyFile(dir.Path() + "missing.txt", b, false));
  EXPECT_EQ(platform::LastError(), 2u);
  EXPECT_FALSE(platform::CopyFile(a, b, true));
  EXPECT_EQ(platform::LastError(), 80u);
  if (WineLetsRootWriteReadOnlyFiles(dir.Path())) return;
  ASSERT_TRUE(platform::SetFileAttributes(b, platform::kAttrReadOnly));
  EXPECT_FALSE(platform::CopyFile(a, b, false));
  EXPECT_EQ(platform::LastError(), 5u);
  platform::SetFileAttributes(b, platform::kAttrNormal);
}

TEST(FileOperations, CopyOntoItselfFailsAndKeepsTheFile) {
  ScratchDir dir;
  std::string a = dir.Path() + "self.txt";
  ASSERT_TRUE(WriteFile(a, "precious"));
  EXPECT_FALSE(platform::CopyFile(a, a, false));
  EXPECT_EQ(ReadFile(a), "precious");
}

TEST(FileOperations, MoveNeverReplaces) {
  ScratchDir dir;
  std::string a = dir.Path() + "a.txt", b = dir.Path() + "b.txt", c = dir.Path() + "c.txt";
  ASSERT_TRUE(WriteFile(a, "A"));
  ASSERT_TRUE(WriteFile(b, "B"));
  EXPECT_FALSE(platform::MoveFile(a, b));
  EXPECT_EQ(ReadFile(a), "A");
  EXPECT_EQ(ReadFile(b), "B");
  // Not even when the target differs in case only from another file.
  EXPECT_FALSE(platform::MoveFile(a, dir.Path() + "B.TXT"));
  EXPECT_EQ(ReadFile(b), "B");

  EXPECT_TRUE(platform::MoveFile(a, c));
  EXPECT_FALSE(platform::FileExists(a));
  EXPECT_EQ(ReadFile(c), "A");
  EXPECT_FALSE(platform::MoveFile(a, dir.Path() + "d.txt"));  // source gone

  // Onto its own name in another case: the file is renamed, not refused.
  EXPECT_TRUE(platform::MoveFile(c, dir.Path() + "C.TXT"));
  EXPECT_EQ(ReadFile(dir.Path() + "c.txt"), "A");
  EXPECT_EQ(Listed(dir.Path() + "c.*").size(), 1u);
}

TEST(FileOperations, ReplaceSwapsInTheNewContentInOneStep) {
  ScratchDir dir;
  std::string target = dir.Path() + "settings.cfg", fresh = dir.Path() + "settings.tmp";
  ASSERT_TRUE(WriteFile(target, "old"));
  ASSERT_TRUE(WriteFile(fresh, "new"));
  EXPECT_TRUE(platform::ReplaceFile(fresh, target));
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_FALSE(platform::FileExists(fresh));
  // A missing target is simply created; a missing source changes nothing.
  ASSERT_TRUE(WriteFile(fresh, "first"));
  EXPECT_TRUE(platform::ReplaceFile(fresh, dir.Path() + "other.cfg"));
  EXPECT_EQ(ReadFile(dir.Path() + "other.cfg"), "first");
  EXPECT_FALSE(platform::ReplaceFile(fresh, target));
  EXPECT_EQ(ReadFile(target), "new");
}

TEST(FileOperations, MoveRenamesADirectoryWithItsContents) {
  ScratchDir dir;
  ASSERT_TRUE(platform::CreateDirectory(dir.Path() + "old"));
  ASSERT_TRUE(WriteFile(dir.Path() + "old\\inner.txt", "x"));
  EXPECT_TRUE(platform::MoveFile(dir.Path() + "old", dir.Path() + "new"));
  EXPECT_FALSE(platform::DirectoryExists(dir.Path() + "old"));
  EXPECT_EQ(ReadFile(dir.Path() + "new\\inner.txt"), "x");
}

TEST(FileOperations, ReadOnlyFilesCannotBeDeleted) {
  ScratchDir dir;
  std::string f = dir.Path() + "locked.txt";
  ASSERT_TRUE(WriteFile(f, "keep"));
  ASSERT_TRUE(platform::SetFileAttributes(f, platform::kAttrReadOnly));
  uint32_t attributes = platform::GetFileAttributes(f);
  ASSERT_NE(attributes, platform::kInvalidAttributes);
  EXPECT_TRUE(attributes & platform::kAttrReadOnly);
  EXPECT_FALSE(attributes & platform::kAttrDirectory);

  EXPECT_FALSE(platform::DeleteFile(f));
  EXPECT_EQ(ReadFile(f), "keep");
  // A copy carries the attribute to the new file.
  EXPECT_TRUE(platform::CopyFile(f, dir.Path() + "copy.txt", true));
  EXPECT_TRUE(platform::GetFileAttributes(dir.Path() + "copy.txt") & platform::kAttrReadOnly);

  ASSERT_TRUE(platform::SetFileAttributes(f, platform::kAttrNormal));
  EXPECT_FALSE(platform::GetFileAttributes(f) & platform::kAttrReadOnly);
  EXPECT_TRUE(platform::DeleteFile(f));
  EXPECT_FALSE(platform::FileExists(f));
  EXPECT_EQ(platform::GetFileAttributes(f), platform::kInvalidAttributes);
}

TEST(FileOperations, ReadOnlyFilesAreNotReplacedOrOpenedForWriting) {
  ScratchDir dir;
  if (WineLetsRootWriteReadOnlyFiles(dir.Path())) GTEST_SKIP() << "Wine run as root";
  std::string f = dir.Path() + "locked.txt", other = dir.Path() + "other.txt";
  ASSERT_TRUE(WriteFile(f, "keep"));
  ASSERT_TRUE(WriteFile(other, "new"));
  ASSERT_TRUE(platform::SetFileAttributes(f, platform::kAttrReadOnly));
  EXPECT_FALSE(platform::CopyFile(other, f, false));
  File file;
  EXPECT_FALSE(file.Open(f, File::Mode::ReadWrite));
  EXPECT_FALSE(file.Open(f, File::Mode::Create));
  EXPECT_TRUE(file.Open(f, File::Mode::Read));
  file.Close();
  EXPECT_EQ(ReadFile(f), "keep");
}

TEST(FileOperations, DeleteFileRefusesDirectoriesAndMissingFiles) {
  ScratchDir dir;
  ASSERT_TRUE(platform::CreateDirectory(dir.Path() + "sub"));
  EXPECT_FALSE(platform::DeleteFile(dir.Path() + "sub"));
  EXPECT_TRUE(platform::DirectoryExists(dir.Path() + "sub"));
  EXPECT_FALSE(platform::DeleteFile(dir.Path() + "nothing.txt"));
}

// ---- names ----

TEST(FileNames, ExistingNamesAreFoundWithoutRegardToCase) {
  ScratchDir dir;
  ASSERT_TRUE(WriteFile(dir.Path() + "setup.Dat", "archive"));
  ASSERT_TRUE(platform::CreateDirectory(dir.Path() + "Config"));

  std::string upper = dir.Path() + "SETUP.DAT";
  EXPECT_TRUE(platform::FileExists(upper));
  EXPECT_EQ(platform::FileSize(upper), 7);
  EXPECT_EQ(ReadFile(upper), "archive");
  EXPECT_TRUE(platform::DirectoryExists(dir.Path() + "CONFIG"));
  EXPECT_TRUE(WriteFile(dir.Path() + "config\\Settings.cfg", "s"));
  EXPECT_EQ(ReadFile(dir.Path() + "Config\\settings.CFG"), "s");

  // Rewriting through another case keeps the one file and its name.
  EXPECT_TRUE(WriteFile(dir.Path() + "Setup.DAT", "rewritten"));
  EXPECT_EQ(Listed(dir.Path() + "*.dat"), std::set<std::string>{"setup.Dat"});
  EXPECT_EQ(ReadFile(dir.Path() + "setup.Dat"), "rewritten");

  EXPECT_TRUE(platform::CopyFile(upper, dir.Path() + "copy.dat", true));
  EXPECT_EQ(ReadFile(dir.Path() + "copy.dat"), "rewritten");
  EXPECT_FALSE(platform::CreateDirectory(dir.Path() + "CONFIG"));  // already there
  EXPECT_TRUE(platform::DeleteFile(upper));
  EXPECT_FALSE(platform::FileExists(dir.Path() + "setup.Dat"));
}

TEST(FileNames, DotAndDotDotResolveInTheText) {
  ScratchDir dir;
  ASSERT_TRUE(WriteFile(dir.Path() + "x.txt", "x"));
  EXPECT_EQ(ReadFile(dir.Path() + ".\\x.txt"), "x");
  EXPECT_EQ(ReadFile(dir.Path() + "nowhere\\..\\x.txt"), "x");
}

TEST(FileNames, TrailingDotsAndBlanksAreDropped) {
  ScratchDir dir;
  ASSERT_TRUE(platform::CreateDirectory(dir.Path() + "folder. ."));  // the last name: all
  ASSERT_TRUE(WriteFile(dir.Path() + "folder.\\name. ", "x"));       // a folder: one dot
  EXPECT_EQ(Listed(dir.Path() + "*"), (std::set<std::string>{".", "..", "folder"}));
  EXPECT_EQ(Listed(dir.Path() + "folder\\*"), (std::set<std::string>{".", "..", "name"}));
  EXPECT_EQ(ReadFile(dir.Path() + "FOLDER.\\name.."), "x");
  EXPECT_FALSE(platform::FileExists(dir.Path() + "folder \\name"));  // a folder keeps blanks
}

#ifndef _WIN32
// Names are remembered per folder natively; a file another program adds is still found
// in any case once the folder has changed.
TEST(FileNames, NamesAddedByOthersAreFound) {
  ScratchDir dir;
  EXPECT_FALSE(platform::FileExists(dir.Path() + "added.txt"));  // the folder is looked into
  std::this_thread::sleep_for(std::chrono::milliseconds(50));    // past the file system's tick
  ASSERT_TRUE(std::ofstream(platform::posix::MapPath(dir.Path()) + "Added.TXT").good());
  EXPECT_TRUE(platform::FileExists(dir.Path() + "added.txt"));
  EXPECT_TRUE(WriteFile(dir.Path() + "ADDED.txt", "same"));
  EXPECT_EQ(Listed(dir.Path() + "*.txt"), std::set<std::string>{"Added.TXT"});
}
#endif

// ---- listing ----

class ListingTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name :
         {"readme", "notes.txt", "UPPER.TXT", "archive.txt.bak", "file.dat", "fi.dat", "fiile.dat"})
      ASSERT_TRUE(WriteFile(dir.Path() + name, name));
    ASSERT_TRUE(platform::CreateDirectory(dir.Path() + "sub"));
  }
  ScratchDir dir;
};

TEST_F(ListingTest, StarDotStarMatchesNamesWithoutADot) {
  std::set<std::string> all = {
      ".",        "..",     "readme",    "notes.txt", "UPPER.TXT", "archive.txt.bak",
      "file.dat", "fi.dat", "fiile.dat", "sub"};
  EXPECT_EQ(Listed(dir.Path() + "*.*"), all);
  EXPECT_EQ(Listed(dir.Path() + "*"), all);
  EXPECT_EQ(Listed(dir.Path() + "readme.*"), std::set<std::string>{"readme"});
}

TEST_F(ListingTest, ExtensionMasksAndQuestionMarks) {
  EXPECT_EQ(Listed(dir.Path() + "*.txt"), (std::set<std::string>{"notes.txt", "UPPER.TXT"}));
  EXPECT_EQ(Listed(dir.Path() + "*.DAT"),
            (std::set<std::string>{"file.dat", "fi.dat", "fiile.dat"}));
  EXPECT_EQ(Listed(dir.Path() + "f?le.dat"), std::set<std::string>{"file.dat"});
  EXPECT_EQ(Listed(dir.Path() + "??.dat"), std::set<std::string>{"fi.dat"});
#ifndef _WIN32
  // As Windows reads masks (Wine 8 reads these as plain wildcards): "?" also matches nothing
  // before a dot, "*." takes the names without an extension.
  EXPECT_EQ(Listed(dir.Path() + "fi?.dat"), std::set<std::string>{"fi.dat"});
  EXPECT_EQ(Listed(dir.Path() + "fi??.d?t"), (std::set<std::string>{"fi.dat", "file.dat"}));
  EXPECT_EQ(Listed(dir.Path() + "*."), (std::set<std::string>{".", "..", "readme", "sub"}));
  EXPECT_EQ(Listed(dir.Path() + "readme."), std::set<std::string>{"readme"});
  EXPECT_EQ(Listed(dir.Path() + "*.txt.*"),
            (std::set<std::string>{"notes.txt", "UPPER.TXT", "archive.txt.bak"}));
#endif
  EXPECT_EQ(Listed(dir.Path() + "nothing*.xyz"), std::set<std::string>{});
}

TEST_F(ListingTest, EntriesCarryAttributesAndSizes) {
  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDirectory(dir.Path() + "*", entries));
  double now = platform::Now();
  int checked = 0;
  for (const auto& e : entries) {
    if (e.name == "sub" || e.name == "." || e.name == "..") {
      EXPECT_TRUE(e.attributes & platform::kAttrDirectory) << e.name;
      continue;
    }
    EXPECT_FALSE(e.attributes & platform::kAttrDirectory) << e.name;
    EXPECT_EQ(e.size, static_cast<int64_t>(e.name.size())) << e.name;  // content is the name
    // Written moments ago, in the same local time as the clock.
    EXPECT_LT(std::fabs(e.modified - now), 5.0 / (24 * 60)) << e.name;
    ++checked;
  }
  EXPECT_EQ(checked, 7);
}

TEST_F(ListingTest, DriveRootListsNoDotEntries) {
  std::set<std::string> names = Listed("C:\\*");
  EXPECT_FALSE(names.empty());
  EXPECT_EQ(names.count("."), 0u);
  EXPECT_EQ(names.count(".."), 0u);
}

TEST_F(ListingTest, MissingDirectoryOrMaskFails) {
  std::vector<platform::DirEntry> entries;
  EXPECT_FALSE(platform::ListDirectory(dir.Path() + "missing\\*", entries));
  EXPECT_FALSE(platform::ListDirectory(dir.Path(), entries));  // no mask
  EXPECT_TRUE(entries.empty());
}

// ---- times ----

TEST(FileTimes, ModificationTimeRoundTrip) {
  ScratchDir dir;
  std::string f = dir.Path() + "t.txt";
  ASSERT_TRUE(WriteFile(f, "t"));
  for (platform::DateTimeFields when : {platform::DateTimeFields{2021, 6, 15, 13, 45, 30, 250},
                                        platform::DateTimeFields{2003, 1, 1, 0, 0, 0, 0},
                                        platform::DateTimeFields{1999, 12, 31, 23, 59, 59, 999}}) {
    double stamp = platform::EncodeDateTime(when);
    ASSERT_TRUE(platform::SetFileModified(f, stamp));
    double read = 0;
    ASSERT_TRUE(platform::GetFileModified(f, read));
    platform::DateTimeFields got = platform::DecodeDateTime(read);
    EXPECT_EQ(got.year, when.year);
    EXPECT_EQ(got.month, when.month);
    EXPECT_EQ(got.day, when.day);
    EXPECT_EQ(got.hour, when.hour);
    EXPECT_EQ(got.minute, when.minute);
    EXPECT_EQ(got.second, when.second);
    EXPECT_EQ(got.millisecond, when.millisecond);
  }
  double unused;
  EXPECT_FALSE(platform::GetFileModified(dir.Path() + "missing.txt", unused));
  EXPECT_FALSE(platform::SetFileModified(dir.Path() + "missing.txt", 40000));
}

TEST(FileTimes, DirectoriesHaveTimesToo) {
  ScratchDir dir;
  std::string sub = dir.Path() + "sub";
  ASSERT_TRUE(platform::CreateDirectory(sub));
  double stamp = platform::EncodeDateTime({2010, 10, 10, 10, 10, 10, 0});
  EXPECT_TRUE(platform::SetFileModified(sub, stamp));
  double read = 0;
  ASSERT_TRUE(platform::GetFileModified(sub, read));
  EXPECT_NEAR(read, stamp, 1.0 / 86400000);
}

// ---- the File class ----

TEST(FileHandle, ReadWriteSeekAndAppend) {
  ScratchDir dir;
  std::string path = dir.Path() + "data.bin";
  File f;
  EXPECT_FALSE(f.Open(path, File::Mode::Read));
  EXPECT_FALSE(f.Open(path, File::Mode::ReadWrite));
  EXPECT_FALSE(f.IsOpen());

  ASSERT_TRUE(f.Open(path, File::Mode::Create));
  ASSERT_TRUE(f.Write("hello world", 11));
  EXPECT_EQ(f.Position(), 11);
  EXPECT_EQ(f.Size(), 11);
  ASSERT_TRUE(f.Seek(6));
  char buffer[32] = {};
  EXPECT_EQ(f.Read(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "world");
  EXPECT_EQ(f.Read(buffer, sizeof buffer), 0);  // at the end
  EXPECT_TRUE(f.Flush());
  f.Close();
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(f.Read(buffer, 1), -1);
  EXPECT_FALSE(f.Write("x", 1));

  ASSERT_TRUE(f.Open(path, File::Mode::ReadWrite));
  EXPECT_EQ(f.Position(), 0);
  ASSERT_TRUE(f.Write("HELLO", 5));
  ASSERT_TRUE(f.SeekToEnd());
  EXPECT_EQ(f.Position(), 11);
  ASSERT_TRUE(f.Write("!\0\xff", 3));
  f.Close();
  EXPECT_EQ(ReadFile(path), std::string("HELLO world!\0\xff", 14));

  // Seeking past the end and writing leaves zeros in the gap.
  ASSERT_TRUE(f.Open(path, File::Mode::ReadWrite));
  ASSERT_TRUE(f.Seek(16));
  ASSERT_TRUE(f.Write("z", 1));
  EXPECT_EQ(f.Size(), 17);
  EXPECT_FALSE(f.Seek(-1));
  f.Close();
  EXPECT_EQ(ReadFile(path), std::string("HELLO world!\0\xff\0\0z", 17));

  ASSERT_TRUE(f.Open(path, File::Mode::Create));  // truncates
  EXPECT_EQ(f.Size(), 0);
  f.Close();
  EXPECT_EQ(platform::FileSize(path), 0);
}

TEST(FileHandle, SharedWithOtherReadersAndWriters) {
  ScratchDir dir;
  std::string path = dir.Path() + "shared.log";
  File writer, reader;
  ASSERT_TRUE(writer.Open(path, File::Mode::Create));
  ASSERT_TRUE(writer.Write("line 1\n", 7));
  ASSERT_TRUE(reader.Open(path, File::Mode::Read));
  File second;
  ASSERT_TRUE(second.Open(path, File::Mode::ReadWrite));  // write sharing as well
  char buffer[16];
  EXPECT_EQ(reader.Read(buffer, sizeof buffer), 7);
  EXPECT_EQ(std::string(buffer, 7), "line 1\n");
  EXPECT_FALSE(reader.Write("x", 1));  // opened for reading only
}

TEST(FileHandle, MovingTransfersTheOpenFile) {
  ScratchDir dir;
  std::string path = dir.Path() + "m.txt";
  ASSERT_TRUE(WriteFile(path, "moved"));
  File a;
  ASSERT_TRUE(a.Open(path, File::Mode::Read));
  File b(std::move(a));
  EXPECT_FALSE(a.IsOpen());
  ASSERT_TRUE(b.IsOpen());
  File c;
  c = std::move(b);
  EXPECT_FALSE(b.IsOpen());
  char buffer[8];
  EXPECT_EQ(c.Read(buffer, sizeof buffer), 5);
}

TEST(FileHandle, DirectoriesDoNotOpenAsFiles) {
  ScratchDir dir;
  File f;
  EXPECT_FALSE(f.Open(dir.Path() + ".", File::Mode::Read));
  ASSERT_TRUE(platform::CreateDirectory(dir.Path() + "d"));
  EXPECT_FALSE(f.Open(dir.Path() + "d", File::Mode::Read));
  EXPECT_FALSE(f.Open(dir.Path() + "d", File::Mode::Create));
  EXPECT_EQ(platform::FileSize(dir.Path() + "d"), -1);
}

TEST(FileHandle, CreateNewNeverOpensAnExistingName) {
  ScratchDir dir;
  const std::string existing = dir.Path() + "kept.txt", fresh = dir.Path() + "fresh.txt";
  ASSERT_TRUE(WriteFile(existing, "kept"));
  File f;
  EXPECT_FALSE(f.Open(existing, File::Mode::CreateNew));
  EXPECT_EQ(ReadFile(existing), "kept");
  ASSERT_TRUE(f.Open(fresh, File::Mode::CreateNew));
  EXPECT_TRUE(f.Write("new", 3));
  f.Close();
  EXPECT_EQ(ReadFile(fresh), "new");
#ifndef _WIN32
  // Nor through a symbolic link, even one to nothing: its target is never made.
  const std::string link = dir.Path() + "link.txt", target = dir.Path() + "target.txt";
  ASSERT_EQ(
      symlink(platform::posix::MapPath(target).c_str(), platform::posix::MapPath(link).c_str()), 0);
  EXPECT_FALSE(f.Open(link, File::Mode::CreateNew));
  EXPECT_EQ(platform::GetFileAttributes(target), platform::kInvalidAttributes);
#endif
}

// ---- directories ----

TEST(Directories, CreateOneLevelAndRemoveOnlyWhenEmpty) {
  ScratchDir dir;
  std::string a = dir.Path() + "a", b = a + "\\b";
  EXPECT_FALSE(platform::CreateDirectory(b));  // parent missing
  ASSERT_TRUE(platform::CreateDirectory(a));
  EXPECT_FALSE(platform::CreateDirectory(a));
  ASSERT_TRUE(platform::CreateDirectory(b + "\\"));
  EXPECT_TRUE(platform::DirectoryExists(b));
  EXPECT_FALSE(platform::FileExists(b));

  EXPECT_FALSE(platform::RemoveDirectory(a));  // not empty
  ASSERT_TRUE(WriteFile(b + "\\f.txt", "f"));
  EXPECT_FALSE(platform::RemoveDirectory(b));
  EXPECT_FALSE(platform::RemoveDirectory(b + "\\f.txt"));  // a file is no directory
  ASSERT_TRUE(platform::DeleteFile(b + "\\f.txt"));
  EXPECT_TRUE(platform::RemoveDirectory(b));
  EXPECT_TRUE(platform::RemoveDirectory(a + "\\"));
  EXPECT_FALSE(platform::DirectoryExists(a));
  EXPECT_FALSE(platform::RemoveDirectory(a));
}

TEST(Directories, CurrentDirectoryIsSetReadAndRestored) {
  ScratchDir dir;
  const std::string saved = platform::CurrentDirectory();
  ASSERT_FALSE(saved.empty());
  ASSERT_TRUE(platform::SetCurrentDirectory(dir.Path()));
  const std::string current = platform::CurrentDirectory();
  EXPECT_TRUE(platform::SameFile(current, dir.Path())) << current;
  // A relative name is taken in the current directory.
  EXPECT_TRUE(WriteFile("relative.txt", "here"));
  EXPECT_EQ(ReadFile(dir.Path() + "relative.txt"), "here");
  EXPECT_FALSE(platform::SetCurrentDirectory(dir.Path() + "missing"));
  EXPECT_TRUE(platform::SameFile(platform::CurrentDirectory(), dir.Path()));
#ifndef _WIN32
  // Below the drive root the directory reads as a Windows path.
  EXPECT_EQ(current + "\\", dir.Path());
  EXPECT_TRUE(platform::SetCurrentDirectory("C:\\"));
  EXPECT_EQ(platform::CurrentDirectory(), "C:\\");
#endif
  EXPECT_TRUE(platform::SetCurrentDirectory(saved));
  EXPECT_EQ(platform::CurrentDirectory(), saved);
}

TEST(Directories, ReadOnlyDirectoryStillTakesNewFiles) {
  ScratchDir dir;
  std::string d = dir.Path() + "ro";
  ASSERT_TRUE(platform::CreateDirectory(d));
  EXPECT_TRUE(platform::SetFileAttributes(d, platform::kAttrReadOnly | platform::kAttrDirectory));
  EXPECT_TRUE(WriteFile(d + "\\new.txt", "n"));
  EXPECT_TRUE(platform::DeleteFile(d + "\\new.txt"));
  platform::SetFileAttributes(d, platform::kAttrDirectory);
}

}  // namespace

// Entry names: separators, length, and names that would land outside the destination.
#include <gtest/gtest.h>

#include "archive/entry_names.h"
#include "archive/extract_fixture.h"

namespace archive_test {
namespace {

using archive::IsSafeEntryName;

TEST(EntryNameTest, RefusesNamesThatLeaveTheFolderOrNameDevices) {
  const std::string refused[] = {"..\\x",
                                 "../x",
                                 "a\\..\\..\\b",
                                 "a/../b",
                                 "..",
                                 "\\abs",
                                 "/abs",
                                 "\\\\srv\\s\\x",
                                 "C:x",
                                 "c:\\x",
                                 "x:stream",
                                 "a\\\\b",
                                 "dir\\",
                                 ".",
                                 "a\\.\\b",
                                 "...",
                                 "a\\ \\b",
                                 ". .",
                                 "CON",
                                 "con",
                                 "nul.txt",
                                 "sub\\aux",
                                 "Com1.log",
                                 "lpt9",
                                 "PRN.x.y",
                                 "CON .txt",
                                 "conout$",
                                 "AUX.",
                                 "COM\xB9",
                                 "a\\NUL\\b",
                                 std::string("a\0b", 3)};
  for (const std::string& name : refused) EXPECT_FALSE(IsSafeEntryName(name)) << name;
  const std::string accepted[] = {"a.txt", "sub\\b.txt", "sub/b.txt", "console.txt",
                                  "con_x", "nul2",       "com10",     "COM0",
                                  "lpt",   "a..b",       "..a",       "...x",
                                  "x.",    "a b\\c d",   "aux-file",  "\xE9t\xE9"};
  for (const std::string& name : accepted) EXPECT_TRUE(IsSafeEntryName(name)) << name;
}

TEST(EntryNameTest, Slashes) {
  EXPECT_EQ(archive::EntryPath("a/b\\c/d"), "a\\b\\c\\d");
}

using ExtractNameTest = ExtractTest;
INSTANTIATE_FOR_THREADS(ExtractNameTest);

TEST_P(ExtractNameTest, HostileNameStopsTheExtractionThere) {
  const std::string names[] = {"..\\x", "../x",    "\\abs",    "C:x",   "a\\..\\..\\b",
                               "CON",   "nul.txt", "sub\\aux", "a\\\\b"};
  int n = 0;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string dest = scratch_.Path() + "d" + std::to_string(++n) + "\\out\\";
    ArchiveBuilder b(3);
    b.Add("first.txt", "1").Add(name, "hostile").Add("after.txt", "2");
    ASSERT_TRUE(testing_support::WriteFile(archive_, b.Bytes()));
    archive::ExtractOptions options;
    options.Threads = GetParam();
    const archive::ExtractResult r = archive::Extract(archive_, dest, options);
    EXPECT_EQ(r.Status, archive::asDataError);
    EXPECT_EQ(r.End, archive::ExtractEnd::DataError);
    EXPECT_EQ(r.FailedEntry, archive::EntryPath(name));
    EXPECT_EQ(ReadTree(dest), (Tree{{"first.txt", "1"}}));
    // Nothing beside the destination either ("..\x" would be d<n>\x, "a\..\..\b" d<n>\b).
    EXPECT_EQ(ListTree(scratch_.Path() + "d" + std::to_string(n) + "\\").size(), 2u);
  }
}

TEST_P(ExtractNameTest, LongestNames) {
  for (uint32_t version : {0u, 2u, 3u}) {
    SCOPED_TRACE(version);
    const std::string name = "s/" + std::string(120, 'n') + "/" + std::string(132, 'm');
    ASSERT_EQ(name.size(), 255u);
    ArchiveBuilder b(version);
    b.Add(name, "long").Add("after.txt", "after");
    uint32_t listed = 0;
    std::vector<archive::EntryHeader> entries;
    archive::ExtractEnd end;
    ASSERT_TRUE(testing_support::WriteFile(archive_, b.Bytes()));
    ASSERT_TRUE(archive::ListArchive(archive_, listed, entries, end));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Name, name);
    archive::ExtractOptions options;
    options.Threads = GetParam();
    const std::string dest = scratch_.Path() + "L" + std::to_string(version);
    EXPECT_TRUE(archive::Extract(archive_, dest, options).Succeeded());
    Tree expected{{"after.txt", "after"}};
#ifndef _WIN32
    // Beyond MAX_PATH the ANSI file functions of Windows cannot make the file: it is passed
    // over like any target that cannot be created, never written under a shortened name.
    expected[archive::EntryPath(name)] = "long";
#endif
    EXPECT_EQ(ReadTree(dest + "\\"), expected);
  }
}

}  // namespace
}  // namespace archive_test

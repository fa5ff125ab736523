// Extraction: layouts, selection rules, status codes and failure rules.
#include "archive/extract.h"

#include <gtest/gtest.h>

#include "archive/crc32.h"
#include "archive/extract_fixture.h"
#include "platform/files.h"
#include "support/file_utils.h"

#ifndef _WIN32
#include <filesystem>

#include "platform/posix/posix_platform.h"
#endif

namespace archive_test {
namespace {

using archive::asDataError;
using archive::asOk;
using archive::asPasswordRequired;
using archive::EntryHeader;
using archive::ExtractEnd;
using archive::ExtractOptions;

EntryHeader Header(const std::string& name, const std::string& content, uint8_t encrypted = 0) {
  EntryHeader h;
  h.Name = name;
  h.Encrypted = encrypted;
  h.CRC = archive::StringCRC32(content);
  return h;
}

// ---------------------------------------------------------------- layouts

using ExtractLayoutTest = ExtractTest;
INSTANTIATE_FOR_THREADS(ExtractLayoutTest);

TEST_P(ExtractLayoutTest, ReadsEveryVersionWithAndWithoutPassword) {
  struct Layout {
    uint32_t version;
    bool preamble;
    const char* password;
  };
  const Layout layouts[] = {{0, false, ""}, {0, true, ""},       {1, true, ""},  {2, true, ""},
                            {3, true, ""},  {3, true, "s3cret"}, {7, true, "pw"}};
  const std::string text = Text(50000, 1), binary = RandomBytes(70001, 2);
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(testing::Message() << "version " << layout.version << " preamble "
                                    << layout.preamble << " password " << layout.password);
    const std::string dest = scratch_.Path() + "v" + std::to_string(layout.version) +
                             (layout.preamble ? "p" : "") + layout.password + "\\";
    ArchiveBuilder b(layout.version, layout.preamble, layout.password);
    b.Add("readme.txt", text).Add("bin/data.bin", binary).Add("bin\\deep/x.txt", "x");
    b.Add("empty.txt", "").Add("BIN/Deep\\y.txt", "y");  // folders match in any case
    ASSERT_TRUE(testing_support::WriteFile(archive_, b.Bytes()));
    ExtractOptions options;
    options.Password = layout.password;
    options.Threads = GetParam();
    const archive::ExtractResult r = archive::Extract(archive_, dest, options);
    EXPECT_TRUE(r.Succeeded());
    EXPECT_EQ(r.End, ExtractEnd::Complete);
    EXPECT_EQ(r.Version, layout.preamble ? layout.version : 0u);
    EXPECT_EQ(r.EntriesWritten, 5u);
    EXPECT_EQ(ReadTree(dest), (Tree{{"readme.txt", text},
                                    {"bin\\data.bin", binary},
                                    {"bin\\deep\\x.txt", "x"},
                                    {"bin\\deep\\y.txt", "y"},
                                    {"empty.txt", ""}}));
  }
}

TEST_P(ExtractLayoutTest, HeaderRecordShorterOrLongerThanNineBytes) {
  // Three bytes: flags and the low half of the version, the rest zero.
  std::string shorter = PreambleWithRecordLength(3, 3);
  EntryHeader h = Header("a.txt", "short");
  h.Size = static_cast<uint32_t>(ArchiveBuilder::Stored("short", "").size());
  shorter += archive::EncodeEntryHeader(h, 3) + ArchiveBuilder::Stored("short", "");
  archive::ExtractResult r = Run(shorter);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.Version, 3u);
  EXPECT_EQ(Files(), (Tree{{"a.txt", "short"}}));

  // A longer record is passed over: version 2 entries follow its 40 bytes.
  std::string longer = PreambleWithRecordLength(2, 40);
  h.Name = "b.txt";
  longer += archive::EncodeEntryHeader(h, 2) + ArchiveBuilder::Stored("short", "");
  r = Run(longer);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.Version, 2u);
  EXPECT_EQ(ReadTree(dest_)["b.txt"], "short");

  // A record of length zero leaves version 0.
  std::string none = PreambleWithRecordLength(0, 0);
  h.Name = "c.txt";
  none += archive::EncodeEntryHeader(h, 0) + ArchiveBuilder::Stored("short", "");
  r = Run(none);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.Version, 0u);
  EXPECT_EQ(ReadTree(dest_)["c.txt"], "short");
}

TEST_P(ExtractLayoutTest, FixedNameFieldIgnoresBytesAfterTheName) {
  const std::string stored = ArchiveBuilder::Stored("body", "");
  std::string field(1, '\5');
  field += "a.txt" + std::string(250, 'Z');
  archive::PutLE32(field, static_cast<uint32_t>(stored.size()));
  EXPECT_TRUE(Run(field + stored).Succeeded());
  EXPECT_EQ(Files(), (Tree{{"a.txt", "body"}}));
}

TEST_P(ExtractLayoutTest, EndMarkerEndsWithSuccessWhateverFollows) {
  ArchiveBuilder b(3);
  b.Add("a.txt", "A").AddEndMarker().Add("b.txt", "B").AddBytes("trailing garbage");
  const archive::ExtractResult r = Run(b);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.End, ExtractEnd::EndMarker);
  EXPECT_EQ(Files(), (Tree{{"a.txt", "A"}}));
}

TEST_P(ExtractLayoutTest, EmptyFileIsAnEmptyArchive) {
  const archive::ExtractResult r = Run("");
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.End, ExtractEnd::Complete);
  EXPECT_TRUE(Files().empty());
}

// ---------------------------------------------------------------- cut files

using ExtractCutTest = ExtractTest;
INSTANTIATE_FOR_THREADS(ExtractCutTest);

TEST_P(ExtractCutTest, FileEndingInsidePreambleFails) {
  const std::string full = PreambleWithRecordLength(3, 20);
  for (size_t cut : {4u, 6u, 8u, 12u, 27u}) {
    SCOPED_TRACE(cut);
    const archive::ExtractResult r = Run(full.substr(0, cut));
    EXPECT_EQ(r.End, ExtractEnd::TruncatedHeader);
    EXPECT_EQ(r.Status, asOk);
    EXPECT_FALSE(r.Succeeded());
  }
  // Not "ILDS": an entry header of version 0 that is cut.
  EXPECT_EQ(Run("IL").End, ExtractEnd::TruncatedHeader);
}

TEST_P(ExtractCutTest, FileEndingInsideEntryHeaderKeepsEarlierEntries) {
  for (uint32_t version : {0u, 2u, 3u}) {
    ArchiveBuilder first(version);
    first.Add("a.txt", "A");
    ArchiveBuilder both = first;
    both.Add("b.txt", "B");
    const size_t header = archive::EntryHeaderLength("b.txt", version);
    for (size_t n = 1; n < header; n += (version < 2 ? 37 : 1)) {
      SCOPED_TRACE(testing::Message() << "version " << version << " cut " << n);
      const archive::ExtractResult r = Run(both.Bytes().substr(0, first.Bytes().size() + n));
      EXPECT_EQ(r.End, ExtractEnd::TruncatedHeader);
      EXPECT_EQ(r.Status, asOk);
      EXPECT_EQ(r.EntriesWritten, 1u);
      EXPECT_EQ(Files(), (Tree{{"a.txt", "A"}}));
    }
  }
}

TEST_P(ExtractCutTest, DataCutShortIsDecodedAsFarAsItGoes) {
  const std::string content = Text(300000, 3);
  // Version 3: the CRC finds the loss.
  ArchiveBuilder v3(3);
  v3.Add("a.txt", "A").Add("b.txt", content);
  archive::ExtractResult r = Run(v3.Bytes().substr(0, v3.Bytes().size() - 100));
  EXPECT_EQ(r.Status, asDataError);
  EXPECT_EQ(r.End, ExtractEnd::DataError);
  EXPECT_EQ(r.FailedEntry, "b.txt");
  EXPECT_EQ(Files(), (Tree{{"a.txt", "A"}}));

  // Version 2 has no CRC: what the stream gave is written.
  ArchiveBuilder v2(2);
  v2.Add("c.txt", content);
  r = Run(v2.Bytes().substr(0, v2.Bytes().size() - 100));
  EXPECT_TRUE(r.Succeeded());
  const std::string partial = ReadTree(dest_)["c.txt"];
  EXPECT_LT(partial.size(), content.size());
  EXPECT_GT(partial.size(), content.size() / 2);
  EXPECT_EQ(content.compare(0, partial.size(), partial), 0);
}

TEST_P(ExtractCutTest, ClaimedSizeBeyondTheEndReadsWhatIsThere) {
  const std::string content = Text(40000, 4);
  const std::string stored = ArchiveBuilder::Stored(content, "pw");
  for (uint32_t claimed : {static_cast<uint32_t>(stored.size() + 1000), 0xFFFFFFFFu}) {
    ArchiveBuilder b(3);
    EntryHeader h = Header("big.txt", content, 1);
    h.Size = claimed;
    b.Add("a.txt", "A").AddBytes(archive::EncodeEntryHeader(h, 3) + stored);
    ExtractOptions options;
    options.Password = "pw";
    const archive::ExtractResult r = Run(b, options);
    EXPECT_TRUE(r.Succeeded());
    EXPECT_EQ(r.End, ExtractEnd::Complete);
    EXPECT_EQ(Files(), (Tree{{"a.txt", "A"}, {"big.txt", content}}));
  }
}

// ---------------------------------------------------------------- status codes

using ExtractStatusTest = ExtractTest;
INSTANTIATE_FOR_THREADS(ExtractStatusTest);

// a.txt plain, b.txt enciphered with "pw" (of size 0 when `emptyB`), c.txt plain.
ArchiveBuilder MixedArchive(bool emptyB) {
  ArchiveBuilder b(3);
  b.Add("a.txt", "A");
  const std::string content = emptyB ? "" : Text(5000, 5);
  b.AddRaw(Header("b.txt", content, 1), emptyB ? "" : ArchiveBuilder::Stored(content, "pw"));
  b.Add("c.txt", "C");
  return b;
}

TEST_P(ExtractStatusTest, EncipheredEntryWithoutPasswordStopsBeforeIt) {
  for (bool emptyB : {false, true}) {
    for (const char* filter : {"", "a.txt;c.txt"}) {
      SCOPED_TRACE(testing::Message() << "empty " << emptyB << " filter " << filter);
      ExtractOptions options;
      options.FilterList = filter;
      const archive::ExtractResult r = Run(MixedArchive(emptyB), options);
      EXPECT_EQ(r.Status, asPasswordRequired);
      EXPECT_EQ(r.End, ExtractEnd::PasswordRequired);
      EXPECT_EQ(r.FailedEntry, "b.txt");
      EXPECT_EQ(Files(), (Tree{{"a.txt", "A"}}));
    }
  }
}

TEST_P(ExtractStatusTest, PasswordDecodesEncipheredEntriesAmongPlainOnes) {
  ExtractOptions options;
  options.Password = "pw";
  const archive::ExtractResult r = Run(MixedArchive(false), options);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(Files(), (Tree{{"a.txt", "A"}, {"b.txt", Text(5000, 5)}, {"c.txt", "C"}}));
}

TEST_P(ExtractStatusTest, WrongPasswordIsDataErrorAndLeavesNoTarget) {
  ExtractOptions options;
  options.Password = "PW";
  const archive::ExtractResult r = Run(MixedArchive(false), options);
  EXPECT_EQ(r.Status, asDataError);
  EXPECT_EQ(r.End, ExtractEnd::DataError);
  EXPECT_EQ(r.FailedEntry, "b.txt");
  EXPECT_EQ(Files(), (Tree{{"a.txt", "A"}}));
}

TEST_P(ExtractStatusTest, ChecksumMismatchDeletesTheTarget) {
  ArchiveBuilder b(3);
  EntryHeader h = Header("b.txt", "other content");
  b.Add("a.txt", "A").AddRaw(h, ArchiveBuilder::Stored("content", "")).Add("c.txt", "C");
  Put("b.txt", "was here");  // truncated when the entry is opened, then deleted
  const archive::ExtractResult r = Run(b);
  EXPECT_EQ(r.Status, asDataError);
  EXPECT_EQ(r.FailedEntry, "b.txt");
  EXPECT_EQ(Files(), (Tree{{"a.txt", "A"}}));
}

TEST_P(ExtractStatusTest, OlderVersionsWriteWhatADamagedStreamGives) {
  // The stored data hold only the first part of the stream: no CRC to find it.
  const std::string content = Text(200000, 6);
  const std::string stored = ArchiveBuilder::Stored(content, "");
  ArchiveBuilder b(2);
  b.AddRaw(EntryHeader{"a.txt", 0, 0, 0}, stored.substr(0, stored.size() / 2)).Add("b.txt", "B");
  archive::ExtractResult r = Run(b);
  EXPECT_TRUE(r.Succeeded());
  Tree files = Files();
  EXPECT_EQ(files["b.txt"], "B");
  EXPECT_LT(files["a.txt"].size(), content.size());
  EXPECT_EQ(content.compare(0, files["a.txt"].size(), files["a.txt"]), 0);

  // Verification asks more: the stream must end.
  ExtractOptions verify;
  verify.VerifyOnly = true;
  r = Run(b, verify);
  EXPECT_EQ(r.End, ExtractEnd::DataError);
  EXPECT_EQ(r.FailedEntry, "a.txt");
}

// ---------------------------------------------------------------- selection

using ExtractSelectionTest = ExtractTest;
INSTANTIATE_FOR_THREADS(ExtractSelectionTest);

ArchiveBuilder NamedArchive(const std::vector<std::string>& names) {
  ArchiveBuilder b(3);
  for (const std::string& name : names) b.Add(name, "new " + name);
  return b;
}

TEST_P(ExtractSelectionTest, OverwriteReplacesAndIgnoresKeepList) {
  Put("a.txt", "old");
  ExtractOptions options;
  options.KeepList = ";a.txt;";
  EXPECT_TRUE(Run(NamedArchive({"a.txt", "b.txt"}), options).Succeeded());
  EXPECT_EQ(Files(), (Tree{{"a.txt", "new a.txt"}, {"b.txt", "new b.txt"}}));
}

TEST_P(ExtractSelectionTest, WithoutOverwriteAndKeepListExistingFilesStay) {
  Put("a.txt", "old");
  ExtractOptions options;
  options.Overwrite = false;
  const archive::ExtractResult r = Run(NamedArchive({"a.txt", "b.txt"}), options);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.EntriesWritten, 1u);
  EXPECT_EQ(Files(), (Tree{{"a.txt", "old"}, {"b.txt", "new b.txt"}}));
}

TEST_P(ExtractSelectionTest, KeepListKeepsOnlyWholeNamesInAnyCase) {
  for (const char* name : {"keep.txt", "eep.txt", "keep.txt.bak", "sub\\Keep2.txt", "other"})
    Put(name, "old");
  ExtractOptions options;
  options.Overwrite = false;
  options.KeepList = ";KEEP.txt;SUB\\keep2.TXT;";
  EXPECT_TRUE(Run(NamedArchive({"keep.txt", "eep.txt", "keep.txt.bak", "sub/Keep2.txt", "other",
                                "fresh.txt"}),
                  options)
                  .Succeeded());
  EXPECT_EQ(Files(), (Tree{{"keep.txt", "old"},
                           {"eep.txt", "new eep.txt"},
                           {"keep.txt.bak", "new keep.txt.bak"},
                           {"sub\\Keep2.txt", "old"},
                           {"other", "new other"},
                           {"fresh.txt", "new fresh.txt"}}));
}

TEST_P(ExtractSelectionTest, FilterListWritesOnlyNamedEntriesWithoutDecodingOthers) {
  ArchiveBuilder b = NamedArchive({"A.txt", "a.txt.bak", "sub/b.txt"});
  // Damaged, but passed over without being decoded.
  b.AddRaw(Header("damaged.txt", "x"), "not a zlib stream");
  ExtractOptions options;
  options.FilterList = "a.TXT;Sub\\B.txt;;";
  const archive::ExtractResult r = Run(b, options);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(Files(), (Tree{{"A.txt", "new A.txt"}, {"sub\\b.txt", "new sub/b.txt"}}));
}

TEST_P(ExtractSelectionTest, KeepAndFilterTogether) {
  Put("a.txt", "old");
  Put("b.txt", "old");
  ExtractOptions options;
  options.Overwrite = false;
  options.KeepList = ";a.txt;";
  options.FilterList = "a.txt;b.txt";
  EXPECT_TRUE(Run(NamedArchive({"a.txt", "b.txt", "c.txt"}), options).Succeeded());
  EXPECT_EQ(Files(), (Tree{{"a.txt", "old"}, {"b.txt", "new b.txt"}}));
}

TEST_P(ExtractSelectionTest, SameNameTwiceSeesTheFirstOne) {
  ArchiveBuilder b(3);
  b.Add("dup.txt", "first").Add("DUP.txt", "second");
  ExtractOptions options;
  options.Overwrite = false;
  EXPECT_TRUE(Run(b, options).Succeeded());
  EXPECT_EQ(Files(), (Tree{{"dup.txt", "first"}}));
  ASSERT_TRUE(platform::DeleteFile(dest_ + "dup.txt"));
  options.Overwrite = true;
  EXPECT_TRUE(Run(b, options).Succeeded());
  EXPECT_EQ(Files().begin()->second, "second");
}

// ---------------------------------------------------------------- files that fail

using ExtractTargetTest = ExtractTest;
INSTANTIATE_FOR_THREADS(ExtractTargetTest);

// Whether the system refuses to replace a read-only file (Wine running as root does not).
bool ReadOnlyFilesAreProtected(const std::string& probe) {
  if (!testing_support::WriteFile(probe, "x") ||
      !platform::SetFileAttributes(probe, platform::kAttrReadOnly))
    return false;
  platform::File file;
  const bool refused = !file.Open(probe, platform::File::Mode::Create);
  file.Close();
  platform::SetFileAttributes(probe, platform::kAttrNormal);
  platform::DeleteFile(probe);
  return refused;
}

TEST_P(ExtractTargetTest, TargetThatCannotBeCreatedIsPassedOver) {
  ASSERT_TRUE(platform::CreateDirectory(scratch_.Path() + "out"));
  ASSERT_TRUE(platform::CreateDirectory(dest_ + "folder.txt"));
  Put("plain", "a file, not a folder");
  Tree expected{{"plain", "a file, not a folder"}, {"b.txt", "new b.txt"}};
  std::vector<std::string> names{"folder.txt", "plain\\below.txt", "b.txt"};
  if (ReadOnlyFilesAreProtected(scratch_.Path() + "probe")) {
    Put("ro.txt", "read-only");
    ASSERT_TRUE(platform::SetFileAttributes(dest_ + "ro.txt", platform::kAttrReadOnly));
    expected["ro.txt"] = "read-only";
    names.insert(names.begin(), "ro.txt");
  }
  const archive::ExtractResult r = Run(NamedArchive(names));
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.EntriesWritten, 1u);
  EXPECT_EQ(Files(), expected);
}

#ifndef _WIN32
TEST_P(ExtractTargetTest, WriteFailureStopsAtThatEntry) {
  // A link to /dev/full: it opens, and every write fails as on a full disk.
  ASSERT_TRUE(support::CreateDirectoryPath(dest_));
  const std::string link = platform::posix::MapPath(dest_) + "/full.bin";
  std::error_code error;
  std::filesystem::create_symlink("/dev/full", link, error);
  ASSERT_FALSE(error) << error.message();
  ArchiveBuilder b(3);
  b.Add("a.txt", "A").Add("full.bin", RandomBytes(3 << 20, 7)).Add("c.txt", "C");
  const archive::ExtractResult r = Run(b);
  EXPECT_EQ(r.End, ExtractEnd::WriteError);
  EXPECT_EQ(r.Status, asOk);
  EXPECT_EQ(r.FailedEntry, "full.bin");
  EXPECT_FALSE(r.Succeeded());
  // The partly written target is removed (here the link, never the device).
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));
  EXPECT_EQ(Files(), (Tree{{"a.txt", "A"}}));
}
#endif

TEST_P(ExtractTargetTest, ArgumentsDestinationAndArchive) {
  ExtractOptions options;
  options.Threads = GetParam();
  ASSERT_TRUE(testing_support::WriteFile(archive_, NamedArchive({"a.txt"}).Bytes()));
  EXPECT_EQ(archive::Extract("", dest_, options).End, ExtractEnd::BadArguments);
  EXPECT_EQ(archive::Extract(archive_, "", options).End, ExtractEnd::BadArguments);
  EXPECT_EQ(archive::Extract(scratch_.Path() + "missing.ilds", dest_, options).End,
            ExtractEnd::CannotOpenArchive);
  EXPECT_EQ(archive::Extract(archive_, archive_ + "\\sub", options).End,
            ExtractEnd::CannotCreateDestination);
  // Missing parents are created; the trailing "\" is optional.
  const archive::ExtractResult r = archive::Extract(archive_, dest_ + "x\\y", options);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(ReadTree(dest_ + "x\\y\\"), (Tree{{"a.txt", "new a.txt"}}));
}

// ---------------------------------------------------------------- ExtractArchive

TEST(ExtractArchiveTest, ResultAndStatus) {
  testing_support::ScratchDir scratch;
  const std::string path = scratch.Path() + "a.ilds", dest = scratch.Path() + "out";
  ASSERT_TRUE(testing_support::WriteFile(path, MixedArchive(false).Bytes()));
  archive::ArchiveStatus status = asDataError;
  EXPECT_TRUE(archive::ExtractArchive(path, dest, status, true, "", "", "pw"));
  EXPECT_EQ(status, asOk);
  EXPECT_EQ(ReadTree(dest + "\\").size(), 3u);

  EXPECT_FALSE(archive::ExtractArchive(path, dest, status, true, "", "", ""));
  EXPECT_EQ(status, asPasswordRequired);
  EXPECT_FALSE(archive::ExtractArchive(path, dest, status, true, "", "", "wrong"));
  EXPECT_EQ(status, asDataError);

  status = asDataError;
  EXPECT_FALSE(archive::ExtractArchive(path, "", status, true, "", "", ""));
  EXPECT_EQ(status, asOk);
  ASSERT_TRUE(testing_support::WriteFile(path, MixedArchive(false).Bytes().substr(0, 20)));
  status = asDataError;
  EXPECT_FALSE(archive::ExtractArchive(path, dest, status, true, "", "", "pw"));
  EXPECT_EQ(status, asOk);
}

}  // namespace
}  // namespace archive_test

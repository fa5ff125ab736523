// Streaming and the parallel pipeline: large entries, many entries, order of writes and
// failures, verification, listing, progress, and deleting an extracted folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "archive/crc32.h"
#include "archive/entry_names.h"
#include "archive/extract.h"
#include "archive/extract_fixture.h"
#include "archive/thread_pool.h"
#include "crypto/cast256.h"
#include "platform/files.h"

namespace archive_test {
namespace {

using archive::ExtractEnd;
using archive::ExtractOptions;

// The CRC-32 and size of a file, read in pieces, are `crc` and `size`.
void ExpectFileCRC(const std::string& path, uint32_t crc, uint64_t size) {
  platform::File f;
  ASSERT_TRUE(f.Open(path, platform::File::Mode::Read));
  archive::TCRC32 sum;
  std::string buffer(1 << 20, '\0');
  uint64_t gotSize = 0;
  for (int64_t n; (n = f.Read(buffer.data(), static_cast<int64_t>(buffer.size()))) > 0;) {
    sum.Update(buffer.data(), static_cast<size_t>(n));
    gotSize += static_cast<uint64_t>(n);
  }
  const uint32_t gotCrc = sum.Value();
  EXPECT_EQ(gotSize, size);
  EXPECT_EQ(gotCrc, crc);
}

using ExtractLargeTest = ExtractTest;
INSTANTIATE_FOR_THREADS(ExtractLargeTest);

TEST_P(ExtractLargeTest, HundredMegabyteEntryStreams) {
  int pieces = 0;
  uint32_t crc = 0;
  uint64_t size = 0;
  ASSERT_TRUE(WriteStreamedArchive(
      archive_, "big/content.txt", "",
      [&pieces](std::string& piece) {
        if (pieces == 100) return false;
        piece = Text(1 << 20, pieces++);
        return true;
      },
      crc, size));
  std::vector<uint64_t> progress;
  uint64_t total = 0;
  ExtractOptions options;
  options.Threads = GetParam();
  options.Progress = [&](uint64_t done, uint64_t all) {
    progress.push_back(done);
    total = all;
  };
  const archive::ExtractResult r = archive::Extract(archive_, dest_, options);
  EXPECT_TRUE(r.Succeeded());
  ExpectFileCRC(dest_ + "big\\content.txt", crc, size);
  // Progress goes forward, inside the entry too, up to the archive's size.
  EXPECT_EQ(total, static_cast<uint64_t>(platform::FileSize(archive_)));
  ASSERT_GT(progress.size(), 3u);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress.back(), total);
}

TEST_P(ExtractLargeTest, EncipheredEntryDecipheredAcrossPieces) {
  // Random bytes mixed into text keep the stored data several pieces long.
  int pieces = 0;
  uint32_t crc = 0;
  uint64_t size = 0;
  ASSERT_TRUE(WriteStreamedArchive(
      archive_, "secret.bin", "key",
      [&pieces](std::string& piece) {
        if (pieces == 6) return false;
        piece = Text(1 << 20, pieces) + RandomBytes(700001, pieces);
        ++pieces;
        return true;
      },
      crc, size));
  const uint64_t stored = static_cast<uint64_t>(platform::FileSize(archive_)) - 17 -
                          archive::EntryHeaderLength("secret.bin", 3);
  ASSERT_GT(stored, 4u << 20);
  ASSERT_NE(stored % 16, 0u);  // a final part shorter than a block
  ExtractOptions options;
  options.Password = "key";
  options.Threads = GetParam();
  EXPECT_TRUE(archive::Extract(archive_, dest_, options).Succeeded());
  ExpectFileCRC(dest_ + "secret.bin", crc, size);
}

TEST_P(ExtractLargeTest, BytesAfterTheEndOfTheStreamAreIgnored) {
  // Behind a complete stream: several read pieces in a large entry, a few bytes in a small one
  // (enciphered together with the stream, as the cipher runs over all stored bytes).
  const std::string content = Text(100000, 11);
  const std::string stream = ArchiveBuilder::Stored(content, "");
  for (const char* password : {"", "pw"}) {
    SCOPED_TRACE(password);
    auto stored = [&](const std::string& tail) {
      if (!*password) return stream + tail;
      crypto::TCipher_Cast256 cipher;
      cipher.InitKey(password);
      return cipher.EncipherString(stream + tail);
    };
    const uint8_t encrypted = *password ? 1 : 0;
    const uint32_t crc = archive::StringCRC32(content);
    ArchiveBuilder b(3);
    b.AddRaw(archive::EntryHeader{"big.txt", encrypted, crc, 0}, stored(RandomBytes(3 << 20, 12)));
    b.AddRaw(archive::EntryHeader{"small.txt", encrypted, crc, 0}, stored("tail"));
    b.Add("after.txt", "after");
    ExtractOptions options;
    options.Password = password;
    const archive::ExtractResult r = Run(b, options);
    EXPECT_TRUE(r.Succeeded());
    EXPECT_TRUE(Files() ==
                (Tree{{"big.txt", content}, {"small.txt", content}, {"after.txt", "after"}}));
  }
}

// Entries of every kind: empty, tiny, compressible and not, some larger than a read piece.
struct Mixed {
  ArchiveBuilder archive{3};
  Tree expected;
};

Mixed MixedEntries(int count, const std::string& password, int damagedAt = -1) {
  Mixed m{ArchiveBuilder(3, true, password), {}};
  std::mt19937 gen(42);
  for (int i = 0; i < count; ++i) {
    const std::string name = "d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".dat";
    size_t size = gen() % 40000;
    if (i % 50 == 3) size = 1500000 + gen() % 1000000;
    if (i % 17 == 0) size = 0;
    const std::string content =
        i % 3 == 0 ? RandomBytes(size, i) : Text(size, static_cast<unsigned>(i));
    if (i == damagedAt) {
      archive::EntryHeader h{name, static_cast<uint8_t>(!password.empty()),
                             archive::StringCRC32(content) ^ 1, 0};
      m.archive.AddRaw(h, ArchiveBuilder::Stored(content, password));
      continue;
    }
    m.archive.Add(name, content);
    if (i < damagedAt || damagedAt < 0) m.expected[archive::EntryPath(name)] = content;
  }
  return m;
}

TEST(ExtractParallelTest, SameFilesWhateverTheThreadCount) {
  testing_support::ScratchDir scratch;
  for (const char* password : {"", "pw"}) {
    const Mixed m = MixedEntries(300, password);
    const std::string path = scratch.Path() + "m" + password + ".ilds";
    ASSERT_TRUE(testing_support::WriteFile(path, m.archive.Bytes()));
    for (unsigned threads : {1u, 2u, 3u, 8u}) {
      SCOPED_TRACE(testing::Message() << "threads " << threads << " password " << password);
      ExtractOptions options;
      options.Threads = threads;
      options.Password = password;
      const std::string dest = scratch.Path() + password + std::to_string(threads) + "\\";
      const archive::ExtractResult r = archive::Extract(path, dest, options);
      EXPECT_TRUE(r.Succeeded());
      EXPECT_EQ(r.EntriesWritten, 300u);
      EXPECT_TRUE(ReadTree(dest) == m.expected);
    }
  }
}

// A sanitizer keeps a record of every thread the process ever started, so a pipeline that
// started its threads for each archive grew a long fuzz campaign without bound.
TEST(ExtractParallelTest, LaterExtractionsStartNoThread) {
  testing_support::ScratchDir scratch;
  // Small entries and one longer than a read piece; the second archive fails at its second
  // entry, with the rest still in flight.
  const std::string paths[2] = {scratch.Path() + "good.ilds", scratch.Path() + "bad.ilds"};
  for (int i = 0; i < 2; ++i) {
    ArchiveBuilder b(3);
    b.Add("first.txt", Text(3000, 1));
    if (i == 1) b.AddRaw(archive::EntryHeader{"bad.txt", 0, 1, 0}, ArchiveBuilder::Stored("x", ""));
    b.Add("big.bin", RandomBytes(1200000, 2));
    for (unsigned k = 0; k < 20; ++k) b.Add(std::to_string(k) + ".txt", Text(3000, k));
    ASSERT_TRUE(testing_support::WriteFile(paths[i], b.Bytes()));
  }
  const std::string dest = scratch.Path() + "out\\";
  auto extractBoth = [&] {
    for (int i = 0; i < 2; ++i) {
      ExtractOptions options;
      options.Threads = 4;
      EXPECT_EQ(archive::Extract(paths[i], dest, options).Succeeded(), i == 0);
      options.VerifyOnly = true;
      EXPECT_EQ(archive::Extract(paths[i], "", options).Succeeded(), i == 0);
      EXPECT_TRUE(archive::DeleteExtracted(dest));
    }
  };
  extractBoth();
  const size_t started = archive::PoolThreadsStarted();
  for (int round = 0; round < 20; ++round) extractBoth();
  EXPECT_EQ(archive::PoolThreadsStarted(), started);
}

using ExtractOrderTest = ExtractTest;
INSTANTIATE_FOR_THREADS(ExtractOrderTest);

TEST_P(ExtractOrderTest, NothingAfterTheFirstFailureIsWritten) {
  const Mixed m = MixedEntries(200, "", 120);
  const archive::ExtractResult r = Run(m.archive);
  EXPECT_EQ(r.Status, archive::asDataError);
  EXPECT_EQ(r.FailedEntry, "d1\\f120.dat");
  EXPECT_EQ(r.EntriesWritten, 120u);
  EXPECT_TRUE(Files() == m.expected);
}

TEST_P(ExtractOrderTest, PassedOverEntriesAreNotDecoded) {
  // Large entries passed over by the keep rule and the filter, and damaged ones among them.
  const std::string big = Text(6 << 20, 9);
  ArchiveBuilder b(3);
  b.Add("kept.txt", big).Add("filtered.txt", big).Add("wanted.txt", big);
  b.AddRaw(archive::EntryHeader{"kept.bad", 0, 1, 0}, ArchiveBuilder::Stored(big, ""));
  b.Add("last.txt", "last");
  Put("kept.txt", "old");
  Put("kept.bad", "old");
  ExtractOptions options;
  options.Overwrite = false;
  options.FilterList = "kept.txt;wanted.txt;last.txt;kept.bad";
  const archive::ExtractResult r = Run(b, options);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.EntriesWritten, 2u);
  EXPECT_TRUE(
      Files() ==
      (Tree{{"kept.txt", "old"}, {"kept.bad", "old"}, {"wanted.txt", big}, {"last.txt", "last"}}));
}

// ---------------------------------------------------------------- verify and list

using ExtractVerifyTest = ExtractTest;
INSTANTIATE_FOR_THREADS(ExtractVerifyTest);

TEST_P(ExtractVerifyTest, VerifyWritesNothingAndFindsDamage) {
  ExtractOptions options;
  options.VerifyOnly = true;
  options.Threads = GetParam();
  options.FilterList = "none";  // checks every entry all the same
  Mixed good = MixedEntries(60, "");
  good.archive.AddEndMarker();
  ASSERT_TRUE(testing_support::WriteFile(archive_, good.archive.Bytes()));
  archive::ExtractResult r = archive::Extract(archive_, "", options);
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.End, ExtractEnd::EndMarker);
  EXPECT_EQ(r.EntriesWritten, 60u);

  const Mixed bad = MixedEntries(60, "", 31);
  ASSERT_TRUE(testing_support::WriteFile(archive_, bad.archive.Bytes()));
  r = archive::Extract(archive_, dest_, options);
  EXPECT_EQ(r.End, ExtractEnd::DataError);
  EXPECT_EQ(r.FailedEntry, "d3\\f31.dat");
  EXPECT_EQ(r.EntriesWritten, 31u);
  EXPECT_EQ(ListTree(scratch_.Path()).size(), 1u);  // the archive alone
}

TEST(ListArchiveTest, HeadersWithoutData) {
  testing_support::ScratchDir scratch;
  const std::string path = scratch.Path() + "l.ilds";
  ArchiveBuilder b(3, true, "pw");
  b.Add("a/b.txt", "hello").Add("empty", "").AddEndMarker().Add("hidden", "x");
  ASSERT_TRUE(testing_support::WriteFile(path, b.Bytes()));
  uint32_t version = 0;
  std::vector<archive::EntryHeader> entries;
  ExtractEnd end = ExtractEnd::DataError;
  ASSERT_TRUE(archive::ListArchive(path, version, entries, end));
  EXPECT_EQ(version, 3u);
  EXPECT_EQ(end, ExtractEnd::EndMarker);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].Name, "a/b.txt");
  EXPECT_EQ(entries[0].Encrypted, 1);
  EXPECT_EQ(entries[0].CRC, archive::StringCRC32("hello"));
  EXPECT_EQ(entries[0].Size, ArchiveBuilder::Stored("hello", "pw").size());
  EXPECT_EQ(entries[1].Size, 0u);

  ASSERT_TRUE(testing_support::WriteFile(path, b.Bytes().substr(0, 30)));
  EXPECT_FALSE(archive::ListArchive(path, version, entries, end));
  EXPECT_EQ(end, ExtractEnd::TruncatedHeader);
  EXPECT_FALSE(archive::ListArchive(path + "x", version, entries, end));
  EXPECT_EQ(end, ExtractEnd::CannotOpenArchive);
}

TEST(DeleteExtractedTest, RemovesTheFolderWithEverythingBelow) {
  testing_support::ScratchDir scratch;
  const std::string path = scratch.Path() + "a.ilds", dest = scratch.Path() + "tmp";
  ArchiveBuilder b(3);
  b.Add("a.txt", "A").Add("s/t/u.txt", "U").Add("s/v.txt", "V");
  ASSERT_TRUE(testing_support::WriteFile(path, b.Bytes()));
  ASSERT_TRUE(archive::Extract(path, dest, {}).Succeeded());
  ASSERT_EQ(ListTree(dest + "\\").size(), 5u);
  EXPECT_TRUE(archive::DeleteExtracted(dest));
  EXPECT_FALSE(platform::DirectoryExists(dest));
  EXPECT_TRUE(platform::FileExists(path));
  EXPECT_FALSE(archive::DeleteExtracted(dest));
  EXPECT_FALSE(archive::DeleteExtracted(""));
}

}  // namespace
}  // namespace archive_test

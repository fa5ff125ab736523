#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_writer.h"
#include "archive/crc32.h"
#include "archive/entry_names.h"
#include "archive/extract.h"
#include "archive/zlibex.h"
#include "common/scratch_dir.h"
#include "crypto/cast256.h"
#include "platform/files.h"

namespace archive {
namespace {

using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

// Half text, half bytes of varying entropy, so that every level has work to do.
std::string Content(size_t n, unsigned seed) {
  static const char* const kWords[] = {"mail ", "server ", "setup ", "domain\r\n", "account "};
  std::mt19937 gen(seed);
  std::string s;
  while (s.size() < n) {
    if (gen() % 2) {
      for (int i = 0; i < 50; ++i) s += kWords[gen() % 5];
    } else {
      const unsigned spread = 1u << (gen() % 9);
      for (int i = 0; i < 700; ++i) s += static_cast<char>(gen() % spread);
    }
  }
  s.resize(n);
  return s;
}

// One entry as the bytes lay it out, read here independently of the extractor.
struct RawEntry {
  std::string name;
  uint8_t encrypted = 0;
  uint32_t crc = 0;
  std::string data;
};

struct RawArchive {
  bool preamble = false;
  uint32_t version = 0;
  std::vector<RawEntry> entries;
  bool endMarker = false;
  size_t afterMarker = 0;  // bytes after the end marker
  bool wellFormed = true;
};

RawArchive ParseArchive(const std::string& bytes) {
  RawArchive a;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t at = 0;
  if (bytes.size() >= 8 && bytes.compare(0, 4, "ILDS") == 0) {
    a.preamble = true;
    const uint32_t n = GetLE32(p + 4);
    if (n >= 5) a.version = GetLE32(p + 9);
    at = 8 + n;
  }
  while (at < bytes.size()) {
    RawEntry e;
    const size_t length = p[at];
    if (a.version < 2) {
      if (at + 256 + 4 > bytes.size()) break;
      e.name = bytes.substr(at + 1, length);
      at += 256;
    } else {
      if (at + 1 + length > bytes.size()) break;
      e.name = bytes.substr(at + 1, length);
      at += 1 + length;
    }
    if (a.version >= 3) {
      if (at + 17 > bytes.size()) break;
      if (bytes.compare(at, 12, std::string(12, '\0')) != 0) a.wellFormed = false;
      e.encrypted = p[at + 12];
      e.crc = GetLE32(p + at + 13);
      at += 17;
    }
    if (at + 4 > bytes.size()) break;
    const uint32_t size = GetLE32(p + at);
    at += 4;
    if (e.name.empty()) {
      a.endMarker = size == 0;
      a.afterMarker = bytes.size() - at;
      return a;
    }
    if (at + size > bytes.size()) break;
    e.data = bytes.substr(at, size);
    at += size;
    a.entries.push_back(e);
  }
  a.wellFormed = a.wellFormed && at == bytes.size();
  return a;
}

// The content of a complete, undamaged zlib stream; "<bad stream>" otherwise (DecompressString
// would hand back content even with a wrong Adler-32).
std::string InflateStrict(const std::string& stream) {
  TInflater inflater;
  std::string out;
  inflater.Write(stream.data(), stream.size(),
                 [&out](const char* p, size_t n) { out.append(p, n); });
  return inflater.State() == InflateState::kEnd ? out : "<bad stream>";
}

std::string DecodeEntry(const RawEntry& e, const std::string& password) {
  if (e.data.empty()) return "";
  std::string stream = e.data;
  if (e.encrypted) {
    crypto::TCipher_Cast256 cipher;
    cipher.InitKey(password);
    stream = cipher.DecipherString(stream);
  }
  return InflateStrict(stream);
}

class WriterTest : public ::testing::Test {
 protected:
  std::string Source(const std::string& relative) const { return dir_.Path() + "src\\" + relative; }
  std::string ArchivePath() const { return dir_.Path() + "test.dat"; }

  // Writes the source files (creating their folders) and returns the items in the given order.
  std::vector<PackItem> MakeFiles(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<PackItem> items;
    for (const auto& [name, content] : files) {
      std::string path = Source(name);
      for (size_t cut = path.find('\\', dir_.Path().size()); cut != std::string::npos;
           cut = path.find('\\', cut + 1)) {
        platform::CreateDirectory(path.substr(0, cut));
      }
      EXPECT_TRUE(WriteFile(path, content)) << path;
      items.push_back({name, path});
    }
    return items;
  }

  RawArchive Pack(const std::vector<PackItem>& items, const PackOptions& options) {
    const PackResult result = WriteArchive(ArchivePath(), items, options);
    EXPECT_TRUE(result.Ok()) << result.Message << " " << result.Entry;
    EXPECT_EQ(result.Entries, items.size());
    EXPECT_EQ(static_cast<int64_t>(result.BytesOut), platform::FileSize(ArchivePath()));
    return ParseArchive(ReadFile(ArchivePath()));
  }

  ScratchDir dir_;
};

const CompressionLevel kLevels[] = {clNone, clFastest, clDefault, clBest};

// Files that take every path of the writer when pieces are 4 KiB: empty, one piece, exactly one
// piece, one byte more, many pieces, a folder tree.
std::vector<std::pair<std::string, std::string>> SampleFiles() {
  return {{"empty.txt", ""},
          {"abc.txt", "abc"},
          {"one piece.bin", Content(4096, 1)},
          {"two pieces.bin", Content(4097, 2)},
          {"sub\\many.bin", Content(50000, 3)},
          {"sub\\deeper\\text.txt", Content(3000, 4)},
          {"sub\\deeper\\zeros.bin", std::string(20000, '\0')}};
}

TEST_F(WriterTest, EveryFormatLevelAndPasswordRoundTripsThroughTheBytesAndTheExtractor) {
  const auto files = SampleFiles();
  const std::vector<PackItem> items = MakeFiles(files);
  for (uint32_t format : {0u, 2u, 3u}) {
    for (CompressionLevel level : kLevels) {
      for (const std::string password : {"", "secret"}) {
        if (format != 3 && !password.empty()) continue;
        SCOPED_TRACE("format " + std::to_string(format) + " level " + std::to_string(level) +
                     " password '" + password + "'");
        PackOptions options;
        options.Format = format;
        options.Level = level;
        options.Password = password;
        options.ChunkSize = 4096;
        const RawArchive a = Pack(items, options);
        EXPECT_EQ(a.preamble, format != 0);
        EXPECT_EQ(a.version, format);
        EXPECT_TRUE(a.endMarker);
        EXPECT_EQ(a.afterMarker, 0u);
        EXPECT_TRUE(a.wellFormed);
        ASSERT_EQ(a.entries.size(), files.size());
        for (size_t i = 0; i < files.size(); ++i) {
          const RawEntry& e = a.entries[i];
          EXPECT_EQ(e.name, files[i].first);
          EXPECT_EQ(e.encrypted, format == 3 && !password.empty() ? 1 : 0);
          EXPECT_EQ(e.crc, format == 3 ? StringCRC32(files[i].second) : 0u);
          EXPECT_EQ(e.data.empty(), files[i].second.empty()) << e.name;
          EXPECT_EQ(DecodeEntry(e, password), files[i].second) << e.name;
        }

        ScratchDir out;
        ArchiveStatus status = asDataError;
        EXPECT_TRUE(ExtractArchive(ArchivePath(), out.Path(), status, true, "", "", password));
        EXPECT_EQ(status, asOk);
        for (const auto& [name, content] : files) {
          EXPECT_TRUE(platform::FileExists(out.Path() + name)) << name;
          EXPECT_EQ(ReadFile(out.Path() + name), content) << name;
        }
      }
    }
  }
}

TEST_F(WriterTest, AFileOfOnePieceIsStoredExactlyAsCompressStringGivesIt) {
  const std::string content = Content(30000, 5);
  const auto items = MakeFiles({{"a.bin", content}, {"b.bin", Content(100, 6)}});
  for (CompressionLevel level : kLevels) {
    PackOptions options;
    options.Level = level;
    RawArchive a = Pack(items, options);
    ASSERT_EQ(a.entries.size(), 2u);
    EXPECT_EQ(a.entries[0].data, CompressString(content, level)) << "level " << level;

    // Enciphered: each entry from the initialisation vector, as EncipherString after a reset.
    options.Password = "pw";
    a = Pack(items, options);
    ASSERT_EQ(a.entries.size(), 2u);
    crypto::TCipher_Cast256 cipher;
    cipher.InitKey("pw");
    for (size_t i = 0; i < 2; ++i) {
      const std::string plain = CompressString(ReadFile(items[i].SourcePath), level);
      EXPECT_EQ(a.entries[i].data, cipher.EncipherString(plain)) << i;
      cipher.ResetChain();
    }
  }
}

TEST_F(WriterTest, ALargeFileIsOneZlibStreamWhateverThePiecesAndThreads) {
  const std::string content = Content(300000, 7);
  const std::string second = Content(70000, 11);
  const auto items =
      MakeFiles({{"large.bin", content}, {"small.txt", "small"}, {"second.bin", second}});
  std::string first;
  for (unsigned threads : {1u, 2u, 7u}) {
    for (const std::string password : {"", "pw"}) {
      PackOptions options;
      options.ChunkSize = 4096;  // 74 pieces
      options.Threads = threads;
      options.Password = password;
      const RawArchive a = Pack(items, options);
      ASSERT_EQ(a.entries.size(), 3u);
      // Patched after its pieces: the size and CRC in the header are the real ones.
      EXPECT_EQ(a.entries[0].crc, StringCRC32(content));
      EXPECT_EQ(a.entries[2].crc, StringCRC32(second));
      // Each entry deciphers from the initialisation vector, whoever enciphered it.
      EXPECT_EQ(DecodeEntry(a.entries[0], password), content);
      EXPECT_EQ(DecodeEntry(a.entries[1], password), "small");
      EXPECT_EQ(DecodeEntry(a.entries[2], password), second);
      EXPECT_TRUE(a.wellFormed);
      if (password.empty()) {
        // The archive does not depend on how many threads made it.
        const std::string bytes = ReadFile(ArchivePath());
        if (first.empty()) first = bytes;
        EXPECT_EQ(bytes, first) << threads << " threads";
      }
    }
  }
  // Pieces compress nearly as well as one stream.
  PackOptions whole;
  whole.ChunkSize = kMaxChunkSize;
  const RawArchive one = Pack(items, whole);
  ASSERT_EQ(one.entries.size(), 3u);
  const RawArchive pieces = ParseArchive(first);
  ASSERT_EQ(pieces.entries.size(), 3u);
  EXPECT_LT(pieces.entries[0].data.size(), one.entries[0].data.size() * 103 / 100);
}

TEST_F(WriterTest, ManySmallFilesAmongLargeOnesKeepTheirOrderAndContent) {
  // Small files go to the threads in batches; large ones piece by piece between them.
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 300; ++i) {
    const size_t size = i % 50 == 7 ? 20000 + 37 * i : (i * 97) % 3000;
    files.emplace_back(std::to_string(1000 + i) + ".f", Content(size, 100 + i));
  }
  const auto items = MakeFiles(files);
  std::string first;
  for (unsigned threads : {1u, 3u}) {
    PackOptions options;
    options.ChunkSize = 4096;
    options.Threads = threads;
    const RawArchive a = Pack(items, options);
    ASSERT_EQ(a.entries.size(), files.size());
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_EQ(a.entries[i].name, files[i].first);
      EXPECT_EQ(DecodeEntry(a.entries[i], ""), files[i].second) << files[i].first;
    }
    const std::string bytes = ReadFile(ArchivePath());
    if (first.empty()) first = bytes;
    EXPECT_EQ(bytes, first) << threads << " threads";
  }
  // A size given with an item that is not the file's is found out.
  std::vector<PackItem> wrong = items;
  wrong[5].Size = static_cast<int64_t>(files[5].second.size()) + 1;
  PackOptions options;
  const PackResult result = WriteArchive(ArchivePath(), wrong, options);
  EXPECT_EQ(result.Error, PackError::SourceChanged);
  EXPECT_EQ(result.Entry, files[5].first);
}

TEST_F(WriterTest, EachPieceStartsFromTheDataBeforeIt) {
  // 8 KiB of noise, ten times: a piece of 4 KiB finds its bytes only in the pieces before it.
  const std::string block = [] {
    std::mt19937 gen(12);
    std::string s(8192, '\0');
    for (char& c : s) c = static_cast<char>(gen());
    return s;
  }();
  std::string content;
  for (int i = 0; i < 10; ++i) content += block;
  const auto items = MakeFiles({{"repeats.bin", content}});
  PackOptions options;
  options.ChunkSize = 4096;
  const RawArchive a = Pack(items, options);
  ASSERT_EQ(a.entries.size(), 1u);
  EXPECT_EQ(DecodeEntry(a.entries[0], ""), content);
  EXPECT_LT(a.entries[0].data.size(), block.size() + 2000);
}

TEST_F(WriterTest, EmptyFilesHaveNoDataButKeepTheEncryptedFlag) {
  const auto items = MakeFiles({{"a", ""}, {"b", ""}});
  PackOptions options;
  options.Password = "pw";
  const RawArchive a = Pack(items, options);
  ASSERT_EQ(a.entries.size(), 2u);
  for (const RawEntry& e : a.entries) {
    EXPECT_TRUE(e.data.empty());
    EXPECT_EQ(e.encrypted, 1);
    EXPECT_EQ(e.crc, 0u);
  }
  // Extraction asks for the password even for them.
  ScratchDir out;
  ArchiveStatus status = asOk;
  EXPECT_FALSE(ExtractArchive(ArchivePath(), out.Path(), status, true, "", "", ""));
  EXPECT_EQ(status, asPasswordRequired);
}

TEST_F(WriterTest, NoItemsGiveJustThePreambleAndTheEndMarker) {
  PackOptions options;
  Pack({}, options);
  const std::string expected = EncodePreamble({0, 3, 0}) + EncodeEntryHeader({}, 3);
  EXPECT_EQ(ReadFile(ArchivePath()), expected);
  EXPECT_EQ(expected.size(), 17u + 22u);

  options.Format = 0;
  Pack({}, options);
  EXPECT_EQ(ReadFile(ArchivePath()), std::string(260, '\0'));
}

TEST_F(WriterTest, FormatZeroNamesFillTheirFieldAndSlashesBecomeBackslashes) {
  auto items = MakeFiles({{"d\\f.txt", "x"}});
  items[0].Name = "d/f.txt";
  PackOptions options;
  options.Format = 0;
  Pack(items, options);
  const std::string bytes = ReadFile(ArchivePath());
  ASSERT_GE(bytes.size(), 260u);
  EXPECT_EQ(bytes[0], 7);
  EXPECT_EQ(bytes.substr(1, 7), "d\\f.txt");
  EXPECT_EQ(bytes.substr(8, 248), std::string(248, '\0'));
  EXPECT_EQ(GetLE32(reinterpret_cast<const unsigned char*>(bytes.data()) + 256),
            CompressString("x").size());
}

TEST_F(WriterTest, ProgressRunsUpToTheTotal) {
  const auto items = MakeFiles({{"a", Content(10000, 8)}, {"b", ""}, {"c", Content(9000, 9)}});
  PackOptions options;
  options.ChunkSize = 4096;
  std::vector<std::pair<uint64_t, uint64_t>> calls;
  options.Progress = [&calls](uint64_t done, uint64_t total) { calls.emplace_back(done, total); };
  Pack(items, options);
  ASSERT_FALSE(calls.empty());
  for (size_t i = 1; i < calls.size(); ++i) EXPECT_LE(calls[i - 1].first, calls[i].first);
  EXPECT_EQ(calls.back(), std::make_pair(uint64_t{19000}, uint64_t{19000}));
}

TEST_F(WriterTest, AnExistingArchiveIsReplacedOnSuccessAndKeptOnFailure) {
  const auto items = MakeFiles({{"a", "new content"}});
  ASSERT_TRUE(WriteFile(ArchivePath(), "old archive"));
  PackOptions options;
  Pack(items, options);
  EXPECT_EQ(ParseArchive(ReadFile(ArchivePath())).entries.size(), 1u);
  EXPECT_FALSE(platform::FileExists(ArchivePath() + ".part"));

  ASSERT_TRUE(WriteFile(ArchivePath(), "old archive"));
  std::vector<PackItem> broken = items;
  broken.push_back({"missing", Source("missing")});
  const PackResult result = WriteArchive(ArchivePath(), broken, options);
  EXPECT_EQ(result.Error, PackError::CannotReadSource);
  EXPECT_EQ(result.Entry, "missing");
  EXPECT_EQ(ReadFile(ArchivePath()), "old archive");
  EXPECT_FALSE(platform::FileExists(ArchivePath() + ".part"));
}

TEST_F(WriterTest, BadArgumentsAndNamesAreRefusedBeforeAnythingIsWritten) {
  const auto items = MakeFiles({{"a", "x"}});
  struct Case {
    uint32_t format;
    std::string password;
    std::string name;
    PackError error;
  };
  const std::vector<Case> cases = {
      {1, "", "a", PackError::BadArguments},     {4, "", "a", PackError::BadArguments},
      {0, "pw", "a", PackError::BadArguments},   {2, "pw", "a", PackError::BadArguments},
      {3, "", "", PackError::BadName},           {3, "", std::string(256, 'n'), PackError::BadName},
      {3, "", "..\\a", PackError::BadName},      {3, "", "d\\..\\..\\a", PackError::BadName},
      {3, "", "\\rooted", PackError::BadName},   {3, "", "C:\\a", PackError::BadName},
      {3, "", "a\\\\b", PackError::BadName},     {3, "", "a\\", PackError::BadName},
      {3, "", "d\\nul.txt", PackError::BadName}, {3, "", "COM1", PackError::BadName},
      {3, "", "what?", PackError::BadName},      {3, "", "tab\there", PackError::BadName},
      {3, "", "dot.", PackError::BadName},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("format " + std::to_string(c.format) + " name '" + c.name + "'");
    PackOptions options;
    options.Format = c.format;
    options.Password = c.password;
    const PackResult result = WriteArchive(ArchivePath(), {{c.name, items[0].SourcePath}}, options);
    EXPECT_EQ(result.Error, c.error);
    EXPECT_FALSE(result.Message.empty());
    EXPECT_FALSE(platform::FileExists(ArchivePath()));
    EXPECT_FALSE(platform::FileExists(ArchivePath() + ".part"));
  }
  // A name of 255 bytes is the longest, and it is stored whole.
  PackOptions options;
  const std::string longest(255, 'n');
  const RawArchive a = Pack({{longest, items[0].SourcePath}}, options);
  ASSERT_EQ(a.entries.size(), 1u);
  EXPECT_EQ(a.entries[0].name, longest);
}

TEST_F(WriterTest, TwoEntriesForOneWindowsFileAreRefused) {
  const auto items = MakeFiles({{"a", "1"}, {"b", "2"}});
  PackOptions options;
  PackResult result = WriteArchive(
      ArchivePath(), {{"Dir\\File", items[0].SourcePath}, {"dir/file", items[1].SourcePath}},
      options);
  EXPECT_EQ(result.Error, PackError::BadName);
  EXPECT_EQ(result.Entry, "dir\\file");
  EXPECT_FALSE(platform::FileExists(ArchivePath()));
}

TEST_F(WriterTest, AFormatZeroArchiveNeverStartsLikeAPreamble) {
  const auto items = MakeFiles({{"a", "1"}});
  const std::string lookalike = "LDS" + std::string(70, 'x');  // 73 bytes: length byte 'I'
  PackOptions options;
  options.Format = 0;
  EXPECT_EQ(WriteArchive(ArchivePath(), {{lookalike, items[0].SourcePath}}, options).Error,
            PackError::BadName);
  // Anywhere but first it is harmless, and so is any other format.
  EXPECT_TRUE(WriteArchive(ArchivePath(),
                           {{"a", items[0].SourcePath}, {lookalike, items[0].SourcePath}}, options)
                  .Ok());
  options.Format = 2;
  EXPECT_TRUE(WriteArchive(ArchivePath(), {{lookalike, items[0].SourcePath}}, options).Ok());
}

TEST_F(WriterTest, StoredDataAtTheLimitFailTheEntry) {
  const std::string content = Content(40000, 10);
  const auto items = MakeFiles({{"fits", "small"}, {"large", content}});
  for (size_t chunk : {size_t{4096}, kDefaultChunkSize}) {
    SCOPED_TRACE(chunk);
    platform::DeleteFile(ArchivePath());
    PackOptions options;
    options.Level = clNone;  // stored: a little more than the content
    options.ChunkSize = chunk;
    options.StoredSizeLimit = content.size();
    const PackResult result = WriteArchive(ArchivePath(), items, options);
    EXPECT_EQ(result.Error, PackError::EntryTooLarge);
    EXPECT_EQ(result.Entry, "large");
    EXPECT_FALSE(platform::FileExists(ArchivePath()));

    options.StoredSizeLimit = content.size() + 1000;
    EXPECT_TRUE(WriteArchive(ArchivePath(), items, options).Ok());
  }
}

#ifndef _WIN32
TEST_F(WriterTest, AFileThatIsLongerThanItsSizeSaidIsReportedAsChanged) {
  // Files under /proc claim size 0 and yet have content.
  PackOptions options;
  const PackResult result = WriteArchive(ArchivePath(), {{"status", "/proc/self/status"}}, options);
  EXPECT_EQ(result.Error, PackError::SourceChanged);
  EXPECT_FALSE(platform::FileExists(ArchivePath()));
}
#endif

TEST(EntryNameCheck, AcceptsOnlyNamesTheExtractorWrites) {
  const std::vector<std::string> names = {
      "a",        "a\\b\\c.txt", "a/b",   "..",     "...",    ".\\a",   "a\\.",
      "CON",      "con.txt",     "lpt9",  "COM0",   "conin$", "x\\aux", "nul .txt",
      "a:b",      "\\a",         "/a",    "a\\\\b", "a\\",    " ",      "a ",
      "space in", "caf\xE9",     "x\x01", "\"q\"",  "a<b",    "a|b",    "a*"};
  for (const std::string& name : names) {
    if (CheckEntryName(name).empty()) {
      EXPECT_TRUE(IsSafeEntryName(name)) << name;
    }
  }
  EXPECT_EQ(CheckEntryName("a\\b\\c.txt"), "");
  EXPECT_EQ(CheckEntryName("space in"), "");
  EXPECT_EQ(CheckEntryName("caf\xE9"), "");  // ANSI bytes are names like any other
  EXPECT_EQ(CheckEntryName("COM0"), "");     // only COM1 to COM9 are devices
  EXPECT_NE(CheckEntryName("nul .txt"), "");
  EXPECT_NE(CheckEntryName("conin$"), "");
}

}  // namespace
}  // namespace archive

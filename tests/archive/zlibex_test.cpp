#include "archive/zlibex.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "archive/archive_builder.h"

namespace archive {
namespace {

using archive_test::RandomBytes;

// Compressible text: words drawn from a small vocabulary.
std::string Text(size_t n, unsigned seed) {
  static const char* const kWords[] = {"mail ",  "server ", "setup ",   "domain ", "account ",
                                       "queue ", "\r\n",    "archive ", "inbox "};
  std::mt19937 gen(seed);
  std::string s;
  while (s.size() < n) s += kWords[gen() % 9];
  s.resize(n);
  return s;
}

// Adler-32 as RFC 1950 defines it.
uint32_t Adler32(const std::string& data) {
  uint32_t a = 1, b = 0;
  for (unsigned char c : data) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

uint32_t TrailerOf(const std::string& stream) {
  const size_t n = stream.size();
  uint32_t v = 0;
  for (size_t i = n - 4; i < n; ++i) v = (v << 8) | static_cast<unsigned char>(stream[i]);
  return v;
}

// Feeds `data` to a fresh inflater in pieces of random size and collects its output.
std::string InflateInPieces(const std::string& data, unsigned seed, InflateState* state) {
  std::mt19937 gen(seed);
  TInflater inflater;
  std::string out;
  const ZSink sink = [&out](const char* p, size_t n) { out.append(p, n); };
  for (size_t pos = 0; pos < data.size();) {
    const size_t n = std::min<size_t>(1 + gen() % 300, data.size() - pos);
    inflater.Write(data.data() + pos, n, sink);
    pos += n;
  }
  *state = inflater.State();
  EXPECT_EQ(inflater.TotalOut(), out.size());
  return out;
}

const CompressionLevel kLevels[] = {clNone, clFastest, clDefault, clBest};

TEST(ZLibCompress, RoundTripsAtEveryLevel) {
  const std::vector<std::string> inputs = {"", "a", RandomBytes(1000, 1), Text(300000, 2),
                                           RandomBytes(70000, 3) + Text(70000, 4)};
  for (CompressionLevel level : kLevels) {
    for (const std::string& data : inputs) {
      const std::string stream = CompressString(data, level);
      EXPECT_EQ(DecompressString(stream), data) << "level " << level << " size " << data.size();
    }
  }
}

TEST(ZLibCompress, WritesABareZlibStreamWithTheLevelInItsHeader) {
  const std::string data = Text(5000, 5);
  // RFC 1950 header: deflate with a 32 KiB window (0x78), FCHECK makes it a multiple of 31,
  // FLEVEL as zlib sets it: 0 for levels 0-1, 2 for the default (6), 3 for level 9.
  const struct {
    CompressionLevel level;
    unsigned char flg;
  } cases[] = {{clNone, 0x01}, {clFastest, 0x01}, {clDefault, 0x9C}, {clBest, 0xDA}};
  for (const auto& c : cases) {
    const std::string stream = CompressString(data, c.level);
    ASSERT_GT(stream.size(), 6u);
    EXPECT_EQ(static_cast<unsigned char>(stream[0]), 0x78) << c.level;
    EXPECT_EQ(static_cast<unsigned char>(stream[1]), c.flg) << c.level;
    EXPECT_EQ((0x78 * 256 + c.flg) % 31, 0);
    // No length prefix or other framing: the stream ends with the Adler-32 of the content.
    EXPECT_EQ(TrailerOf(stream), Adler32(data)) << c.level;
  }
}

TEST(ZLibCompress, LevelsDifferAsZlibDefinesThem) {
  const std::string data = Text(50000, 6);
  // Level 0 stores: one stored block (header byte, LEN, NLEN) holds the data verbatim.
  const std::string stored = CompressString(data.substr(0, 1000), clNone);
  EXPECT_EQ(stored.size(), 1000u + 2 + 5 + 4);
  EXPECT_EQ(stored.substr(7, 1000), data.substr(0, 1000));
  const size_t fastest = CompressString(data, clFastest).size();
  const size_t best = CompressString(data, clBest).size();
  EXPECT_LT(fastest, data.size() / 2);
  EXPECT_LE(best, fastest);
}

TEST(ZLibCompress, UnknownLevelRaisesACompressionError) {
  try {
    CompressString("x", static_cast<CompressionLevel>(7));
    FAIL() << "no exception";
  } catch (const EZCompressionError& e) {
    EXPECT_STREQ(e.what(), "stream error");  // zlib's text for Z_STREAM_ERROR
    EXPECT_EQ(e.ErrorCode(), -2);
    const EZLibError& base = e;
    EXPECT_EQ(base.ErrorCode(), -2);
  }
  EXPECT_THROW(TDeflater(static_cast<CompressionLevel>(-1)), EZLibError);
}

TEST(ZLibDecompress, EmptyInputGivesEmptyOutput) {
  EXPECT_EQ(DecompressString(""), "");
  InflateState state;
  EXPECT_EQ(InflateInPieces("", 1, &state), "");
  EXPECT_EQ(state, InflateState::kMore);
}

TEST(ZLibDecompress, CutStreamGivesTheContentUpToTheCut) {
  const std::string data = Text(20000, 7);
  const std::string stream = CompressString(data, clDefault);
  size_t previous = 0;
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    const std::string part = stream.substr(0, cut);
    const std::string out = DecompressString(part);
    ASSERT_EQ(out, data.substr(0, out.size())) << "cut " << cut;
    ASSERT_GE(out.size(), previous) << "cut " << cut;
    previous = out.size();
    // Once only (part of) the Adler-32 is missing, the whole content has come out.
    if (cut >= stream.size() - 4) {
      EXPECT_EQ(out, data) << "cut " << cut;
    }
    if (cut < stream.size() && (cut % 97 == 0 || cut == stream.size() - 1)) {
      InflateState state;
      EXPECT_EQ(InflateInPieces(part, static_cast<unsigned>(cut), &state), out);
      EXPECT_EQ(state, InflateState::kMore) << "cut " << cut;
    }
  }
  EXPECT_GT(DecompressString(stream.substr(0, stream.size() / 2)).size(), 0u);
}

TEST(ZLibDecompress, CutStoredStreamGivesExactlyTheBytesBeforeTheCut) {
  const std::string data = RandomBytes(3000, 8);
  const std::string stream = CompressString(data, clNone);  // 2 + 5 header bytes, then data
  for (size_t m : {0u, 1u, 100u, 2999u}) {
    EXPECT_EQ(DecompressString(stream.substr(0, 7 + m)), data.substr(0, m)) << m;
  }
}

TEST(ZLibDecompress, DamagedStreamEndsTheOutputWithoutException) {
  const std::string data = RandomBytes(3000, 9);
  const std::string stream = CompressString(data, clNone);
  struct Case {
    const char* what;
    std::string input;
    std::string expected;
    InflateState state;
  };
  std::vector<Case> cases;
  {
    std::string s = stream;
    s[0] = 0;  // not a zlib header
    cases.push_back({"header", s, "", InflateState::kError});
  }
  {
    std::string s = stream;
    s[5] ^= 0x01;  // NLEN no longer the complement of LEN
    cases.push_back({"stored lengths", s, "", InflateState::kError});
  }
  {
    std::string s = stream;
    s[s.size() - 1] ^= 0x55;  // Adler-32 mismatch: content already out
    cases.push_back({"check value", s, data, InflateState::kError});
  }
  {
    std::string s = stream;
    std::string d = data;
    s[7 + 1234] ^= 0x20;  // inside stored data: only the check value reveals it
    d[1234] ^= 0x20;
    cases.push_back({"stored byte", s, d, InflateState::kError});
  }
  // A preset dictionary (FDICT) that nobody can supply.
  cases.push_back(
      {"dictionary", std::string("\x78\xBB\0\0\0\1\x03\0", 8), "", InflateState::kError});
  for (const Case& c : cases) {
    EXPECT_EQ(DecompressString(c.input), c.expected) << c.what;
    InflateState state;
    EXPECT_EQ(InflateInPieces(c.input, 11, &state), c.expected) << c.what;
    EXPECT_EQ(state, c.state) << c.what;
  }
}

TEST(ZLibDecompress, StopsAtTheEndOfTheStream) {
  const std::string data = Text(5000, 10);
  const std::string stream = CompressString(data, clBest) + "trailing bytes";
  EXPECT_EQ(DecompressString(stream), data);
  InflateState state;
  EXPECT_EQ(InflateInPieces(stream, 12, &state), data);
  EXPECT_EQ(state, InflateState::kEnd);
}

TEST(ZLibDecompress, GarbageNeverThrowsAndStreamingAgrees) {
  std::mt19937 gen(13);
  const std::string valid = CompressString(Text(4000, 14), clDefault);
  for (int i = 0; i < 300; ++i) {
    std::string input;
    if (i % 2) {
      input = RandomBytes(gen() % 2000, static_cast<unsigned>(i));
      if (input.size() >= 2) input[0] = 0x78, input[1] = 0x9C;  // get past the header
    } else {
      input = valid;
      for (int k = 0; k < 3; ++k) input[gen() % input.size()] = static_cast<char>(gen());
    }
    std::string whole;
    ASSERT_NO_THROW(whole = DecompressString(input)) << i;
    InflateState state;
    EXPECT_EQ(InflateInPieces(input, static_cast<unsigned>(i), &state), whole) << i;
  }
}

TEST(ZLibInflater, HighlyCompressedStreamComesOutInBoundedPieces) {
  const std::string zeros(20 << 20, '\0');
  const std::string stream = CompressString(zeros, clBest);
  ASSERT_LT(stream.size(), 100000u);
  TInflater inflater;
  size_t total = 0, largest = 0;
  bool all_zero = true;
  const ZSink sink = [&](const char* p, size_t n) {
    total += n;
    largest = std::max(largest, n);
    for (size_t i = 0; i < n; ++i) all_zero = all_zero && p[i] == 0;
  };
  EXPECT_EQ(inflater.Write(stream.data(), stream.size(), sink), InflateState::kEnd);
  EXPECT_EQ(total, zeros.size());
  EXPECT_LE(largest, 64u * 1024);
  EXPECT_TRUE(all_zero);
  EXPECT_EQ(DecompressString(stream).size(), zeros.size());
  // Input after the end is ignored.
  EXPECT_EQ(inflater.Write("xyz", 3, sink), InflateState::kEnd);
  EXPECT_EQ(total, zeros.size());
}

TEST(ZLibDeflater, PiecesMakeOneStreamThatInflatesToTheInput) {
  const std::string data = Text(200000, 15) + RandomBytes(50000, 16);
  for (CompressionLevel level : kLevels) {
    TDeflater deflater(level);
    std::string stream;
    const ZSink sink = [&stream](const char* p, size_t n) { stream.append(p, n); };
    std::mt19937 gen(17);
    for (size_t pos = 0; pos < data.size();) {
      const size_t n = std::min<size_t>(gen() % 20000, data.size() - pos);
      deflater.Write(data.data() + pos, n, sink);
      pos += n;
    }
    deflater.Finish(sink);
    EXPECT_EQ(DecompressString(stream), data) << level;
    EXPECT_EQ(TrailerOf(stream), Adler32(data)) << level;
    EXPECT_THROW(deflater.Write("a", 1, sink), EZCompressionError);
  }
  TDeflater empty;
  std::string stream;
  empty.Finish([&stream](const char* p, size_t n) { stream.append(p, n); });
  EXPECT_EQ(stream, CompressString(""));
}

}  // namespace
}  // namespace archive

#include "archive/crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "archive/archive_builder.h"

namespace archive {
namespace {

// Bit-at-a-time CRC straight from the definition (reflected polynomial 0xEDB88320), as an
// oracle for the table-driven update.
uint32_t BitwiseUpdate(uint32_t crc, const std::string& data) {
  for (unsigned char c : data) {
    crc ^= c;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0u);
  }
  return crc;
}

using archive_test::RandomBytes;

TEST(Crc32, PublishedCheckValues) {
  // CRC-32/ISO-HDLC check value from the CRC catalogue (Greg Cook, "reveng"): "123456789".
  EXPECT_EQ(StringCRC32("123456789"), 0xCBF43926u);
  // Standard example: "abc".
  EXPECT_EQ(StringCRC32("abc"), 0x352441C2u);
  EXPECT_EQ(StringCRC32(""), 0u);
  // Standard example: "The quick brown fox jumps over the lazy dog" (as in zlib's and
  // Wikipedia's CRC-32 examples).
  EXPECT_EQ(StringCRC32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

TEST(Crc32, UpdateHasNoInversionsAndMatchesTheBitwiseDefinition) {
  const std::string data = RandomBytes(1000, 1);
  for (uint32_t start : {0u, 0xFFFFFFFFu, 0x12345678u}) {
    EXPECT_EQ(UpdateCRC32(start, data.data(), data.size()), BitwiseUpdate(start, data)) << start;
  }
  // A zero register over zero bytes stays zero: no inversion hidden in the update.
  const std::string zeros(16, '\0');
  EXPECT_EQ(UpdateCRC32(0, zeros.data(), zeros.size()), 0u);
  EXPECT_EQ(UpdateCRC32(0xABCDEF01u, nullptr, 0), 0xABCDEF01u);
  EXPECT_EQ(StringCRC32(data), ~BitwiseUpdate(0xFFFFFFFFu, data));
}

TEST(Crc32, PiecesGiveTheSameChecksumAsTheWhole) {
  const std::string data = RandomBytes(100000, 2);
  std::mt19937 gen(3);
  TCRC32 crc;
  for (size_t pos = 0; pos < data.size();) {
    const size_t n = std::min<size_t>(gen() % 5000, data.size() - pos);
    crc.Update(data.data() + pos, n);
    pos += n;
  }
  EXPECT_EQ(crc.Value(), StringCRC32(data));
  TCRC32 empty;
  EXPECT_EQ(empty.Value(), 0u);
}

}  // namespace
}  // namespace archive

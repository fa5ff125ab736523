// Known answers of the block functions, and NewDES against its published definition.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/test_bytes.h"
#include "crypto/blowfish.h"
#include "crypto/cast256.h"
#include "crypto/newdes.h"

namespace crypto {
namespace {

using test_bytes::Hex;

std::string Encipher(TCipher& cipher, const std::string& key, const std::string& plain) {
  cipher.Init(key.data(), key.size());
  std::string block = plain;
  cipher.EncipherBlock(block.data());
  return block;
}

std::string Decipher(TCipher& cipher, const std::string& key, const std::string& enciphered) {
  cipher.Init(key.data(), key.size());
  std::string block = enciphered;
  cipher.DecipherBlock(block.data());
  return block;
}

struct Vector {
  const char* key;
  const char* plain;
  const char* cipher;
};

TEST(Cast256, Rfc2612AppendixAVectors) {
  // RFC 2612, Appendix A: 128-, 192- and 256-bit keys, zero plaintext.
  const Vector vectors[] = {
      {"2342bb9efa38542c0af75647f29f615d", "00000000000000000000000000000000",
       "c842a08972b43d20836c91d1b7530f6b"},
      {"2342bb9efa38542cbed0ac83940ac298bac77a7717942863", "00000000000000000000000000000000",
       "1b386c0210dcadcbdd0e41aa08a7a7e8"},
      {"2342bb9efa38542cbed0ac83940ac2988d7c47ce264908461cc1b5137ae6b604",
       "00000000000000000000000000000000", "4f6a2038286897b9c9870136553317fa"},
  };
  TCipher_Cast256 cipher;
  for (const Vector& v : vectors) {
    EXPECT_EQ(Encipher(cipher, Hex(v.key), Hex(v.plain)), Hex(v.cipher)) << v.key;
    EXPECT_EQ(Decipher(cipher, Hex(v.key), Hex(v.cipher)), Hex(v.plain)) << v.key;
  }
}

TEST(Cast256, ShortKeysArePaddedWithZerosAndLongKeysCut) {
  // A 160-bit key, the length InitKey gives: value computed with Botan 2.19's CAST-256, an
  // independent implementation of RFC 2612.
  const std::string key = Hex("0123456789abcdef0123456789abcdef01234567");
  std::string plain;
  for (int i = 0; i < 16; ++i) plain += static_cast<char>(i);
  TCipher_Cast256 cipher;
  EXPECT_EQ(Encipher(cipher, key, plain), Hex("a80ed01bb694dc28e0d5453b6363680c"));
  EXPECT_EQ(Encipher(cipher, key + std::string(12, '\0'), plain),
            Hex("a80ed01bb694dc28e0d5453b6363680c"));
  // The RFC's 256-bit key with surplus bytes: only the first 32 count.
  const std::string key256 =
      Hex("2342bb9efa38542cbed0ac83940ac2988d7c47ce264908461cc1b5137ae6b604");
  EXPECT_EQ(Encipher(cipher, key256 + "surplus", std::string(16, '\0')),
            Hex("4f6a2038286897b9c9870136553317fa"));
}

TEST(Blowfish, AuthorsPublishedEcbVectors) {
  // Rows of the ECB table in Eric Young's Blowfish test vectors, as published with the
  // algorithm by Bruce Schneier (vectors.txt).
  const Vector vectors[] = {
      {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
      {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
      {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
      {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
      {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
      {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
      {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
      {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
  };
  TCipher_Blowfish cipher;
  for (const Vector& v : vectors) {
    EXPECT_EQ(Encipher(cipher, Hex(v.key), Hex(v.plain)), Hex(v.cipher)) << v.key;
    EXPECT_EQ(Decipher(cipher, Hex(v.key), Hex(v.cipher)), Hex(v.plain)) << v.key;
  }
}

TEST(Blowfish, KeysOfEveryLengthAreRepeatedOverThePArray) {
  // Eric Young's set_key table (same source): the first 1..24 bytes of one key, plaintext
  // FEDCBA9876543210.
  const std::string key = Hex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
  const char* const expected[] = {
      "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
      "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
      "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
      "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
      "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
      "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080"};
  TCipher_Blowfish cipher;
  for (size_t n = 1; n <= 24; ++n) {
    EXPECT_EQ(Encipher(cipher, key.substr(0, n), Hex("FEDCBA9876543210")), Hex(expected[n - 1]))
        << n << " key bytes";
  }
}

// NewDES as Scott published it (Cryptologia, 1985), written plainly: eight rounds of seven
// key bytes and a final half round of four, the 15 key bytes taken in turn; deciphering
// applies the inverse steps in reverse order with the same key bytes. No published known-answer
// vector is at hand, so the class is checked against this definition.
void ReferenceNewDes(const uint8_t key[15], uint8_t b[8], bool decipher) {
  const uint8_t* f = kNewDesF;
  auto k = [key](int i) { return key[i % 15]; };
  if (!decipher) {
    for (int r = 0; r < 8; ++r) {
      const int i = 7 * r;
      b[4] ^= f[b[0] ^ k(i)];
      b[5] ^= f[b[1] ^ k(i + 1)];
      b[6] ^= f[b[2] ^ k(i + 2)];
      b[7] ^= f[b[3] ^ k(i + 3)];
      b[1] ^= f[b[4] ^ k(i + 4)];
      b[2] ^= f[b[4] ^ b[5]];
      b[3] ^= f[b[6] ^ k(i + 5)];
      b[0] ^= f[b[7] ^ k(i + 6)];
    }
    for (int j = 0; j < 4; ++j) b[4 + j] ^= f[b[j] ^ k(56 + j)];
    return;
  }
  for (int j = 3; j >= 0; --j) b[4 + j] ^= f[b[j] ^ k(56 + j)];
  for (int r = 7; r >= 0; --r) {
    const int i = 7 * r;
    b[0] ^= f[b[7] ^ k(i + 6)];
    b[3] ^= f[b[6] ^ k(i + 5)];
    b[2] ^= f[b[4] ^ b[5]];
    b[1] ^= f[b[4] ^ k(i + 4)];
    b[7] ^= f[b[3] ^ k(i + 3)];
    b[6] ^= f[b[2] ^ k(i + 2)];
    b[5] ^= f[b[1] ^ k(i + 1)];
    b[4] ^= f[b[0] ^ k(i)];
  }
}

TEST(NewDes, SubstitutionIsAPermutation) {
  std::vector<int> seen(256, 0);
  for (int i = 0; i < 256; ++i) ++seen[kNewDesF[i]];
  for (int v = 0; v < 256; ++v) EXPECT_EQ(seen[v], 1) << v;
}

TEST(NewDes, FollowsThePublishedRoundStructureInBothDirections) {
  std::mt19937 gen(1);
  TCipher_NewDES cipher;
  for (int trial = 0; trial < 200; ++trial) {
    uint8_t key[15], block[8];
    for (auto& b : key) b = static_cast<uint8_t>(gen());
    for (auto& b : block) b = static_cast<uint8_t>(gen());
    cipher.Init(key, sizeof key);

    uint8_t expected[8], actual[8];
    std::memcpy(expected, block, 8);
    ReferenceNewDes(key, expected, false);
    std::memcpy(actual, block, 8);
    cipher.EncipherBlock(actual);
    ASSERT_EQ(std::memcmp(actual, expected, 8), 0) << trial;

    ReferenceNewDes(key, expected, true);
    ASSERT_EQ(std::memcmp(expected, block, 8), 0) << "reference inverse, trial " << trial;
    cipher.DecipherBlock(actual);
    ASSERT_EQ(std::memcmp(actual, block, 8), 0) << trial;
  }
}

TEST(NewDes, ShortKeysArePaddedWithZerosAndLongKeysCut) {
  const std::string key15("0123456789\0\0\0\0\0", 15);
  const std::string plain = "8 bytes!";
  TCipher_NewDES cipher;
  const std::string expected = Encipher(cipher, key15, plain);
  EXPECT_EQ(Encipher(cipher, "0123456789", plain), expected);
  EXPECT_EQ(Encipher(cipher, key15 + "XYZ", plain), expected);
  EXPECT_NE(Encipher(cipher, "0123456788", plain), expected);
}

}  // namespace
}  // namespace crypto

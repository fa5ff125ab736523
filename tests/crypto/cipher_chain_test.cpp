// The framework around the block functions: key set-up from a string, mode-0 chaining with
// its final partial block, chain state between calls, and use without a key.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "common/test_bytes.h"
#include "crypto/blowfish.h"
#include "crypto/cast256.h"
#include "crypto/cipher.h"
#include "crypto/newdes.h"

namespace crypto {
namespace {

using test_bytes::Hex;
using test_bytes::RandomBytes;

std::string Bytes(const uint8_t* p, int n) {
  return std::string(reinterpret_cast<const char*>(p), n);
}

using Factory = std::function<std::unique_ptr<TCipher>()>;

struct CipherCase {
  const char* name;
  Factory make;
};

const CipherCase kCiphers[] = {
    {"TCipher_Cast256", [] { return std::unique_ptr<TCipher>(new TCipher_Cast256); }},
    {"TCipher_Blowfish", [] { return std::unique_ptr<TCipher>(new TCipher_Blowfish); }},
    {"TCipher_NewDES", [] { return std::unique_ptr<TCipher>(new TCipher_NewDES); }},
};

std::string Xor(const std::string& a, const std::string& b) {
  std::string r = a;
  for (size_t i = 0; i < r.size(); ++i) r[i] ^= b[i];
  return r;
}

// Mode 0 written out from its definition on top of the raw block function:
//   whole block: Y = E(P xor FB), FB = Y xor FB;  final part: T = E(FB), out = in xor T,
//   FB = T xor FB. Deciphering: P = D(Y) xor FB, FB = Y xor FB.
// `fb` holds the chain state before and after.
std::string ReferenceMode0(const TCipher& cipher, std::string& fb, const std::string& in,
                           bool decipher) {
  const size_t b = fb.size();
  std::string out;
  size_t pos = 0;
  for (; pos + b <= in.size(); pos += b) {
    const std::string block = in.substr(pos, b);
    if (decipher) {
      std::string x = block;
      cipher.DecipherBlock(x.data());
      out += Xor(x, fb);
      fb = Xor(block, fb);
    } else {
      std::string y = Xor(block, fb);
      cipher.EncipherBlock(y.data());
      out += y;
      fb = Xor(y, fb);
    }
  }
  if (pos < in.size()) {
    std::string t = fb;
    cipher.EncipherBlock(t.data());
    out += Xor(in.substr(pos), t);
    fb = Xor(t, fb);
  }
  return out;
}

TEST(CipherChain, Mode0MatchesItsDefinitionForEveryLength) {
  for (const CipherCase& c : kCiphers) {
    auto cipher = c.make();
    cipher->InitKey("chain test");
    const int b = cipher->BlockLength();
    const std::string iv = Bytes(cipher->InitVector(), b);
    for (size_t n = 0; n <= static_cast<size_t>(4 * b + 1); ++n) {
      const std::string plain = RandomBytes(n, static_cast<unsigned>(n));
      const std::string enciphered = cipher->EncipherString(plain);
      ASSERT_EQ(enciphered.size(), n);
      std::string fb = iv;
      EXPECT_EQ(enciphered, ReferenceMode0(*cipher, fb, plain, false)) << c.name << " " << n;
      // The chain state carried to the next call, final part included.
      EXPECT_EQ(Bytes(cipher->ChainBlock(), b), fb) << c.name << " " << n;
      cipher->ResetChain();
      EXPECT_EQ(cipher->DecipherString(enciphered), plain) << c.name << " " << n;
      fb = iv;
      EXPECT_EQ(ReferenceMode0(*cipher, fb, enciphered, true), plain) << c.name << " " << n;
      EXPECT_EQ(Bytes(cipher->ChainBlock(), b), fb) << c.name << " " << n;
      cipher->ResetChain();
      // The work block is left cleared after every operation.
      EXPECT_EQ(Bytes(cipher->WorkBlock(), b), std::string(b, '\0')) << c.name;
    }
  }
}

TEST(CipherChain, IndependentlyComputedMessages) {
  // Values from a separate computation: SHA-1 (Python hashlib), the block function of Botan
  // 2.19 and mode 0 as defined above. Key string "password", no vector given; the message is
  // 43 bytes (two CAST-256 blocks or five Blowfish blocks and a final part).
  const std::string message = "The quick brown fox jumps over the lazy dog";
  TCipher_Cast256 cast;
  cast.InitKey("password");
  EXPECT_EQ(cast.EncipherString(message),
            Hex("1af1f17b193382311884a7eed45a3cd240858a017d5ebe6f04ba1ff9c1e450f5cfddd7b27134c2"
                "99230f31"));
  cast.ResetChain();
  EXPECT_EQ(cast.EncipherString("abc"), Hex("565abd"));

  TCipher_Blowfish blowfish;
  blowfish.InitKey("password");
  EXPECT_EQ(blowfish.EncipherString(message),
            Hex("e53faec13b8258ecdf9d31c53471f8effce2d5b12e3e96c56323bb2b867487b280f98f883ebf2b"
                "8d0b5dac"));
  blowfish.ResetChain();
  EXPECT_EQ(blowfish.EncipherString("abc"), Hex("8f6854"));
}

TEST(CipherKeySetup, InitKeyDerivesTheVectorFromTheHashedKey) {
  // IV = E(K, 0xFF...) with K the first MaxKeyLength bytes of SHA-1 of the key string; values
  // from hashlib and Botan 2.19 as above. The empty string hashes zero bytes.
  const struct {
    std::function<std::unique_ptr<TCipher>()> make;
    const char* key;
    const char* iv;
  } cases[] = {
      {kCiphers[0].make, "password", "10e099117fe7a6d11f6fbb49027090aa"},
      {kCiphers[0].make, "", "58b43ece9595fc91dd390e02320e6943"},
      {kCiphers[1].make, "password", "78e52cc159cdfb58"},
      {kCiphers[1].make, "", "c34ab87c500b4a92"},
  };
  for (const auto& c : cases) {
    auto cipher = c.make();
    cipher->InitKey(c.key);
    const int b = cipher->BlockLength();
    EXPECT_EQ(Bytes(cipher->InitVector(), b), Hex(c.iv)) << cipher->ClassName() << c.key;
    EXPECT_EQ(Bytes(cipher->ChainBlock(), b), Hex(c.iv)) << cipher->ClassName() << c.key;
    EXPECT_TRUE(cipher->StateFlag(TCipher::kFlagKeyed));
    EXPECT_TRUE(cipher->StateFlag(TCipher::kFlagKeyFromString));
  }
}

TEST(CipherKeySetup, GivenVectorIsUsedAsIs) {
  TCipher_Cast256 cipher;
  const std::string iv = "0123456789abcdef";
  cipher.InitKey("password", iv.data());
  EXPECT_EQ(Bytes(cipher.InitVector(), 16), iv);
  EXPECT_EQ(Bytes(cipher.ChainBlock(), 16), iv);
  // The first block is E(P xor IV).
  const std::string plain = "sixteen byte msg";
  std::string expected = Xor(plain, iv);
  cipher.EncipherBlock(expected.data());
  EXPECT_EQ(cipher.EncipherString(plain), expected);
}

TEST(CipherKeySetup, KeyHashClassReplacesSha1AndLongDigestsAreCut) {
  // A hash with a 32-byte digest: NewDES takes its first 15 bytes, CAST-256 all 32.
  const KeyHashFunction wide = [](const std::string& data) {
    std::string d(32, '\0');
    for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<char>(i * 7 + data.size());
    return d;
  };
  const std::string digest = wide("k");
  for (const CipherCase& c : kCiphers) {
    auto by_string = c.make();
    by_string->SetKeyHashClass(wide);
    by_string->InitKey("k");
    auto by_bytes = c.make();
    by_bytes->Init(digest.data(), std::min<size_t>(digest.size(), by_bytes->MaxKeyLength()));
    const int b = by_string->BlockLength();
    EXPECT_EQ(Bytes(by_string->InitVector(), b), Bytes(by_bytes->InitVector(), b)) << c.name;
    const std::string plain = RandomBytes(50, 1);
    EXPECT_EQ(by_string->EncipherString(plain), by_bytes->EncipherString(plain)) << c.name;
    EXPECT_TRUE(by_string->StateFlag(TCipher::kFlagKeyFromString));
    EXPECT_FALSE(by_bytes->StateFlag(TCipher::kFlagKeyFromString));
  }
}

TEST(CipherChain, ResetChainMakesMessagesIndependent) {
  for (const CipherCase& c : kCiphers) {
    auto packer = c.make();
    packer->InitKey("archive password");
    const std::string first = RandomBytes(1000, 1), second = RandomBytes(37, 2);
    const std::string first_enc = packer->EncipherString(first);
    packer->ResetChain();
    const std::string second_enc = packer->EncipherString(second);
    packer->ResetChain();
    // The same message enciphers the same way each time.
    EXPECT_EQ(packer->EncipherString(first), first_enc) << c.name;
    packer->ResetChain();

    auto reader = c.make();
    reader->InitKey("archive password");
    EXPECT_EQ(reader->DecipherString(second_enc), second) << c.name;
    reader->ResetChain();
    EXPECT_EQ(reader->DecipherString(first_enc), first) << c.name;
    reader->ResetChain();

    // Without ResetChain the chain carries on and the next message comes out differently.
    reader->DecipherString(first_enc);
    EXPECT_NE(reader->DecipherString(second_enc), second) << c.name;
  }
}

TEST(CipherChain, ChainCarriesOverBetweenCallsSplitAtWholeBlocks) {
  for (const CipherCase& c : kCiphers) {
    auto cipher = c.make();
    cipher->InitKey("split");
    const size_t b = cipher->BlockLength();
    const std::string plain = RandomBytes(50 * b + 3, 3);
    const std::string whole = cipher->EncipherString(plain);
    cipher->ResetChain();
    std::string pieces;
    pieces += cipher->EncipherString(plain.substr(0, 7 * b));
    pieces += cipher->EncipherString(plain.substr(7 * b, 30 * b));
    pieces += cipher->EncipherString(plain.substr(37 * b));
    EXPECT_EQ(pieces, whole) << c.name;
    cipher->ResetChain();
    std::string back;
    back += cipher->DecipherString(whole.substr(0, 20 * b));
    back += cipher->DecipherString(whole.substr(20 * b));
    EXPECT_EQ(back, plain) << c.name;
  }
}

TEST(CipherChain, InPlaceGivesTheSameBytes) {
  for (const CipherCase& c : kCiphers) {
    auto cipher = c.make();
    cipher->InitKey("in place");
    const std::string plain = RandomBytes(77, 4);
    const std::string expected = cipher->EncipherString(plain);
    cipher->ResetChain();
    std::string buffer = plain;
    cipher->EncipherBytes(buffer.data(), buffer.data(), buffer.size());
    EXPECT_EQ(buffer, expected) << c.name;
    cipher->ResetChain();
    cipher->DecipherBytes(buffer.data(), buffer.data(), buffer.size());
    EXPECT_EQ(buffer, plain) << c.name;
  }
}

TEST(CipherChain, RangesDecipherOnTheirOwnFromTheirStartState) {
  for (const CipherCase& c : kCiphers) {
    auto cipher = c.make();
    cipher->InitKey("ranges");
    const size_t b = cipher->BlockLength();
    const size_t blocks = 64;
    const std::string plain = RandomBytes(blocks * b, 5);
    const std::string enciphered = cipher->EncipherString(plain);
    // Start state of each range from the vector and the cipher text before it alone.
    const size_t starts[] = {0, 5, 33, 50, blocks};
    std::string out(plain.size(), '\0');
    for (int r = 3; r >= 0; --r) {  // any order
      std::string chain = Bytes(cipher->InitVector(), b);
      cipher->AdvanceChain(enciphered.data(), starts[r], reinterpret_cast<uint8_t*>(chain.data()));
      const size_t count = starts[r + 1] - starts[r];
      cipher->DecipherBlocks(enciphered.data() + starts[r] * b, out.data() + starts[r] * b, count,
                             reinterpret_cast<uint8_t*>(chain.data()));
    }
    EXPECT_EQ(out, plain) << c.name;
    // The whole-block operation with a caller's chain matches the object's own chaining.
    std::string chain = Bytes(cipher->InitVector(), b);
    std::string again(plain.size(), '\0');
    cipher->EncipherBlocks(plain.data(), again.data(), blocks,
                           reinterpret_cast<uint8_t*>(chain.data()));
    EXPECT_EQ(again, enciphered) << c.name;
  }
}

TEST(CipherState, UseWithoutKeyRaisesCode3) {
  for (const CipherCase& c : kCiphers) {
    auto cipher = c.make();
    const std::string message =
        std::string(c.name) + " is not initialized call Init() or InitKey() before.";
    try {
      cipher->EncipherString("data");
      ADD_FAILURE() << c.name << ": no exception";
    } catch (const ECipherException& e) {
      EXPECT_EQ(e.Code, 3);
      EXPECT_EQ(std::string(e.what()), message);
    }
    std::string buffer = "abc";
    EXPECT_THROW(cipher->DecipherBytes(buffer.data(), buffer.data(), 3), ECipherException);
    EXPECT_THROW(cipher->DecipherString(""), ECipherException);
    uint8_t chain[16] = {};
    EXPECT_THROW(cipher->DecipherBlocks(buffer.data(), buffer.data(), 0, chain), ECipherException);
    EXPECT_EQ(buffer, "abc");
    // Wiping a keyed cipher takes the key away again.
    cipher->InitKey("k");
    EXPECT_NO_THROW(cipher->EncipherString("data"));
    cipher->Wipe();
    EXPECT_THROW(cipher->EncipherString("data"), ECipherException);
  }
}

TEST(CipherState, WipeAndInitSetFlagsAndBuffers) {
  TCipher_Blowfish cipher;
  EXPECT_EQ(cipher.StateFlags(), 0u);
  EXPECT_EQ(Bytes(cipher.InitVector(), 8), std::string(8, '\xFF'));
  EXPECT_EQ(Bytes(cipher.ChainBlock(), 8), std::string(8, '\xFF'));
  cipher.InitKey("key");
  EXPECT_EQ(cipher.StateFlags(), (1u << 9) | 1u);
  cipher.Init("raw key", 7);  // a byte key clears the string flag
  EXPECT_EQ(cipher.StateFlags(), 1u << 9);
  cipher.Wipe();
  EXPECT_EQ(cipher.StateFlags(), 0u);
  EXPECT_EQ(Bytes(cipher.InitVector(), 8), std::string(8, '\xFF'));
  EXPECT_EQ(Bytes(cipher.ChainBlock(), 8), std::string(8, '\xFF'));
  EXPECT_EQ(Bytes(cipher.WorkBlock(), 8), std::string(8, '\0'));
  cipher.SetStateFlag(5, true);
  EXPECT_TRUE(cipher.StateFlag(5));
  cipher.SetStateFlag(5, false);
  EXPECT_EQ(cipher.StateFlags(), 0u);
}

}  // namespace
}  // namespace crypto

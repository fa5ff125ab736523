#include "crypto/blowfish.h"

#include "crypto/blowfish_pi.h"

namespace crypto {

namespace {

// Schedule layout: the 18 subkeys P1..P18, then the four S-boxes of 256 words.
constexpr int kSubkeys = 18;

inline uint32_t F(const uint32_t* s, uint32_t x) {
  return ((s[x >> 24] + s[256 + ((x >> 16) & 0xFF)]) ^ s[512 + ((x >> 8) & 0xFF)]) +
         s[768 + (x & 0xFF)];
}

inline void EncipherHalves(const uint32_t* p, uint32_t& left, uint32_t& right) {
  const uint32_t* s = p + kSubkeys;
  uint32_t l = left, r = right;
  for (int i = 0; i < 16; i += 2) {
    l ^= p[i];
    r ^= F(s, l);
    r ^= p[i + 1];
    l ^= F(s, r);
  }
  left = r ^ p[17];
  right = l ^ p[16];
}

inline void DecipherHalves(const uint32_t* p, uint32_t& left, uint32_t& right) {
  const uint32_t* s = p + kSubkeys;
  uint32_t l = left, r = right;
  for (int i = 17; i > 1; i -= 2) {
    l ^= p[i];
    r ^= F(s, l);
    r ^= p[i - 1];
    l ^= F(s, r);
  }
  left = r ^ p[0];
  right = l ^ p[1];
}

// Two blocks at once, rounds interleaved.
inline void DecipherHalves2(const uint32_t* p, uint32_t* h) {
  const uint32_t* s = p + kSubkeys;
  uint32_t l0 = h[0], r0 = h[1], l1 = h[2], r1 = h[3];
  for (int i = 17; i > 1; i -= 2) {
    l0 ^= p[i];
    l1 ^= p[i];
    r0 ^= F(s, l0);
    r1 ^= F(s, l1);
    r0 ^= p[i - 1];
    r1 ^= p[i - 1];
    l0 ^= F(s, r0);
    l1 ^= F(s, r1);
  }
  h[0] = r0 ^ p[0];
  h[1] = l0 ^ p[1];
  h[2] = r1 ^ p[0];
  h[3] = l1 ^ p[1];
}

inline void Encipher(const uint32_t* schedule, const uint8_t* in, uint8_t* out) {
  uint32_t l = LoadBE32(in), r = LoadBE32(in + 4);
  EncipherHalves(schedule, l, r);
  StoreBE32(out, l);
  StoreBE32(out + 4, r);
}

inline void Decipher(const uint32_t* schedule, const uint8_t* in, uint8_t* out) {
  uint32_t l = LoadBE32(in), r = LoadBE32(in + 4);
  DecipherHalves(schedule, l, r);
  StoreBE32(out, l);
  StoreBE32(out + 4, r);
}

inline void Decipher2(const uint32_t* schedule, const uint8_t* in, uint8_t* out) {
  uint32_t h[4];
  for (int i = 0; i < 4; ++i) h[i] = LoadBE32(in + 4 * i);
  DecipherHalves2(schedule, h);
  for (int i = 0; i < 4; ++i) StoreBE32(out + 4 * i, h[i]);
}

}  // namespace

void TCipher_Blowfish::InitSchedule(const uint8_t* key, size_t length) {
  using blowfish_detail::kInitP;
  using blowfish_detail::kInitS;
  uint32_t* p = ScheduleWords();
  uint32_t* s = p + kSubkeys;
  std::memcpy(p, kInitP, sizeof kInitP);
  std::memcpy(s, kInitS, sizeof kInitS);
  // The key bytes, repeated cyclically, are xored into P1..P18 (an empty key leaves them).
  if (length > 0) {
    size_t k = 0;
    for (int i = 0; i < kSubkeys; ++i) {
      uint32_t word = 0;
      for (int j = 0; j < 4; ++j) {
        word = (word << 8) | key[k];
        k = (k + 1) % length;
      }
      p[i] ^= word;
    }
  }
  // Then P and S are replaced in turn by the encipherment of the running block.
  uint32_t l = 0, r = 0;
  for (int i = 0; i < kSubkeys + 4 * 256; i += 2) {
    EncipherHalves(p, l, r);
    p[i] = l;
    p[i + 1] = r;
  }
}

void TCipher_Blowfish::EncipherBlock(void* block) const {
  auto* b = static_cast<uint8_t*>(block);
  Encipher(ScheduleWords(), b, b);
}

void TCipher_Blowfish::DecipherBlock(void* block) const {
  auto* b = static_cast<uint8_t*>(block);
  Decipher(ScheduleWords(), b, b);
}

void TCipher_Blowfish::EncipherRun(const uint8_t* source, uint8_t* dest, size_t blocks,
                                   uint8_t* chain) const {
  const uint32_t* schedule = ScheduleWords();
  ChainEncipher<8>([schedule](const uint8_t* in, uint8_t* out) { Encipher(schedule, in, out); },
                   source, dest, blocks, chain);
}

void TCipher_Blowfish::DecipherRun(const uint8_t* source, uint8_t* dest, size_t blocks,
                                   uint8_t* chain) const {
  const uint32_t* schedule = ScheduleWords();
  ChainDecipher<8>([schedule](const uint8_t* in, uint8_t* out) { Decipher(schedule, in, out); },
                   [schedule](const uint8_t* in, uint8_t* out) { Decipher2(schedule, in, out); },
                   source, dest, blocks, chain);
}

}  // namespace crypto

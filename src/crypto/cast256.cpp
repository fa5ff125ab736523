#include "crypto/cast256.h"

#include <bit>

#include "crypto/cast256_sboxes.h"

namespace crypto {

namespace {

using cast256_detail::kS;

// Schedule layout: the 48 masking keys Km, then the 48 rotation keys Kr (0..31), four per
// quad-round in the order of the quad-round's four steps.
constexpr int kRoundKeys = 48;

inline uint32_t F1(uint32_t d, uint32_t km, uint32_t kr) {
  const uint32_t i = std::rotl(km + d, static_cast<int>(kr));
  return ((kS[0][i >> 24] ^ kS[1][(i >> 16) & 0xFF]) - kS[2][(i >> 8) & 0xFF]) + kS[3][i & 0xFF];
}

inline uint32_t F2(uint32_t d, uint32_t km, uint32_t kr) {
  const uint32_t i = std::rotl(km ^ d, static_cast<int>(kr));
  return ((kS[0][i >> 24] - kS[1][(i >> 16) & 0xFF]) + kS[2][(i >> 8) & 0xFF]) ^ kS[3][i & 0xFF];
}

inline uint32_t F3(uint32_t d, uint32_t km, uint32_t kr) {
  const uint32_t i = std::rotl(km - d, static_cast<int>(kr));
  return ((kS[0][i >> 24] + kS[1][(i >> 16) & 0xFF]) ^ kS[2][(i >> 8) & 0xFF]) - kS[3][i & 0xFF];
}

struct Block {
  uint32_t a, b, c, d;
};

// Forward quad-round Q(i).
inline void Q(Block& x, const uint32_t* km, const uint32_t* kr) {
  x.c ^= F1(x.d, km[0], kr[0]);
  x.b ^= F2(x.c, km[1], kr[1]);
  x.a ^= F3(x.b, km[2], kr[2]);
  x.d ^= F1(x.a, km[3], kr[3]);
}

// Reverse quad-round QBAR(i): the inverse of Q(i).
inline void QBar(Block& x, const uint32_t* km, const uint32_t* kr) {
  x.d ^= F1(x.a, km[3], kr[3]);
  x.a ^= F3(x.b, km[2], kr[2]);
  x.b ^= F2(x.c, km[1], kr[1]);
  x.c ^= F1(x.d, km[0], kr[0]);
}

inline Block Load(const uint8_t* p) {
  return {LoadBE32(p), LoadBE32(p + 4), LoadBE32(p + 8), LoadBE32(p + 12)};
}

inline void Store(uint8_t* p, const Block& x) {
  StoreBE32(p, x.a);
  StoreBE32(p + 4, x.b);
  StoreBE32(p + 8, x.c);
  StoreBE32(p + 12, x.d);
}

inline void Encipher(const uint32_t* schedule, const uint8_t* in, uint8_t* out) {
  const uint32_t* km = schedule;
  const uint32_t* kr = schedule + kRoundKeys;
  Block x = Load(in);
  for (int i = 0; i < 6; ++i) Q(x, km + 4 * i, kr + 4 * i);
  for (int i = 6; i < 12; ++i) QBar(x, km + 4 * i, kr + 4 * i);
  Store(out, x);
}

// The quad-round keys in reverse order undo the cipher.
inline void Decipher(const uint32_t* schedule, const uint8_t* in, uint8_t* out) {
  const uint32_t* km = schedule;
  const uint32_t* kr = schedule + kRoundKeys;
  Block x = Load(in);
  for (int i = 11; i >= 6; --i) Q(x, km + 4 * i, kr + 4 * i);
  for (int i = 5; i >= 0; --i) QBar(x, km + 4 * i, kr + 4 * i);
  Store(out, x);
}

inline void Decipher2(const uint32_t* schedule, const uint8_t* in, uint8_t* out) {
  const uint32_t* km = schedule;
  const uint32_t* kr = schedule + kRoundKeys;
  Block x = Load(in);
  Block z = Load(in + 16);
  for (int i = 11; i >= 6; --i) {
    Q(x, km + 4 * i, kr + 4 * i);
    Q(z, km + 4 * i, kr + 4 * i);
  }
  for (int i = 5; i >= 0; --i) {
    QBar(x, km + 4 * i, kr + 4 * i);
    QBar(z, km + 4 * i, kr + 4 * i);
  }
  Store(out, x);
  Store(out + 16, z);
}

}  // namespace

void TCipher_Cast256::InitSchedule(const uint8_t* key, size_t length) {
  // A shorter key is padded with zero bytes to 256 bits.
  uint8_t padded[32] = {};
  std::memcpy(padded, key, length);
  uint32_t k[8];  // kappa = ABCDEFGH
  for (int i = 0; i < 8; ++i) k[i] = LoadBE32(padded + 4 * i);

  uint32_t cm = 0x5A827999;
  uint32_t cr = 19;
  uint32_t* km = ScheduleWords();
  uint32_t* kr = km + kRoundKeys;
  for (int i = 0; i < 12; ++i) {
    for (int half = 0; half < 2; ++half) {  // W(2i), W(2i+1)
      uint32_t tm[8], tr[8];
      for (int j = 0; j < 8; ++j) {
        tm[j] = cm;
        cm += 0x6ED9EBA1;
        tr[j] = cr;
        cr = (cr + 17) & 31;
      }
      k[6] ^= F1(k[7], tm[0], tr[0]);  // G ^= f1(H)
      k[5] ^= F2(k[6], tm[1], tr[1]);  // F ^= f2(G)
      k[4] ^= F3(k[5], tm[2], tr[2]);  // E ^= f3(F)
      k[3] ^= F1(k[4], tm[3], tr[3]);  // D ^= f1(E)
      k[2] ^= F2(k[3], tm[4], tr[4]);  // C ^= f2(D)
      k[1] ^= F3(k[2], tm[5], tr[5]);  // B ^= f3(C)
      k[0] ^= F1(k[1], tm[6], tr[6]);  // A ^= f1(B)
      k[7] ^= F2(k[0], tm[7], tr[7]);  // H ^= f2(A)
    }
    // Kr(i) = 5 low bits of A, C, E, G; Km(i) = H, F, D, B.
    kr[4 * i + 0] = k[0] & 31;
    kr[4 * i + 1] = k[2] & 31;
    kr[4 * i + 2] = k[4] & 31;
    kr[4 * i + 3] = k[6] & 31;
    km[4 * i + 0] = k[7];
    km[4 * i + 1] = k[5];
    km[4 * i + 2] = k[3];
    km[4 * i + 3] = k[1];
  }
  SecureFill(padded, 0, sizeof padded);
  SecureFill(k, 0, sizeof k);
}

void TCipher_Cast256::EncipherBlock(void* block) const {
  auto* p = static_cast<uint8_t*>(block);
  Encipher(ScheduleWords(), p, p);
}

void TCipher_Cast256::DecipherBlock(void* block) const {
  auto* p = static_cast<uint8_t*>(block);
  Decipher(ScheduleWords(), p, p);
}

void TCipher_Cast256::EncipherRun(const uint8_t* source, uint8_t* dest, size_t blocks,
                                  uint8_t* chain) const {
  const uint32_t* schedule = ScheduleWords();
  ChainEncipher<16>([schedule](const uint8_t* in, uint8_t* out) { Encipher(schedule, in, out); },
                    source, dest, blocks, chain);
}

void TCipher_Cast256::DecipherRun(const uint8_t* source, uint8_t* dest, size_t blocks,
                                  uint8_t* chain) const {
  const uint32_t* schedule = ScheduleWords();
  ChainDecipher<16>([schedule](const uint8_t* in, uint8_t* out) { Decipher(schedule, in, out); },
                    [schedule](const uint8_t* in, uint8_t* out) { Decipher2(schedule, in, out); },
                    source, dest, blocks, chain);
}

}  // namespace crypto

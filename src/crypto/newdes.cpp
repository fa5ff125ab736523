#include "crypto/newdes.h"

namespace crypto {

// The published table of f.
const uint8_t kNewDesF[256] = {
    32,  137, 239, 188, 102, 125, 221, 72,  212, 68,  81,  37,  86,  237, 147, 149, 70,  229, 17,
    124, 115, 207, 33,  20,  122, 143, 25,  215, 51,  183, 138, 142, 146, 211, 110, 173, 1,   228,
    189, 14,  103, 78,  162, 36,  253, 167, 116, 255, 158, 45,  185, 50,  98,  168, 250, 235, 54,
    141, 195, 247, 240, 63,  148, 2,   224, 169, 214, 180, 62,  22,  117, 108, 19,  172, 161, 159,
    160, 47,  43,  171, 194, 175, 178, 56,  196, 112, 23,  220, 89,  21,  164, 130, 157, 8,   85,
    251, 216, 44,  94,  179, 226, 38,  90,  119, 40,  202, 34,  206, 35,  69,  231, 246, 29,  109,
    74,  71,  176, 6,   60,  145, 65,  13,  77,  151, 12,  127, 95,  199, 57,  101, 5,   232, 150,
    210, 129, 24,  181, 10,  121, 187, 48,  193, 139, 252, 219, 64,  88,  233, 96,  128, 80,  53,
    191, 144, 218, 11,  106, 132, 155, 104, 91,  136, 31,  42,  243, 66,  126, 135, 30,  26,  87,
    186, 182, 154, 242, 123, 82,  166, 208, 39,  152, 190, 113, 205, 114, 105, 225, 84,  73,  163,
    99,  111, 204, 61,  200, 217, 170, 15,  198, 28,  192, 254, 134, 234, 222, 7,   236, 248, 201,
    41,  177, 156, 92,  131, 67,  249, 245, 184, 203, 9,   241, 0,   27,  46,  133, 174, 75,  18,
    93,  209, 100, 120, 76,  213, 16,  83,  4,   107, 140, 52,  58,  55,  3,   244, 97,  197, 238,
    227, 118, 49,  79,  230, 223, 165, 153, 59,
};

namespace {

// Schedule layout: 60 key bytes for enciphering, then 60 for deciphering. Both directions run
// the same eight rounds of seven key bytes and a final half round of four.
constexpr int kScheduleBytes = 60;

inline void Crypt(const uint8_t* k, const uint8_t* in, uint8_t* out) {
  const uint8_t* f = kNewDesF;
  uint8_t b0 = in[0], b1 = in[1], b2 = in[2], b3 = in[3];
  uint8_t b4 = in[4], b5 = in[5], b6 = in[6], b7 = in[7];
  for (int round = 0; round < 8; ++round, k += 7) {
    b4 ^= f[b0 ^ k[0]];
    b5 ^= f[b1 ^ k[1]];
    b6 ^= f[b2 ^ k[2]];
    b7 ^= f[b3 ^ k[3]];
    b1 ^= f[b4 ^ k[4]];
    b2 ^= f[b4 ^ b5];
    b3 ^= f[b6 ^ k[5]];
    b0 ^= f[b7 ^ k[6]];
  }
  b4 ^= f[b0 ^ k[0]];
  b5 ^= f[b1 ^ k[1]];
  b6 ^= f[b2 ^ k[2]];
  b7 ^= f[b3 ^ k[3]];
  out[0] = b0, out[1] = b1, out[2] = b2, out[3] = b3;
  out[4] = b4, out[5] = b5, out[6] = b6, out[7] = b7;
}

}  // namespace

void TCipher_NewDES::InitSchedule(const uint8_t* key, size_t length) {
  // A shorter key is padded with zero bytes to 15.
  uint8_t padded[15] = {};
  std::memcpy(padded, key, length);
  uint8_t* enc = ScheduleBytes();
  uint8_t* dec = enc + kScheduleBytes;
  // Enciphering takes the 15 key bytes over and over.
  for (int i = 0; i < kScheduleBytes; ++i) enc[i] = padded[i % 15];
  // Deciphering undoes the steps in reverse: its round r first undoes the first half of
  // enciphering round 8 - r (round 8 being the final half round), then the second half of
  // round 7 - r; its final half round undoes the first half of round 0.
  for (int r = 0; r < 8; ++r) {
    for (int j = 0; j < 4; ++j) dec[7 * r + j] = enc[7 * (8 - r) + j];
    for (int j = 4; j < 7; ++j) dec[7 * r + j] = enc[7 * (7 - r) + j];
  }
  for (int j = 0; j < 4; ++j) dec[56 + j] = enc[j];
  SecureFill(padded, 0, sizeof padded);
}

void TCipher_NewDES::EncipherBlock(void* block) const {
  auto* b = static_cast<uint8_t*>(block);
  Crypt(ScheduleBytes(), b, b);
}

void TCipher_NewDES::DecipherBlock(void* block) const {
  auto* b = static_cast<uint8_t*>(block);
  Crypt(ScheduleBytes() + kScheduleBytes, b, b);
}

void TCipher_NewDES::EncipherRun(const uint8_t* source, uint8_t* dest, size_t blocks,
                                 uint8_t* chain) const {
  const uint8_t* k = ScheduleBytes();
  ChainEncipher<8>([k](const uint8_t* in, uint8_t* out) { Crypt(k, in, out); }, source, dest,
                   blocks, chain);
}

void TCipher_NewDES::DecipherRun(const uint8_t* source, uint8_t* dest, size_t blocks,
                                 uint8_t* chain) const {
  const uint8_t* k = ScheduleBytes() + kScheduleBytes;
  ChainDecipher<8>([k](const uint8_t* in, uint8_t* out) { Crypt(k, in, out); },
                   [k](const uint8_t* in, uint8_t* out) {
                     Crypt(k, in, out);
                     Crypt(k, in + 8, out + 8);
                   },
                   source, dest, blocks, chain);
}

}  // namespace crypto

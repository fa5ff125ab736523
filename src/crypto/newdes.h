// NewDES (R. Scott, Cryptologia 1985): 64-bit blocks, 120-bit keys, byte-oriented.
#pragma once

#include "crypto/cipher.h"

namespace crypto {

// NewDES's substitution f, a permutation of the 256 byte values.
extern const uint8_t kNewDesF[256];

class TCipher_NewDES : public TCipher {
 public:
  static constexpr BlockParams kParams{8, 15, 120};

  TCipher_NewDES() : TCipher(kParams) {}
  ~TCipher_NewDES() override = default;

  static BlockParams Params() { return kParams; }
  const char* ClassName() const override { return "TCipher_NewDES"; }
  void EncipherBlock(void* block) const override;
  void DecipherBlock(void* block) const override;

 protected:
  void InitSchedule(const uint8_t* key, size_t length) override;
  void EncipherRun(const uint8_t* source, uint8_t* dest, size_t blocks,
                   uint8_t* chain) const override;
  void DecipherRun(const uint8_t* source, uint8_t* dest, size_t blocks,
                   uint8_t* chain) const override;
};

}  // namespace crypto

// CAST-256 (RFC 2612): 128-bit blocks, keys up to 256 bits, 48 rounds. The archive cipher.
#pragma once

#include "crypto/cipher.h"

namespace crypto {

class TCipher_Cast256 : public TCipher {
 public:
  static constexpr BlockParams kParams{16, 32, 384};

  TCipher_Cast256() : TCipher(kParams) {}
  ~TCipher_Cast256() override = default;

  static BlockParams Params() { return kParams; }
  const char* ClassName() const override { return "TCipher_Cast256"; }
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

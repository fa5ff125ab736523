// Blowfish: 64-bit blocks, keys up to 448 bits, 16 rounds. The account store's cipher.
#pragma once

#include "crypto/cipher.h"

namespace crypto {

class TCipher_Blowfish : public TCipher {
 public:
  static constexpr BlockParams kParams{8, 56, 4168};

  TCipher_Blowfish() : TCipher(kParams) {}
  ~TCipher_Blowfish() override = default;

  static BlockParams Params() { return kParams; }
  const char* ClassName() const override { return "TCipher_Blowfish"; }
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

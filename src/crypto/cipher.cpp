#include "crypto/cipher.h"

#include <algorithm>

#include "platform/hash.h"

namespace crypto {

void SecureFill(void* p, uint8_t value, size_t length) {
  volatile uint8_t* v = static_cast<volatile uint8_t*>(p);
  for (size_t i = 0; i < length; ++i) v[i] = value;
}

TCipher::TCipher(const BlockParams& params)
    : max_key_length_(params.MaxKeyLength),
      block_length_(params.BlockLength),
      schedule_length_(params.ScheduleLength),
      work_block_(new uint8_t[params.BlockLength]),
      init_vector_(new uint8_t[params.BlockLength]),
      chain_block_(new uint8_t[params.BlockLength]),
      schedule_(new uint32_t[(params.ScheduleLength + 3) / 4]) {
  Wipe();
}

TCipher::~TCipher() {
  Wipe();
}

void TCipher::SetStateFlag(int index, bool value) {
  const uint32_t bit = uint32_t{1} << index;
  state_flags_ = value ? (state_flags_ | bit) : (state_flags_ & ~bit);
}

void TCipher::Wipe() {
  SetStateFlag(kFlagKeyFromString, false);
  SetStateFlag(kFlagKeyed, false);
  SecureFill(init_vector_.get(), 0xFF, block_length_);
  SecureFill(chain_block_.get(), 0xFF, block_length_);
  SecureFill(work_block_.get(), 0, block_length_);
  SecureFill(schedule_.get(), 0, static_cast<size_t>((schedule_length_ + 3) / 4) * 4);
}

void TCipher::Init(const void* key, size_t key_length, const void* init_vector) {
  SetStateFlag(kFlagKeyed, false);
  Wipe();
  key_length = std::min(key_length, static_cast<size_t>(max_key_length_));
  InitSchedule(static_cast<const uint8_t*>(key), key_length);
  if (init_vector) {
    std::memcpy(init_vector_.get(), init_vector, block_length_);
  } else {
    EncipherBlock(init_vector_.get());
  }
  std::memcpy(chain_block_.get(), init_vector_.get(), block_length_);
  SetStateFlag(kFlagKeyed, true);
}

void TCipher::InitKey(const std::string& key, const void* init_vector) {
  const KeyHashFunction hash = key_hash_class_ ? key_hash_class_ : platform::Sha1;
  std::string digest = hash(key);
  Init(digest.data(), std::min(digest.size(), static_cast<size_t>(max_key_length_)), init_vector);
  // Leave no plain digest behind; enciphering it moved the chain, so start it again.
  EncipherBytes(digest.data(), digest.data(), digest.size());
  ResetChain();
  SetStateFlag(kFlagKeyFromString, true);
}

void TCipher::ResetChain() {
  std::memcpy(chain_block_.get(), init_vector_.get(), block_length_);
}

void TCipher::CheckKeyed() const {
  if (!StateFlag(kFlagKeyed)) {
    throw ECipherException(
        kCipherNotInitialized,
        std::string(ClassName()) + " is not initialized call Init() or InitKey() before.");
  }
}

// A part shorter than a block, the same in both directions: T = E(FB), out = in xor T, FB ^= T.
void TCipher::FinalPart(const uint8_t* source, uint8_t* dest, size_t length) {
  const size_t b = block_length_;
  uint8_t* t = work_block_.get();
  uint8_t* fb = chain_block_.get();
  if (length) {
    std::memcpy(t, fb, b);
    EncipherBlock(t);
    for (size_t i = 0; i < length; ++i) dest[i] = source[i] ^ t[i];
    for (size_t i = 0; i < b; ++i) fb[i] ^= t[i];
  }
  SecureFill(t, 0, b);
}

void TCipher::EncipherBytes(const void* source, void* dest, size_t length) {
  CheckKeyed();
  const size_t b = block_length_;
  const auto* s = static_cast<const uint8_t*>(source);
  auto* d = static_cast<uint8_t*>(dest);
  const size_t whole = length / b;
  EncipherRun(s, d, whole, chain_block_.get());
  s += whole * b;
  d += whole * b;
  FinalPart(s, d, length % b);
}

void TCipher::DecipherBytes(const void* source, void* dest, size_t length) {
  CheckKeyed();
  const size_t b = block_length_;
  const auto* s = static_cast<const uint8_t*>(source);
  auto* d = static_cast<uint8_t*>(dest);
  const size_t whole = length / b;
  DecipherRun(s, d, whole, chain_block_.get());
  s += whole * b;
  d += whole * b;
  FinalPart(s, d, length % b);
}

std::string TCipher::EncipherString(std::string_view data) {
  std::string result(data);
  EncipherBytes(result.data(), result.data(), result.size());
  return result;
}

std::string TCipher::DecipherString(std::string_view data) {
  std::string result(data);
  DecipherBytes(result.data(), result.data(), result.size());
  return result;
}

void TCipher::EncipherBlocks(const void* source, void* dest, size_t blocks, uint8_t* chain) const {
  CheckKeyed();
  EncipherRun(static_cast<const uint8_t*>(source), static_cast<uint8_t*>(dest), blocks, chain);
}

void TCipher::DecipherBlocks(const void* source, void* dest, size_t blocks, uint8_t* chain) const {
  CheckKeyed();
  DecipherRun(static_cast<const uint8_t*>(source), static_cast<uint8_t*>(dest), blocks, chain);
}

void TCipher::AdvanceChain(const void* cipher_text, size_t blocks, uint8_t* chain) const {
  const size_t b = block_length_;
  const auto* y = static_cast<const uint8_t*>(cipher_text);
  for (size_t n = 0; n < blocks; ++n, y += b) {
    for (size_t i = 0; i < b; ++i) chain[i] ^= y[i];
  }
}

}  // namespace crypto

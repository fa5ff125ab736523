// Block cipher framework: key set-up from a string, the chaining of mode 0 and the byte and
// string operations that the archive and the account store use. The cipher classes supply the
// block functions and the key schedule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace crypto {

class ECipherException : public std::runtime_error {
 public:
  ECipherException(int code, const std::string& message)
      : std::runtime_error(message), Code(code) {}
  int Code;
};

// ECipherException's code for a cipher used before a key was set.
inline constexpr int kCipherNotInitialized = 3;

// The three sizes that a cipher class reports.
struct BlockParams {
  int BlockLength;
  int MaxKeyLength;
  int ScheduleLength;
};

// The hash that turns a key string into key bytes; empty means SHA-1.
using KeyHashFunction = std::string (*)(const std::string& data);

// Use: create, InitKey once, then EncipherString or DecipherString, each followed by ResetChain
// when every message is to start from the initialisation vector. One object serves one thread.
class TCipher {
 public:
  static constexpr int kFlagKeyFromString = 0;
  static constexpr int kFlagKeyed = 9;

  virtual ~TCipher();
  TCipher(const TCipher&) = delete;
  TCipher& operator=(const TCipher&) = delete;

  // The class name that messages carry ("TCipher_Cast256").
  virtual const char* ClassName() const = 0;

  void SetStateFlag(int index, bool value);
  bool StateFlag(int index) const { return (state_flags_ >> index) & 1u; }
  uint32_t StateFlags() const { return state_flags_; }

  // One block in place with the current schedule: no chaining, no key check.
  virtual void EncipherBlock(void* block) const = 0;
  virtual void DecipherBlock(void* block) const = 0;

  // Builds the schedule from key bytes (a longer key is cut to MaxKeyLength) and sets the
  // initialisation vector: a copy of `init_vector` (BlockLength bytes) when given, otherwise
  // the enciphered block of 0xFF bytes.
  void Init(const void* key, size_t key_length, const void* init_vector = nullptr);
  // Init with the first MaxKeyLength bytes of the key hash of `key`.
  void InitKey(const std::string& key, const void* init_vector = nullptr);
  // The next operation starts from the initialisation vector again.
  void ResetChain();
  // Forgets the key: flags 0 and 9 cleared, vectors 0xFF, schedule and work block zero.
  void Wipe();

  // Mode 0 over `length` bytes; source and dest may be the same buffer. The chain carries over
  // between calls, so a message split at multiples of BlockLength gives the same bytes as one
  // call over it; a part shorter than a block changes the chain differently and must come last.
  // They throw ECipherException (kCipherNotInitialized) without a key.
  void EncipherBytes(const void* source, void* dest, size_t length);
  void DecipherBytes(const void* source, void* dest, size_t length);
  std::string EncipherString(std::string_view data);
  std::string DecipherString(std::string_view data);

  // Mode 0 over whole blocks with the chain state held by the caller (`chain`, BlockLength
  // bytes, updated). They read only the schedule, so threads may share one keyed cipher to
  // work on separate ranges of a message. They throw as above without a key.
  void EncipherBlocks(const void* source, void* dest, size_t blocks, uint8_t* chain) const;
  void DecipherBlocks(const void* source, void* dest, size_t blocks, uint8_t* chain) const;
  // The chain state after `blocks` cipher blocks without deciphering them: the deciphering
  // chain is the initialisation vector xor every cipher block before, so any range can be
  // deciphered on its own once its start state is known.
  void AdvanceChain(const void* cipher_text, size_t blocks, uint8_t* chain) const;

  uint8_t ChainMode() const { return chain_mode_; }
  KeyHashFunction KeyHashClass() const { return key_hash_class_; }
  void SetKeyHashClass(KeyHashFunction hash) { key_hash_class_ = hash; }
  int MaxKeyLength() const { return max_key_length_; }
  int BlockLength() const { return block_length_; }
  int ScheduleLength() const { return schedule_length_; }
  const uint8_t* WorkBlock() const { return work_block_.get(); }
  const uint8_t* InitVector() const { return init_vector_.get(); }
  const uint8_t* ChainBlock() const { return chain_block_.get(); }

 protected:
  explicit TCipher(const BlockParams& params);

  // Builds the schedule from at most MaxKeyLength key bytes.
  virtual void InitSchedule(const uint8_t* key, size_t length) = 0;
  // Mode 0 over whole blocks; the key check is done by the caller.
  virtual void EncipherRun(const uint8_t* source, uint8_t* dest, size_t blocks,
                           uint8_t* chain) const = 0;
  virtual void DecipherRun(const uint8_t* source, uint8_t* dest, size_t blocks,
                           uint8_t* chain) const = 0;

  // The schedule, ScheduleLength bytes, aligned for 32-bit words.
  uint32_t* ScheduleWords() { return schedule_.get(); }
  const uint32_t* ScheduleWords() const { return schedule_.get(); }
  uint8_t* ScheduleBytes() { return reinterpret_cast<uint8_t*>(schedule_.get()); }
  const uint8_t* ScheduleBytes() const { return reinterpret_cast<const uint8_t*>(schedule_.get()); }

 private:
  void CheckKeyed() const;
  void FinalPart(const uint8_t* source, uint8_t* dest, size_t length);

  uint8_t chain_mode_ = 0;
  KeyHashFunction key_hash_class_ = nullptr;
  const int max_key_length_;
  const int block_length_;
  const int schedule_length_;
  std::unique_ptr<uint8_t[]> work_block_;
  std::unique_ptr<uint8_t[]> init_vector_;
  std::unique_ptr<uint8_t[]> chain_block_;
  std::unique_ptr<uint32_t[]> schedule_;
  uint32_t state_flags_ = 0;
};

// Mode-0 loops for a block size known at compile time, with the block function inlined. A
// cipher class's EncipherRun and DecipherRun call them.
template <size_t B, class BlockFunction>
inline void ChainEncipher(const BlockFunction& encipher, const uint8_t* source, uint8_t* dest,
                          size_t blocks, uint8_t* chain) {
  uint8_t fb[B];
  std::memcpy(fb, chain, B);
  for (size_t n = 0; n < blocks; ++n, source += B, dest += B) {
    uint8_t x[B];
    for (size_t j = 0; j < B; ++j) x[j] = source[j] ^ fb[j];
    encipher(x, x);
    for (size_t j = 0; j < B; ++j) fb[j] ^= x[j];
    std::memcpy(dest, x, B);
  }
  std::memcpy(chain, fb, B);
}

// Deciphering blocks do not depend on each other: `decipher2` does two blocks at once (2 * B
// bytes) so that their rounds overlap in the processor; `decipher` does a last single one.
template <size_t B, class BlockFunction, class PairFunction>
inline void ChainDecipher(const BlockFunction& decipher, const PairFunction& decipher2,
                          const uint8_t* source, uint8_t* dest, size_t blocks, uint8_t* chain) {
  uint8_t fb[B];
  std::memcpy(fb, chain, B);
  size_t n = 0;
  for (; n + 2 <= blocks; n += 2, source += 2 * B, dest += 2 * B) {
    uint8_t y[2 * B];
    uint8_t x[2 * B];
    std::memcpy(y, source, 2 * B);  // read first: source and dest may be one buffer
    decipher2(y, x);
    for (size_t j = 0; j < 2 * B; ++j) {
      dest[j] = x[j] ^ fb[j % B];
      fb[j % B] ^= y[j];
    }
  }
  if (n < blocks) {
    uint8_t y[B];
    uint8_t x[B];
    std::memcpy(y, source, B);
    decipher(y, x);
    for (size_t j = 0; j < B; ++j) {
      dest[j] = x[j] ^ fb[j];
      fb[j] ^= y[j];
    }
  }
  std::memcpy(chain, fb, B);
}

// Overwrites key material so that the store is not dropped as dead.
void SecureFill(void* p, uint8_t value, size_t length);

// Big-endian word access for the ciphers that define their blocks so.
inline uint32_t LoadBE32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline void StoreBE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

}  // namespace crypto

// Turns an entry's stored data, fed in pieces, into its content: decipher (mode 0 of the
// archive cipher, from the initialisation vector), inflate, CRC-32. Memory stays fixed whatever
// the entry's size; content goes to a sink as it is produced.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/crc32.h"
#include "archive/zlibex.h"
#include "crypto/cipher.h"

namespace archive {

enum class DecodeResult {
  kOk,
  kDataError,  // CRC mismatch, or (when the stream end is required) a stream that did not end
  kAborted,    // the sink gave up (a write failed); nothing about the data is known
};

class TEntryDecoder {
 public:
  // `cipher`: the keyed archive cipher for an enciphered entry, else null; it is only read, so
  // decoders on several threads may share it. `expectedCRC` is checked when `checkCRC`;
  // `requireEnd` makes a stream that does not end a data error.
  TEntryDecoder(const crypto::TCipher* cipher, bool checkCRC, uint32_t expectedCRC,
                bool requireEnd);
  TEntryDecoder(const TEntryDecoder&) = delete;
  TEntryDecoder& operator=(const TEntryDecoder&) = delete;

  // The next piece of stored data; it is deciphered in place. If the sink throws, the decoder
  // may only be destroyed.
  void Feed(char* data, size_t length, const ZSink& sink);
  // True once the zlib stream has ended or failed: later stored bytes cannot change the
  // content, so the caller need not read them.
  bool Settled() const { return inflater_.State() != InflateState::kMore; }
  // After the last piece: deciphers a final part shorter than a block and checks the result.
  DecodeResult Finish(const ZSink& sink);

 private:
  void Inflate(const char* data, size_t length, const ZSink& sink);

  const crypto::TCipher* cipher_;
  const bool check_crc_;
  const uint32_t expected_crc_;
  const bool require_end_;
  TInflater inflater_;
  TCRC32 crc_;
  // Cipher state: the chain block and the bytes of a block not yet complete.
  static constexpr size_t kMaxBlock = 16;
  uint8_t chain_[kMaxBlock] = {};
  uint8_t carry_[kMaxBlock] = {};
  size_t carry_len_ = 0;
  size_t block_ = 0;
};

}  // namespace archive

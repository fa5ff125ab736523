#include "archive/entry_decoder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace archive {

TEntryDecoder::TEntryDecoder(const crypto::TCipher* cipher, bool checkCRC, uint32_t expectedCRC,
                             bool requireEnd)
    : cipher_(cipher), check_crc_(checkCRC), expected_crc_(expectedCRC), require_end_(requireEnd) {
  if (cipher_) {
    block_ = static_cast<size_t>(cipher_->BlockLength());
    if (block_ == 0 || block_ > kMaxBlock) throw std::logic_error("unsupported block length");
    std::memcpy(chain_, cipher_->InitVector(), block_);
  }
}

void TEntryDecoder::Inflate(const char* data, size_t length, const ZSink& sink) {
  if (length == 0 || Settled()) return;
  inflater_.Write(data, length, [this, &sink](const char* p, size_t n) {
    if (check_crc_) crc_.Update(p, n);
    sink(p, n);
  });
}

void TEntryDecoder::Feed(char* data, size_t length, const ZSink& sink) {
  if (Settled()) return;
  if (!cipher_) {
    Inflate(data, length, sink);
    return;
  }
  // Complete a block begun in an earlier piece.
  if (carry_len_ > 0) {
    const size_t n = std::min(length, block_ - carry_len_);
    std::memcpy(carry_ + carry_len_, data, n);
    carry_len_ += n;
    data += n;
    length -= n;
    if (carry_len_ < block_) return;
    cipher_->DecipherBlocks(carry_, carry_, 1, chain_);
    carry_len_ = 0;
    Inflate(reinterpret_cast<char*>(carry_), block_, sink);
  }
  const size_t blocks = length / block_;
  cipher_->DecipherBlocks(data, data, blocks, chain_);
  Inflate(data, blocks * block_, sink);
  carry_len_ = length - blocks * block_;
  std::memcpy(carry_, data + blocks * block_, carry_len_);
}

DecodeResult TEntryDecoder::Finish(const ZSink& sink) {
  if (cipher_ && carry_len_ > 0) {
    // The final part: the enciphered chain block is the key stream.
    uint8_t stream[kMaxBlock];
    std::memcpy(stream, chain_, block_);
    cipher_->EncipherBlock(stream);
    for (size_t i = 0; i < carry_len_; ++i) carry_[i] ^= stream[i];
    Inflate(reinterpret_cast<char*>(carry_), carry_len_, sink);
    carry_len_ = 0;
  }
  if (check_crc_ && crc_.Value() != expected_crc_) return DecodeResult::kDataError;
  if (require_end_ && inflater_.State() != InflateState::kEnd) return DecodeResult::kDataError;
  return DecodeResult::kOk;
}

}  // namespace archive

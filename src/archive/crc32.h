// CRC-32 of ISO-HDLC (zlib, PKZIP): reflected polynomial 0xEDB88320.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace archive {

// The raw table-driven update, without pre- or post-inversion: start from 0xFFFFFFFF and
// invert the final value to get the checksum.
uint32_t UpdateCRC32(uint32_t crc, const void* data, size_t length);

// The checksum of the whole string; "abc" gives 0x352441C2, the empty string 0.
uint32_t StringCRC32(std::string_view data);

// The checksum of data that arrives in pieces.
class TCRC32 {
 public:
  void Update(const void* data, size_t length) { crc_ = UpdateCRC32(crc_, data, length); }
  void Update(std::string_view data) { Update(data.data(), data.size()); }
  uint32_t Value() const { return ~crc_; }

 private:
  uint32_t crc_ = 0xFFFFFFFF;
};

}  // namespace archive

#include "archive/crc32.h"

#include <zlib.h>

namespace archive {

// zlib's crc32 inverts before and after the same reflected update.
uint32_t UpdateCRC32(uint32_t crc, const void* data, size_t length) {
  if (length == 0) return crc;
  return ~static_cast<uint32_t>(
      crc32_z(~crc & 0xFFFFFFFFu, static_cast<const unsigned char*>(data), length));
}

uint32_t StringCRC32(std::string_view data) {
  return ~UpdateCRC32(0xFFFFFFFF, data.data(), data.size());
}

}  // namespace archive

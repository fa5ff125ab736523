#include "serverconfig/scramble.h"

namespace serverconfig {
namespace {

// A constant of the server's file formats: every stored record depends on it.
constexpr uint8_t kScrambleKey[16] = {0x5A, 0xC3, 0x17, 0x8E, 0x29, 0xF4, 0x6B, 0xD0,
                                      0x33, 0x9C, 0x47, 0xE1, 0x0D, 0xB8, 0x72, 0xA5};

}  // namespace

void ScrambleBytes(uint8_t* data, std::size_t length, std::size_t keyPosition) {
  for (std::size_t i = 0; i < length; ++i) data[i] ^= kScrambleKey[(keyPosition + i) % 16];
}

std::string ScrambledCopy(const TFixedRecord& record) {
  std::string bytes(reinterpret_cast<const char*>(record.Data()), record.Size());
  ScrambleBytes(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
  return bytes;
}

}  // namespace serverconfig

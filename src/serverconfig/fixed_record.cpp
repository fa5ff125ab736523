#include "serverconfig/fixed_record.h"

#include <algorithm>
#include <cstring>

namespace serverconfig {

void TFixedRecord::Clear() {
  std::fill(bytes_.begin(), bytes_.end(), 0);
}

uint16_t TFixedRecord::Word(std::size_t offset) const {
  return static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
}

void TFixedRecord::SetWord(std::size_t offset, uint16_t value) {
  bytes_[offset] = static_cast<uint8_t>(value);
  bytes_[offset + 1] = static_cast<uint8_t>(value >> 8);
}

uint32_t TFixedRecord::DWord(std::size_t offset) const {
  return static_cast<uint32_t>(Word(offset)) | static_cast<uint32_t>(Word(offset + 2)) << 16;
}

void TFixedRecord::SetDWord(std::size_t offset, uint32_t value) {
  SetWord(offset, static_cast<uint16_t>(value));
  SetWord(offset + 2, static_cast<uint16_t>(value >> 16));
}

double TFixedRecord::Double(std::size_t offset) const {
  uint64_t bits = static_cast<uint64_t>(DWord(offset)) | static_cast<uint64_t>(DWord(offset + 4))
                                                             << 32;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void TFixedRecord::SetDouble(std::size_t offset, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  SetDWord(offset, static_cast<uint32_t>(bits));
  SetDWord(offset + 4, static_cast<uint32_t>(bits >> 32));
}

std::string TFixedRecord::Str(std::size_t offset, std::size_t fieldSize) const {
  std::size_t length = std::min<std::size_t>(bytes_[offset], fieldSize - 1);
  return std::string(reinterpret_cast<const char*>(&bytes_[offset + 1]), length);
}

void TFixedRecord::SetStr(std::size_t offset, std::size_t fieldSize, std::string_view text) {
  std::size_t length = std::min(text.size(), fieldSize - 1);
  bytes_[offset] = static_cast<uint8_t>(length);
  std::memcpy(&bytes_[offset + 1], text.data(), length);
}

}  // namespace serverconfig

// A fixed-size record of the server's configuration files (settings, domain and
// account records), read and written at byte offsets. Numbers are stored
// little-endian without alignment; strings are a length byte followed by the
// characters, in a field of a given size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace serverconfig {

class TFixedRecord {
 public:
  explicit TFixedRecord(std::size_t size) : bytes_(size) {}

  std::size_t Size() const { return bytes_.size(); }
  uint8_t* Data() { return bytes_.data(); }
  const uint8_t* Data() const { return bytes_.data(); }
  void Clear();

  // Offsets are the caller's constants: a field must lie inside the record.
  uint8_t Byte(std::size_t offset) const { return bytes_[offset]; }
  void SetByte(std::size_t offset, uint8_t value) { bytes_[offset] = value; }
  uint16_t Word(std::size_t offset) const;
  void SetWord(std::size_t offset, uint16_t value);
  uint32_t DWord(std::size_t offset) const;
  void SetDWord(std::size_t offset, uint32_t value);
  double Double(std::size_t offset) const;
  void SetDouble(std::size_t offset, double value);

  // The string of a field of fieldSize bytes; a stored length beyond what the
  // field holds is clamped to it.
  std::string Str(std::size_t offset, std::size_t fieldSize) const;
  // Stores at most fieldSize - 1 characters; the bytes after them stay as they were.
  void SetStr(std::size_t offset, std::size_t fieldSize, std::string_view text);

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace serverconfig

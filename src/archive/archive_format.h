// The ILDS package archive layout: an optional preamble ("ILDS", header length,
// header record), then entries up to the end of the file or an entry with an
// empty name. All integers are little-endian.
#pragma once

#include <cstdint>
#include <string>

namespace archive {

inline constexpr char kArchiveMagic[4] = {'I', 'L', 'D', 'S'};
inline constexpr uint32_t kHeaderRecordLength = 9;
// Below version 2 a name takes a fixed field of a length byte and 255 bytes.
inline constexpr uint32_t kFixedNameField = 256;
inline constexpr uint32_t kMaxNameLength = 255;
// From version 3 on the name is followed by 12 reserved bytes, Encrypted and the CRC.
inline constexpr uint32_t kEntryReservedLength = 12;
inline constexpr uint32_t kEntryExtensionLength = kEntryReservedLength + 1 + 4;

struct ArchiveHeader {
  uint8_t HeaderFlags = 0;  // not interpreted
  uint32_t Version = 0;
  uint32_t Reserved = 0;  // not interpreted
};

struct EntryHeader {
  std::string Name;       // as stored, "/" or "\" separators
  uint8_t Encrypted = 0;  // version 3 and later; non-zero means enciphered
  uint32_t CRC = 0;       // version 3 and later: CRC-32 of the uncompressed content
  uint32_t Size = 0;      // stored data length
};

// Bytes of the preamble for a header record.
std::string EncodePreamble(const ArchiveHeader& header);
// Bytes of an entry header as the given version lays it out (reserved bytes zero).
// A name longer than 255 bytes is cut to 255.
std::string EncodeEntryHeader(const EntryHeader& entry, uint32_t version);
// The length of an entry header of that name in that version.
uint64_t EntryHeaderLength(const std::string& name, uint32_t version);

// Little-endian helpers shared by the reader and the writer.
inline void PutLE32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}
inline uint32_t GetLE32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace archive

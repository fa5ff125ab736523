#include "archive/archive_format.h"

#include <algorithm>

namespace archive {

std::string EncodePreamble(const ArchiveHeader& header) {
  std::string out(kArchiveMagic, 4);
  PutLE32(out, kHeaderRecordLength);
  out += static_cast<char>(header.HeaderFlags);
  PutLE32(out, header.Version);
  PutLE32(out, header.Reserved);
  return out;
}

std::string EncodeEntryHeader(const EntryHeader& entry, uint32_t version) {
  std::string name = entry.Name.substr(0, kMaxNameLength);
  std::string out(1, static_cast<char>(name.size()));
  out += name;
  if (version < 2) out.resize(kFixedNameField, '\0');
  if (version >= 3) {
    out.append(kEntryReservedLength, '\0');
    out += static_cast<char>(entry.Encrypted);
    PutLE32(out, entry.CRC);
  }
  PutLE32(out, entry.Size);
  return out;
}

uint64_t EntryHeaderLength(const std::string& name, uint32_t version) {
  uint64_t nameField =
      version < 2 ? kFixedNameField : 1 + std::min<size_t>(name.size(), kMaxNameLength);
  return nameField + (version >= 3 ? kEntryExtensionLength : 0) + 4;
}

}  // namespace archive

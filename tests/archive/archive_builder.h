// Builds ILDS archives for tests the way a packer does: CRC-32 of the content, zlib stream,
// then CAST-256 when a password is given; and archives that break the rules on purpose.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/archive_format.h"
#include "archive/zlibex.h"
#include "common/test_bytes.h"

namespace archive_test {

class ArchiveBuilder {
 public:
  // Without a preamble the entries have the version 0 layout.
  explicit ArchiveBuilder(uint32_t version, bool preamble = true, std::string password = "");

  ArchiveBuilder& Add(const std::string& name, const std::string& content);
  // An entry with any header fields and stored bytes.
  ArchiveBuilder& AddRaw(const archive::EntryHeader& header, const std::string& stored);
  ArchiveBuilder& AddEndMarker();
  ArchiveBuilder& AddBytes(const std::string& bytes);

  const std::string& Bytes() const { return bytes_; }
  uint32_t Version() const { return version_; }

  // The stored form of the content: compressed, and enciphered when a password is given.
  static std::string Stored(const std::string& content, const std::string& password,
                            archive::CompressionLevel level = archive::clDefault);

 private:
  uint32_t version_;
  std::string password_;
  std::string bytes_;
};

// A preamble with a header record of any length (the first bytes of flags, version, reserved,
// then zero bytes).
std::string PreambleWithRecordLength(uint32_t version, uint32_t length);

// Writes a one-entry version 3 archive without holding the content or the stored data: the
// content comes from `generate` in pieces (it returns false when there is no more). Returns the
// content's CRC-32 and size; false when the file cannot be written.
bool WriteStreamedArchive(const std::string& path, const std::string& name,
                          const std::string& password,
                          const std::function<bool(std::string& piece)>& generate, uint32_t& crc,
                          uint64_t& size);

using test_bytes::Hex;
using test_bytes::RandomBytes;
using test_bytes::Text;

}  // namespace archive_test

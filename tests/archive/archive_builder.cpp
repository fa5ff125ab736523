#include "archive/archive_builder.h"

#include <random>

#include "archive/crc32.h"
#include "crypto/cast256.h"
#include "platform/files.h"

namespace archive_test {

using archive::EntryHeader;

ArchiveBuilder::ArchiveBuilder(uint32_t version, bool preamble, std::string password)
    : version_(preamble ? version : 0), password_(std::move(password)) {
  if (preamble) bytes_ = archive::EncodePreamble(archive::ArchiveHeader{0, version, 0});
}

std::string ArchiveBuilder::Stored(const std::string& content, const std::string& password,
                                   archive::CompressionLevel level) {
  std::string stored = archive::CompressString(content, level);
  if (password.empty()) return stored;
  crypto::TCipher_Cast256 cipher;
  cipher.InitKey(password);
  return cipher.EncipherString(stored);
}

ArchiveBuilder& ArchiveBuilder::Add(const std::string& name, const std::string& content) {
  EntryHeader header;
  header.Name = name;
  header.Encrypted = password_.empty() ? 0 : 1;
  header.CRC = archive::StringCRC32(content);
  return AddRaw(header, content.empty() ? "" : Stored(content, password_));
}

ArchiveBuilder& ArchiveBuilder::AddRaw(const EntryHeader& header, const std::string& stored) {
  EntryHeader h = header;
  h.Size = static_cast<uint32_t>(stored.size());
  bytes_ += archive::EncodeEntryHeader(h, version_) + stored;
  return *this;
}

ArchiveBuilder& ArchiveBuilder::AddEndMarker() {
  bytes_ += archive::EncodeEntryHeader(EntryHeader{}, version_);
  return *this;
}

ArchiveBuilder& ArchiveBuilder::AddBytes(const std::string& bytes) {
  bytes_ += bytes;
  return *this;
}

std::string PreambleWithRecordLength(uint32_t version, uint32_t length) {
  std::string record = archive::EncodePreamble(archive::ArchiveHeader{0x5A, version, 0x11223344});
  record = record.substr(8);
  record.resize(length, '\0');
  std::string out(archive::kArchiveMagic, 4);
  archive::PutLE32(out, length);
  return out + record;
}

bool WriteStreamedArchive(const std::string& path, const std::string& name,
                          const std::string& password,
                          const std::function<bool(std::string& piece)>& generate, uint32_t& crc,
                          uint64_t& size) {
  platform::File file;
  if (!file.Open(path, platform::File::Mode::Create)) return false;
  EntryHeader header;
  header.Name = name;
  header.Encrypted = password.empty() ? 0 : 1;
  const std::string preamble = archive::EncodePreamble(archive::ArchiveHeader{0, 3, 0});
  std::string head = preamble + archive::EncodeEntryHeader(header, 3);
  if (!file.Write(head.data(), static_cast<int64_t>(head.size()))) return false;

  crypto::TCipher_Cast256 cipher;
  if (!password.empty()) cipher.InitKey(password);
  archive::TDeflater deflater(archive::clFastest);
  archive::TCRC32 crc32;
  std::string pending;  // stored bytes not yet a whole number of cipher blocks
  uint64_t stored = 0;
  bool ok = true;
  auto write = [&](bool last) {
    size_t n = last || password.empty() ? pending.size() : pending.size() / 16 * 16;
    if (!password.empty()) cipher.EncipherBytes(pending.data(), pending.data(), n);
    ok = ok && file.Write(pending.data(), static_cast<int64_t>(n));
    stored += n;
    pending.erase(0, n);
  };
  const archive::ZSink sink = [&](const char* p, size_t n) {
    pending.append(p, n);
    if (pending.size() >= (1 << 20)) write(false);
  };
  size = 0;
  for (std::string piece; generate(piece);) {
    crc32.Update(piece);
    size += piece.size();
    deflater.Write(piece.data(), piece.size(), sink);
  }
  deflater.Finish(sink);
  write(true);
  crc = crc32.Value();
  header.CRC = crc;
  header.Size = static_cast<uint32_t>(stored);
  head = archive::EncodeEntryHeader(header, 3);
  return ok && file.Seek(static_cast<int64_t>(preamble.size())) &&
         file.Write(head.data(), static_cast<int64_t>(head.size()));
}

}  // namespace archive_test

#include "archive/archive_reader.h"

#include <algorithm>
#include <cstring>

namespace archive {
namespace {

// Headers are small and come between data that is mostly read straight into the caller's
// buffer, so a modest buffer suffices.
constexpr size_t kBufferSize = 64 * 1024;

}  // namespace

TArchiveReader::TArchiveReader() : buffer_(new char[kBufferSize]) {}
TArchiveReader::~TArchiveReader() = default;

bool TArchiveReader::Open(const std::string& path) {
  if (!file_.Open(path, platform::File::Mode::Read)) return false;
  const int64_t size = file_.Size();
  file_size_ = size > 0 ? static_cast<uint64_t>(size) : 0;
  return true;
}

bool TArchiveReader::Refill() {
  if (at_end_) return false;
  // The buffer is empty here, so the file pointer is at position_.
  const size_t want = static_cast<size_t>(std::min<uint64_t>(kBufferSize, FileLeft()));
  const int64_t n = want ? file_.Read(buffer_.get(), static_cast<int64_t>(want)) : 0;
  if (n <= 0) {
    at_end_ = true;
    read_failed_ = n < 0 || want > 0;
    return false;
  }
  buffer_pos_ = 0;
  buffer_len_ = static_cast<size_t>(n);
  return true;
}

size_t TArchiveReader::Fill(void* dest, size_t length) {
  char* out = static_cast<char*>(dest);
  size_t done = 0;
  while (done < length) {
    if (buffer_pos_ == buffer_len_) {
      // A large read goes straight into the caller's buffer.
      const uint64_t direct = std::min<uint64_t>(length - done, FileLeft());
      if (direct >= kBufferSize && !at_end_) {
        const int64_t n = file_.Read(out + done, static_cast<int64_t>(direct));
        if (n <= 0) {
          at_end_ = true;
          read_failed_ = true;  // the file is shorter than it was when opened, or unreadable
          break;
        }
        done += static_cast<size_t>(n);
        position_ += static_cast<uint64_t>(n);
        continue;
      }
      if (!Refill()) break;
    }
    const size_t n = std::min(length - done, buffer_len_ - buffer_pos_);
    std::memcpy(out + done, buffer_.get() + buffer_pos_, n);
    buffer_pos_ += n;
    position_ += n;
    done += n;
  }
  return done;
}

uint64_t TArchiveReader::Discard(uint64_t length) {
  const uint64_t buffered = buffer_len_ - buffer_pos_;
  if (length <= buffered) {
    buffer_pos_ += static_cast<size_t>(length);
    position_ += length;
    return length;
  }
  buffer_pos_ = buffer_len_ = 0;
  position_ += buffered;
  const uint64_t skip = std::min(length - buffered, FileLeft());
  if (skip > 0 && !file_.Seek(static_cast<int64_t>(position_ + skip))) {
    at_end_ = true;
    read_failed_ = true;
    return buffered;
  }
  position_ += skip;
  return buffered + skip;
}

bool TArchiveReader::ReadPreamble(ArchiveHeader& header) {
  header = ArchiveHeader{};
  version_ = 0;
  unsigned char start[8];
  const size_t got = Fill(start, sizeof start);
  if (got < 4 || std::memcmp(start, kArchiveMagic, 4) != 0) {
    // No preamble: the entries start at offset 0.
    buffer_pos_ = buffer_len_ = 0;
    position_ = 0;
    at_end_ = false;
    if (!file_.Seek(0)) at_end_ = read_failed_ = true;
    return true;
  }
  if (got < 8) return false;
  const uint32_t length = GetLE32(start + 4);
  // A shorter record leaves the rest zero; a longer one is passed over.
  unsigned char record[kHeaderRecordLength] = {};
  const size_t take = std::min<uint32_t>(length, kHeaderRecordLength);
  if (Fill(record, take) < take) return false;
  if (length > take && Discard(length - take) < length - take) return false;
  header.HeaderFlags = record[0];
  header.Version = GetLE32(record + 1);
  header.Reserved = GetLE32(record + 5);
  version_ = header.Version;
  return true;
}

HeaderRead TArchiveReader::NextEntry(EntryHeader& entry) {
  SkipData();
  entry = EntryHeader{};
  unsigned char length;
  if (Fill(&length, 1) == 0) return read_failed_ ? HeaderRead::kTruncated : HeaderRead::kEndOfFile;
  if (version_ < 2) {
    // A fixed field: the bytes after the name are ignored.
    char field[kFixedNameField - 1];
    if (Fill(field, sizeof field) < sizeof field) return HeaderRead::kTruncated;
    entry.Name.assign(field, length);
  } else {
    entry.Name.resize(length);
    if (Fill(entry.Name.data(), length) < length) return HeaderRead::kTruncated;
  }
  if (version_ >= 3) {
    unsigned char extension[kEntryExtensionLength];  // reserved bytes, Encrypted, CRC
    if (Fill(extension, sizeof extension) < sizeof extension) return HeaderRead::kTruncated;
    entry.Encrypted = extension[kEntryReservedLength];
    entry.CRC = GetLE32(extension + kEntryReservedLength + 1);
  }
  unsigned char size[4];
  if (Fill(size, sizeof size) < sizeof size) return HeaderRead::kTruncated;
  entry.Size = GetLE32(size);
  data_left_ = entry.Size;
  return HeaderRead::kEntry;
}

size_t TArchiveReader::ReadData(void* dest, size_t length) {
  const size_t want = static_cast<size_t>(std::min<uint64_t>(length, data_left_));
  const size_t got = Fill(dest, want);
  data_left_ = got < want ? 0 : data_left_ - got;
  return got;
}

void TArchiveReader::SkipData() {
  if (data_left_ > 0) Discard(data_left_);
  data_left_ = 0;
}

uint64_t TArchiveReader::DataLeft() const {
  return std::min(data_left_, FileLeft());
}

}  // namespace archive

// Reads an ILDS archive front to back: the optional preamble, entry headers and stored data.
// Nothing is held in proportion to a claimed size: data is read in pieces the caller chooses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/archive_format.h"
#include "platform/files.h"

namespace archive {

enum class HeaderRead {
  kEntry,      // an entry header was read (its name may be empty: the end marker)
  kEndOfFile,  // the file ends at an entry boundary
  kTruncated,  // the file ends, or can no longer be read, inside the header
};

class TArchiveReader {
 public:
  TArchiveReader();
  ~TArchiveReader();
  TArchiveReader(const TArchiveReader&) = delete;
  TArchiveReader& operator=(const TArchiveReader&) = delete;

  bool Open(const std::string& path);

  // Reads the preamble when the file starts with "ILDS"; otherwise reading starts again at
  // offset 0 with an all-zero header. False when the file ends inside the preamble.
  bool ReadPreamble(ArchiveHeader& header);
  uint32_t Version() const { return version_; }

  // The next entry's header, laid out as Version() says. Any data of the previous entry that
  // was not read is passed over first. The name is as stored.
  HeaderRead NextEntry(EntryHeader& entry);

  // Up to `length` bytes of the current entry's data; 0 once the entry's data or the file is
  // used up. A claimed size beyond the end of the file gives what is there. The file is read
  // as it was when opened: bytes appended later are not seen.
  size_t ReadData(void* dest, size_t length);
  // Passes over the rest of the current entry's data.
  void SkipData();
  // Claimed data bytes of the current entry not yet read, no more than the file still holds.
  uint64_t DataLeft() const;

  // Archive bytes consumed so far, and the size of the file when it was opened.
  uint64_t Position() const { return position_; }
  uint64_t FileSize() const { return file_size_; }

 private:
  // Exactly `length` bytes unless the file ends; returns how many were read.
  size_t Fill(void* dest, size_t length);
  bool Refill();
  // Passes over up to `length` bytes; returns how many there were.
  uint64_t Discard(uint64_t length);
  uint64_t FileLeft() const { return file_size_ > position_ ? file_size_ - position_ : 0; }

  platform::File file_;
  std::unique_ptr<char[]> buffer_;
  size_t buffer_pos_ = 0;
  size_t buffer_len_ = 0;
  uint64_t position_ = 0;   // consumed by the caller
  uint64_t file_size_ = 0;  // when opened
  uint64_t data_left_ = 0;  // claimed bytes of the current entry still unread
  uint32_t version_ = 0;
  bool at_end_ = false;
  bool read_failed_ = false;
};

}  // namespace archive

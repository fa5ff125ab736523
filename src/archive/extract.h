// Extraction of ILDS package archives, the operation that deletes an extracted folder, and the
// verify and list operations of the ilds tool.
//
// Entries are decoded as streams: memory stays bounded whatever an entry's claimed size, and
// the files written and the status codes are those of decoding each entry whole. An entry whose
// name would land outside the destination (see IsSafeEntryName) is never written: the
// extraction stops there with asDataError. Entries are decoded on several threads when
// ExtractOptions::Threads allows; files are still created and written strictly in archive order,
// and nothing after the first failure is written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_format.h"

namespace archive {

enum ArchiveStatus : int {
  asOk = 0,
  asPasswordRequired = 1,  // an entry is enciphered and no password was given
  asDataError = 2,         // an entry's data did not decode, or its name was refused
};

struct ExtractOptions {
  // True writes every selected entry over an existing file. When false, an existing file is
  // kept if KeepList is empty or names the entry (";name;" in it, whole name, compared as
  // Windows finds the file: any case, trailing dots and blanks dropped; see ListHolds).
  bool Overwrite = true;
  std::string KeepList;
  // ";"-separated entry names; when not empty, only the entries named in it (compared as the
  // keep list) are written.
  std::string FilterList;
  std::string Password;  // empty: none
  // True: an entry whose file cannot be created ends the extraction with WriteError, as a
  // failed write does. False: such an entry is passed over (a file in use is left as it is).
  bool AllOrNothing = false;
  // Decodes and checks every entry (keep and filter rules do not apply) and writes nothing; the
  // destination may be empty. A version 3 entry is checked by its CRC; an older entry, which
  // has none, counts as damaged when its zlib stream does not end properly (extraction itself
  // writes what such a stream gave).
  bool VerifyOnly = false;
  // Decoding threads: 0 = one per processor; 1 = everything on the calling thread. With more,
  // Threads - 1 workers decode entries ahead of the calling thread, which writes them in order
  // (and decodes a small entry itself when no worker has come to it yet); one more thread
  // reads the archive. These threads are kept for later extractions (archive/thread_pool.h).
  unsigned Threads = 0;
  // Archive bytes consumed so far and the archive's size; called on the calling thread.
  std::function<void(uint64_t bytesDone, uint64_t bytesTotal)> Progress;
};

enum class ExtractEnd {
  Complete,                 // the file ended at an entry boundary
  EndMarker,                // an entry with an empty name ended the archive
  BadArguments,             // an empty archive path, or an empty destination (except verify)
  CannotCreateDestination,  // the destination folder does not exist and cannot be created
  CannotOpenArchive,
  TruncatedHeader,  // the file ends inside the preamble or an entry header, or cannot be read
  PasswordRequired,
  DataError,   // see FailedEntry
  WriteError,  // writing FailedEntry failed; its partial file was deleted
};

struct ExtractResult {
  ArchiveStatus Status = asOk;
  ExtractEnd End = ExtractEnd::Complete;
  uint32_t Version = 0;  // of the archive's header; 0 without a preamble
  // Files created and completely written; with VerifyOnly, entries checked.
  uint64_t EntriesWritten = 0;
  uint64_t BytesDecoded = 0;  // unpacked size of the files written (with VerifyOnly: checked)
  std::string FailedEntry;    // the entry at which a password, data or write failure stopped
  uint32_t SystemError = 0;   // with WriteError: the system's code for the failed create or write
  // True when the archive was read to its end or its end marker and nothing failed.
  bool Succeeded() const {
    return Status == asOk && (End == ExtractEnd::Complete || End == ExtractEnd::EndMarker);
  }
};

ExtractResult Extract(const std::string& archivePath, const std::string& destDir,
                      const ExtractOptions& options);

// Extracts an archive into DestDir (created with its parents when missing). Status is set to
// asOk on entry; the result is true when the archive was read to its end or its end marker and
// Status is still asOk. Both paths are taken as short strings.
bool ExtractArchive(const std::string& ArchivePath, const std::string& DestDir,
                    ArchiveStatus& Status, bool Overwrite, const std::string& KeepList,
                    const std::string& FilterList, const std::string& Password);

// Deletes the folder with all its files and subfolders.
bool DeleteExtracted(const std::string& folder);

// The archive's version and entry headers (names as stored), without reading the data. `end`
// is Complete, EndMarker (the marker is not listed), CannotOpenArchive or TruncatedHeader;
// true for the first two.
bool ListArchive(const std::string& path, uint32_t& version, std::vector<EntryHeader>& entries,
                 ExtractEnd& end);

}  // namespace archive

// The packer: writes an ILDS archive from files, in the order given, compressing on every
// core. The reader's counterpart is extract.h.
//
// Each entry's content is deflated in pieces of ChunkSize bytes, each piece primed with the
// 32 KiB of content before it, so that the pieces of one large file compress in parallel and
// join into one zlib stream; memory stays bounded whatever the size of a file. A file no larger
// than one piece gives exactly the bytes of CompressString. Pieces are written in order; the
// header of an entry of several pieces is written first and patched with its size and CRC-32
// when the last piece is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/zlibex.h"

namespace archive {

inline constexpr size_t kDefaultChunkSize = size_t{1} << 20;
inline constexpr size_t kMaxChunkSize = size_t{64} << 20;
// Stored data of an entry must stay below 2 GiB: the reader takes the size as 32 bits.
inline constexpr uint64_t kMaxStoredSize = uint64_t{1} << 31;

struct PackItem {
  std::string Name;        // entry name; "/" is stored as "\"
  std::string SourcePath;  // the file that gives the content
  // Its size when known (from a folder listing), -1 to ask the file system. A file whose size
  // differs when it is read fails with SourceChanged.
  int64_t Size = -1;
};

struct PackOptions {
  // 0: no preamble, names in 256-byte fields, no CRC; 2: preamble with Version 2,
  // length-prefixed names; 3: as 2 plus the Encrypted flag and the CRC-32 of every entry.
  uint32_t Format = 3;
  // Enciphers every entry with CAST-256 keyed from it; format 3 only. Empty: none.
  std::string Password;
  CompressionLevel Level = clDefault;
  // Compressing threads; 0 = one per processor.
  unsigned Threads = 0;
  // Size of the pieces that files are compressed in (4 KiB to kMaxChunkSize).
  size_t ChunkSize = kDefaultChunkSize;
  // An entry whose stored data reach this fails with EntryTooLarge. Lower values serve tests.
  uint64_t StoredSizeLimit = kMaxStoredSize;
  // Called on the calling thread as content is written.
  std::function<void(uint64_t bytesDone, uint64_t bytesTotal)> Progress;
};

enum class PackError {
  None,
  BadArguments,         // format, level, chunk size, or a password outside format 3
  BadName,              // an entry name the archive or Windows cannot carry, or a duplicate
  CannotCreateArchive,  // the archive (or its temporary file) cannot be created or replaced
  CannotReadSource,     // a source file cannot be opened or read
  SourceChanged,        // a source file changed size while it was packed
  EntryTooLarge,        // compressed data of 2 GiB or more
  WriteError,           // writing the archive failed (disk full)
};

struct PackResult {
  PackError Error = PackError::None;
  std::string Entry;      // the entry concerned, when there is one
  std::string Message;    // what went wrong, for people
  uint64_t Entries = 0;   // entries written, the end marker not counted
  uint64_t BytesIn = 0;   // content packed
  uint64_t BytesOut = 0;  // size of the archive
  bool Ok() const { return Error == PackError::None; }
};

// Why the name cannot be an entry name, or "" when it can. Names use "\" (or "/") between
// folders; each part must be a name that Windows can create below the destination folder.
std::string CheckEntryName(const std::string& name);

// Writes the archive, always closed by the end marker. It is written to a temporary file beside
// the target ("<archive>.part") and renamed over the target only when complete, so a failure
// leaves no partial archive and keeps an older one.
PackResult WriteArchive(const std::string& archivePath, const std::vector<PackItem>& items,
                        const PackOptions& options);

// The temporary file that WriteArchive writes the archive to before it takes its place.
std::string PartPath(const std::string& archivePath);

}  // namespace archive

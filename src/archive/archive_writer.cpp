#define ZLIB_CONST
#include "archive/archive_writer.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_set>

#include "archive/archive_format.h"
#include "archive/crc32.h"
#include "archive/entry_names.h"
#include "crypto/cast256.h"
#include "platform/files.h"
#include "support/text_fields.h"

namespace archive {
namespace {

constexpr size_t kWindowSize = 32 * 1024;  // deflate's window: the priming of a piece
constexpr size_t kMinChunkSize = 4 * 1024;
constexpr size_t kOutputBuffer = size_t{1} << 20;
// A bound on memory: every thread holds a piece, read and compressed, and more are in flight.
constexpr unsigned kMaxThreads = 32;
// Small files handed to a thread at once, at most.
constexpr uint64_t kBatchPieces = 64;

// The two bytes that deflateInit puts before the deflate data at that level (RFC 1950:
// 32 KiB window, FLEVEL as zlib derives it, no preset dictionary).
std::string ZLibHeader(int zlevel) {
  if (zlevel == Z_DEFAULT_COMPRESSION) zlevel = 6;
  const unsigned flevel = zlevel < 2 ? 0 : zlevel < 6 ? 1 : zlevel == 6 ? 2 : 3;
  unsigned header = (0x78u << 8) | (flevel << 6);
  header += 31 - header % 31;
  return {static_cast<char>(header >> 8), static_cast<char>(header & 0xFF)};
}

void PutBE32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(v >> shift);
}

// One piece of one entry's content, from issue to write.
struct Piece {
  size_t item = 0;
  uint64_t offset = 0;
  size_t length = 0;
  bool first = false;
  bool last = false;

  // Filled by the worker.
  std::string data;  // raw deflate data, or for a whole entry the stored data
  uint32_t crc = 0;
  uint32_t adler = 1;
  PackError error = PackError::None;
  std::string message;
  bool done = false;

  // The entry is this one piece: data is its complete stored data.
  bool Whole() const { return first && last; }
};

// The archive file behind a buffer; a header already written can be patched.
class OutputFile {
 public:
  bool Open(const std::string& path) {
    buffer_.reserve(kOutputBuffer);
    return file_.Open(path, platform::File::Mode::Create);
  }
  uint64_t Position() const { return flushed_ + buffer_.size(); }
  bool Append(const char* data, size_t length) {
    if (buffer_.size() + length > kOutputBuffer && !Flush()) return false;
    if (length >= kOutputBuffer) {
      if (!file_.Write(data, static_cast<int64_t>(length))) return false;
      flushed_ += length;
      return true;
    }
    buffer_.append(data, length);
    return true;
  }
  bool Append(const std::string& data) { return Append(data.data(), data.size()); }
  // Overwrites bytes written before at `position`.
  bool Patch(uint64_t position, const std::string& data) {
    if (position >= flushed_) {
      std::memcpy(buffer_.data() + (position - flushed_), data.data(), data.size());
      return true;
    }
    return Flush() && file_.Seek(static_cast<int64_t>(position)) &&
           file_.Write(data.data(), static_cast<int64_t>(data.size())) && file_.SeekToEnd();
  }
  bool Flush() {
    if (buffer_.empty()) return true;
    if (!file_.Write(buffer_.data(), static_cast<int64_t>(buffer_.size()))) return false;
    flushed_ += buffer_.size();
    buffer_.clear();
    return true;
  }
  void Close() { file_.Close(); }

 private:
  platform::File file_;
  std::string buffer_;
  uint64_t flushed_ = 0;
};

// What one compressing thread keeps between pieces: a deflate stream reset for each piece, its
// input buffer and, with a password, its own cipher for whole entries.
class Compressor {
 public:
  Compressor(int zlevel, const std::string& password) : zlevel_(zlevel), password_(password) {}
  ~Compressor() {
    if (initialised_) deflateEnd(&zs_);
  }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  void Run(Piece& piece, const std::string& sourcePath) {
    const size_t prime = static_cast<size_t>(std::min<uint64_t>(piece.offset, kWindowSize));
    // The last piece reads one byte more to see whether the file grew.
    const size_t want = prime + piece.length + (piece.last ? 1 : 0);
    input_.resize(want);
    platform::File file;
    if (!file.Open(sourcePath, platform::File::Mode::Read)) {
      return Fail(piece, PackError::CannotReadSource, "cannot open " + sourcePath);
    }
    if (!file.Seek(static_cast<int64_t>(piece.offset - prime))) {
      return Fail(piece, PackError::CannotReadSource, "cannot read " + sourcePath);
    }
    size_t got = 0;
    while (got < want) {
      const int64_t n = file.Read(input_.data() + got, static_cast<int64_t>(want - got));
      if (n < 0) return Fail(piece, PackError::CannotReadSource, "cannot read " + sourcePath);
      if (n == 0) break;
      got += static_cast<size_t>(n);
    }
    if (got != prime + piece.length) {
      return Fail(piece, PackError::SourceChanged, sourcePath + " changed while it was packed");
    }
    const char* content = input_.data() + prime;
    piece.crc = StringCRC32(std::string_view(content, piece.length));
    if (piece.Whole() && piece.length == 0) return;  // an empty file: no stored data at all

    piece.adler =
        static_cast<uint32_t>(adler32_z(1, reinterpret_cast<const Bytef*>(content), piece.length));
    std::string& out = piece.data;
    if (piece.Whole()) out = ZLibHeader(zlevel_);
    Deflate(input_.data(), prime, piece.length, piece.last, out);
    if (piece.Whole()) {
      PutBE32(out, piece.adler);
      if (!password_.empty()) {
        if (!cipher_) {
          cipher_ = std::make_unique<crypto::TCipher_Cast256>();
          cipher_->InitKey(password_);
        }
        cipher_->EncipherBytes(out.data(), out.data(), out.size());
        cipher_->ResetChain();
      }
    }
  }

 private:
  static void Fail(Piece& piece, PackError error, const std::string& message) {
    piece.error = error;
    piece.message = message;
  }

  // Appends the raw deflate data of input[prime, prime + length) to out, with the `prime` bytes
  // before it as the dictionary; a piece that is not last ends on a byte boundary (sync flush)
  // so that the next piece's data can follow it.
  void Deflate(const char* input, size_t prime, size_t length, bool last, std::string& out) {
    if (!initialised_) {
      const int rc = deflateInit2(&zs_, zlevel_, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
      if (rc == Z_MEM_ERROR) throw std::bad_alloc();
      if (rc != Z_OK) throw EZCompressionError(rc);
      initialised_ = true;
    } else {
      deflateReset(&zs_);
    }
    if (prime > 0) {
      deflateSetDictionary(&zs_, reinterpret_cast<const Bytef*>(input), static_cast<uInt>(prime));
    }
    zs_.next_in = reinterpret_cast<const Bytef*>(input + prime);
    zs_.avail_in = static_cast<uInt>(length);
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    size_t produced = out.size();
    out.resize(produced + deflateBound(&zs_, static_cast<uLong>(length)) + 16);
    for (;;) {
      if (produced == out.size()) out.resize(out.size() + out.size() / 2 + 256);
      const size_t room = out.size() - produced;
      zs_.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
      zs_.avail_out = static_cast<uInt>(room);
      const int rc = deflate(&zs_, flush);
      produced += room - zs_.avail_out;
      if (rc == Z_STREAM_END) break;
      if (rc != Z_OK && rc != Z_BUF_ERROR) throw EZCompressionError(rc);
      // A sync flush is complete once deflate leaves output room unused.
      if (!last && zs_.avail_out > 0 && zs_.avail_in == 0) break;
      // No progress with room to spare cannot end: zlib is broken.
      if (rc == Z_BUF_ERROR && zs_.avail_out > 0) throw EZCompressionError(rc);
    }
    out.resize(produced);
  }

  const int zlevel_;
  const std::string password_;
  z_stream zs_{};
  bool initialised_ = false;
  std::string input_;
  std::unique_ptr<crypto::TCipher_Cast256> cipher_;
};

// A run of consecutive pieces that one thread compresses in turn: small files travel in
// batches, so that threads hand over work once per batch rather than once per file.
struct Batch {
  uint64_t first = 0;
  uint64_t count = 0;
};

// Deals out batches in order to the compressing threads and hands their pieces back in that
// order. The pieces live in a ring of slots, so that memory stays bounded.
class PieceQueue {
 public:
  explicit PieceQueue(size_t capacity) : slots_(capacity) {}

  Piece& Slot(uint64_t sequence) { return slots_[sequence % slots_.size()]; }
  size_t Capacity() const { return slots_.size(); }

  void Push(const Batch& batch) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(batch);
    work_.notify_one();
  }
  // The next batch to compress; false when the threads are to end.
  bool Take(Batch& batch) {
    std::unique_lock<std::mutex> lock(mutex_);
    work_.wait(lock, [&] { return stop_ || !pending_.empty(); });
    if (stop_) return false;
    batch = pending_.front();
    pending_.pop_front();
    return true;
  }
  void Done(const Batch& batch) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (uint64_t i = 0; i < batch.count; ++i) Slot(batch.first + i).done = true;
    done_.notify_all();
  }
  void WaitDone(uint64_t sequence) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return Slot(sequence).done; });
  }
  void Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    work_.notify_all();
  }

 private:
  std::vector<Piece> slots_;
  std::deque<Batch> pending_;
  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable done_;
  bool stop_ = false;
};

PackResult Failure(PackError error, const std::string& entry, const std::string& message) {
  PackResult result;
  result.Error = error;
  result.Entry = entry;
  result.Message = message;
  return result;
}

// The writing side: entry headers, the stream of one entry's pieces, encipherment of entries
// of several pieces, and the patch of their headers.
class ArchiveWriter {
 public:
  ArchiveWriter(OutputFile& out, const PackOptions& options, int zlevel)
      : out_(out), options_(options), zlevel_(zlevel) {}

  // Takes the next piece in order; false with result filled in on failure.
  bool Write(const Piece& piece, const std::string& name, PackResult& result) {
    if (piece.error != PackError::None) {
      result = Failure(piece.error, name, piece.message);
      return false;
    }
    if (piece.Whole()) {
      if (piece.data.size() >= Limit()) return TooLarge(name, result);
      EntryHeader header = Header(name);
      header.CRC = piece.crc;
      header.Size = static_cast<uint32_t>(piece.data.size());
      if (!out_.Append(EncodeEntryHeader(header, options_.Format)) || !out_.Append(piece.data)) {
        return WriteFailure(name, result);
      }
      ++result.Entries;
      return true;
    }
    if (piece.first) {
      header_position_ = out_.Position();
      if (!out_.Append(EncodeEntryHeader(Header(name), options_.Format))) {
        return WriteFailure(name, result);
      }
      stored_ = 0;
      crc_ = piece.crc;
      adler_ = piece.adler;
      carry_.clear();
      if (!Emit(ZLibHeader(zlevel_), false, name, result)) return false;
    } else {
      crc_ =
          static_cast<uint32_t>(crc32_combine(crc_, piece.crc, static_cast<z_off_t>(piece.length)));
      adler_ = static_cast<uint32_t>(
          adler32_combine(adler_, piece.adler, static_cast<z_off_t>(piece.length)));
    }
    if (!Emit(piece.data, false, name, result)) return false;
    if (!piece.last) return true;
    std::string trailer;
    PutBE32(trailer, adler_);
    if (!Emit(trailer, true, name, result)) return false;
    EntryHeader header = Header(name);
    header.CRC = crc_;
    header.Size = static_cast<uint32_t>(stored_);
    if (!out_.Patch(header_position_, EncodeEntryHeader(header, options_.Format))) {
      return WriteFailure(name, result);
    }
    ++result.Entries;
    return true;
  }

 private:
  EntryHeader Header(const std::string& name) const {
    EntryHeader header;
    header.Name = name;
    header.Encrypted = options_.Password.empty() ? 0 : 1;
    return header;
  }

  uint64_t Limit() const { return std::min(options_.StoredSizeLimit, kMaxStoredSize); }

  bool TooLarge(const std::string& name, PackResult& result) {
    result = Failure(PackError::EntryTooLarge, name,
                     "compressed data reach 2 GiB, more than an archive entry holds");
    return false;
  }

  bool WriteFailure(const std::string& name, PackResult& result) {
    result = Failure(PackError::WriteError, name, "cannot write the archive");
    return false;
  }

  // Appends stored data of the current entry, enciphered when there is a password. The chain
  // carries over between calls only across whole blocks, so a tail shorter than a block waits
  // for the next bytes or the end of the entry.
  bool Emit(const std::string& data, bool end, const std::string& name, PackResult& result) {
    stored_ += data.size();
    if (stored_ >= Limit()) return TooLarge(name, result);
    if (options_.Password.empty()) {
      if (!out_.Append(data)) return WriteFailure(name, result);
      return true;
    }
    if (!cipher_) {
      cipher_ = std::make_unique<crypto::TCipher_Cast256>();
      cipher_->InitKey(options_.Password);
    }
    carry_ += data;
    const size_t block = static_cast<size_t>(cipher_->BlockLength());
    const size_t ready = end ? carry_.size() : carry_.size() / block * block;
    cipher_->EncipherBytes(carry_.data(), carry_.data(), ready);
    if (!out_.Append(carry_.data(), ready)) return WriteFailure(name, result);
    carry_.erase(0, ready);
    if (end) cipher_->ResetChain();
    return true;
  }

  OutputFile& out_;
  const PackOptions& options_;
  const int zlevel_;
  std::unique_ptr<crypto::TCipher_Cast256> cipher_;
  uint64_t header_position_ = 0;
  uint64_t stored_ = 0;
  uint32_t crc_ = 0;
  uint32_t adler_ = 1;
  std::string carry_;
};

PackResult CheckArguments(const std::vector<PackItem>& items, const PackOptions& options,
                          std::vector<std::string>& names) {
  if (options.Format != 0 && options.Format != 2 && options.Format != 3) {
    return Failure(PackError::BadArguments, "",
                   "format " + std::to_string(options.Format) + " is not 0, 2 or 3");
  }
  if (!options.Password.empty() && options.Format != 3) {
    return Failure(PackError::BadArguments, "", "only format 3 can carry enciphered entries");
  }
  try {
    ZLibLevel(options.Level);
  } catch (const EZCompressionError&) {
    return Failure(PackError::BadArguments, "", "unknown compression level");
  }
  if (options.ChunkSize < kMinChunkSize || options.ChunkSize > kMaxChunkSize) {
    return Failure(PackError::BadArguments, "", "piece size out of range");
  }
  std::unordered_set<std::string> seen;
  names.reserve(items.size());
  for (const PackItem& item : items) {
    std::string name = EntryPath(item.Name);
    if (std::string why = CheckEntryName(name); !why.empty()) {
      return Failure(PackError::BadName, name, why);
    }
    // Windows compares file names without regard to case: two such entries are one file.
    if (!seen.insert(support::LowerCase(name)).second) {
      return Failure(PackError::BadName, name, "another entry names the same file");
    }
    names.push_back(std::move(name));
  }
  // Without a preamble the reader looks for "ILDS" at the start: a first name of 73 bytes
  // ('I') beginning with "LDS" would be taken for one.
  if (options.Format == 0 && !names.empty() && names[0].size() == static_cast<size_t>('I') &&
      names[0].compare(0, 3, "LDS") == 0) {
    return Failure(PackError::BadName, names[0],
                   "as the first entry of a format 0 archive it reads as a preamble");
  }
  return {};
}

}  // namespace

std::string CheckEntryName(const std::string& name) {
  if (name.empty()) return "an empty name marks the end of an archive";
  if (name.size() > kMaxNameLength) return "longer than 255 bytes";
  size_t start = 0;
  for (;;) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (part.empty()) return "an empty folder name (rooted, or a doubled or trailing separator)";
    if (part == "." || part == "..") return "a \".\" or \"..\" folder";
    for (char c : part) {
      const auto u = static_cast<unsigned char>(c);
      if (u < 0x20 || std::strchr("<>:\"|?*", c)) {
        return "a character that Windows file names cannot hold";
      }
    }
    // Windows drops them when it creates the file, so the name would not come back as packed.
    if (part.back() == '.' || part.back() == ' ') return "a name ending in a dot or blank";
    if (end == name.size()) break;
    start = end + 1;
  }
  // What is left for the extractor to refuse are the device names.
  if (!IsSafeEntryName(name)) return "a Windows device name (CON, NUL, COM1, ...)";
  return "";
}

std::string PartPath(const std::string& archivePath) {
  return archivePath + ".part";
}

PackResult WriteArchive(const std::string& archivePath, const std::vector<PackItem>& items,
                        const PackOptions& options) {
  std::vector<std::string> names;
  if (PackResult bad = CheckArguments(items, options, names); !bad.Ok()) return bad;
  if (archivePath.empty()) return Failure(PackError::BadArguments, "", "no archive path");

  std::vector<uint64_t> sizes(items.size());
  uint64_t total = 0;
  uint64_t pieceCount = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    const int64_t size =
        items[i].Size >= 0 ? items[i].Size : platform::FileSize(items[i].SourcePath);
    if (size < 0) {
      return Failure(PackError::CannotReadSource, names[i], "cannot open " + items[i].SourcePath);
    }
    sizes[i] = static_cast<uint64_t>(size);
    total += sizes[i];
    pieceCount += std::max<uint64_t>(1, (sizes[i] + options.ChunkSize - 1) / options.ChunkSize);
  }

  const std::string partPath = PartPath(archivePath);
  platform::DeleteFile(partPath);  // left by an interrupted run
  OutputFile out;
  if (!out.Open(partPath)) {
    return Failure(PackError::CannotCreateArchive, "", "cannot create " + partPath);
  }
  PackResult result;
  const int zlevel = ZLibLevel(options.Level);
  const bool preamble = options.Format >= 2;
  if (preamble) {
    ArchiveHeader header;
    header.Version = options.Format;
    if (!out.Append(EncodePreamble(header))) result = Failure(PackError::WriteError, "", "");
  }

  unsigned threads = options.Threads ? options.Threads : std::thread::hardware_concurrency();
  threads = std::clamp(threads, 1u, kMaxThreads);
  // Enough content in flight to keep every thread busy while the next piece in order is
  // awaited; a batch holds up to one piece's worth of small files.
  const uint64_t batchesInFlight = 3 * uint64_t{threads} + 4;
  const uint64_t budget = batchesInFlight * options.ChunkSize;
  PieceQueue queue(static_cast<size_t>(batchesInFlight * kBatchPieces));
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      Compressor compressor(zlevel, options.Password);
      Batch batch;
      while (queue.Take(batch)) {
        for (uint64_t i = 0; i < batch.count; ++i) {
          Piece& piece = queue.Slot(batch.first + i);
          try {
            compressor.Run(piece, items[piece.item].SourcePath);
          } catch (const std::exception& e) {
            piece.error = PackError::WriteError;
            piece.message = std::string("compression failed: ") + e.what();
          }
        }
        queue.Done(batch);
      }
    });
  }

  // Pieces are issued in archive order: item by item, piece by piece.
  size_t issueItem = 0;
  uint64_t issueOffset = 0;
  uint64_t issued = 0;
  uint64_t next = 0;      // the piece to write next
  uint64_t inFlight = 0;  // content bytes issued and not yet written
  // Issues the next batch: one piece of a file larger than a piece, or whole small files up to
  // a piece's worth. False when nothing could be issued.
  auto issueBatch = [&]() -> bool {
    Batch batch{issued, 0};
    uint64_t bytes = 0;
    while (issued < pieceCount && issued - next < queue.Capacity() && batch.count < kBatchPieces) {
      const uint64_t size = sizes[issueItem];
      const size_t length =
          static_cast<size_t>(std::min<uint64_t>(options.ChunkSize, size - issueOffset));
      const bool whole = issueOffset == 0 && length == size;
      if (batch.count > 0 && (!whole || bytes + length > options.ChunkSize)) break;
      Piece& piece = queue.Slot(issued);
      piece = Piece();
      piece.item = issueItem;
      piece.offset = issueOffset;
      piece.length = length;
      piece.first = issueOffset == 0;
      piece.last = issueOffset + length == size;
      ++issued;
      ++batch.count;
      bytes += length;
      issueOffset += length;
      if (issueOffset == size) {
        ++issueItem;
        issueOffset = 0;
      }
      if (!whole) break;
    }
    if (batch.count == 0) return false;
    inFlight += bytes;
    queue.Push(batch);
    return true;
  };

  uint64_t bytesDone = 0;
  ArchiveWriter writer(out, options, zlevel);
  for (; next < pieceCount && result.Ok(); ++next) {
    while (inFlight < budget && issueBatch()) {
    }
    queue.WaitDone(next);
    Piece& piece = queue.Slot(next);
    if (writer.Write(piece, names[piece.item], result)) {
      bytesDone += piece.length;
      if (options.Progress) options.Progress(bytesDone, total);
    }
    inFlight -= piece.length;
    // Release the memory now: assigning an empty string would keep the capacity.
    std::string().swap(piece.data);
  }
  queue.Stop();
  for (std::thread& worker : workers) worker.join();

  if (result.Ok()) {
    EntryHeader end;  // the end marker: an entry with an empty name and no data
    if (!out.Append(EncodeEntryHeader(end, options.Format)) || !out.Flush()) {
      result = Failure(PackError::WriteError, "", "cannot write the archive");
    }
  }
  const uint64_t written = out.Position();
  out.Close();
  if (!result.Ok()) {
    if (result.Message.empty()) result.Message = "cannot write the archive";
    platform::DeleteFile(partPath);
    return result;
  }
  // One step: a failure leaves an older archive as it was.
  if (!platform::ReplaceFile(partPath, archivePath)) {
    platform::DeleteFile(partPath);
    const char* what = platform::FileExists(archivePath) ? "cannot replace " : "cannot create ";
    return Failure(PackError::CannotCreateArchive, "", what + archivePath);
  }
  result.BytesIn = total;
  result.BytesOut = written;
  return result;
}

}  // namespace archive

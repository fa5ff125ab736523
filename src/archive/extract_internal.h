// The parts of an extraction that the sequential and the parallel reading of entries share.
// Not for use outside src/archive.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/entry_decoder.h"
#include "archive/extract.h"
#include "crypto/cast256.h"

namespace archive::detail {

// Data read per piece: a multiple of every cipher block, so that pieces decipher on their own.
inline constexpr size_t kReadChunk = 1 << 20;

// What is decided about every entry from the options and its header alone.
class ExtractPlan {
 public:
  ExtractPlan(const ExtractOptions& options, uint32_t version);

  enum class Check { kOk, kBadName, kNeedsPassword };
  // In this order: a refused name, then an enciphered entry without a password.
  Check Inspect(const EntryHeader& entry) const;
  // Named by the filter list (or there is none).
  bool Selected(const std::string& name) const;
  // The entry's data is decoded if the entry is written (or always, when verifying).
  bool MayDecode(const EntryHeader& entry) const {
    return entry.Size > 0 && (options_.VerifyOnly || Selected(entry.Name));
  }
  TEntryDecoder MakeDecoder(const EntryHeader& entry) const {
    return TEntryDecoder(entry.Encrypted ? cipher_.get() : nullptr, version_ >= 3, entry.CRC,
                         options_.VerifyOnly && version_ < 3);
  }

 private:
  const ExtractOptions& options_;
  const uint32_t version_;
  // Keyed once; decoders only read it, so that threads can share it.
  std::unique_ptr<crypto::TCipher_Cast256> cipher_;
};

// Thrown by an extraction's sink when a target cannot be written.
struct SinkAbort {};

// Archive offsets as an entry is worked through, for progress.
using PositionCallback = std::function<void(uint64_t position)>;

// Entries in archive order, for the extraction loop.
class EntrySource {
 public:
  virtual ~EntrySource() = default;
  // The next entry's header, its name with "\" separators.
  virtual HeaderRead Next(EntryHeader& entry) = 0;
  // The current entry's content, in order, to the sink; kAborted when the sink threw SinkAbort.
  // Called only for entries for which plan.MayDecode holds.
  virtual DecodeResult Decode(const ZSink& sink) = 0;
  // Passes over the current entry's data.
  virtual void Skip() = 0;
  // The archive offset up to which entries have been dealt with.
  virtual uint64_t Consumed() const = 0;
};

// Reads, decodes and hands over each entry on the calling thread.
std::unique_ptr<EntrySource> MakeSequentialSource(TArchiveReader& reader, const ExtractPlan& plan,
                                                  PositionCallback progress);
// Reads on a thread of its own and decodes on `workers` threads, ahead of the caller, with a
// bounded amount of data in flight. Null when the threads cannot be started (nothing has been
// read then).
std::unique_ptr<EntrySource> MakeParallelSource(TArchiveReader& reader, const ExtractPlan& plan,
                                                unsigned workers, PositionCallback progress);

}  // namespace archive::detail

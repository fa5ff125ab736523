// zlib streams (RFC 1950) of whole strings, and the streaming inflater and deflater that keep
// memory bounded whatever the size of the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace archive {

enum CompressionLevel : int {
  clNone = 0,     // zlib level 0: stored blocks
  clFastest = 1,  // zlib level 1
  clDefault = 2,  // zlib's default level (-1)
  clBest = 3,     // zlib level 9
};

// The zlib level a compression level passes; throws EZCompressionError for an
// unknown level.
int ZLibLevel(CompressionLevel level);

// zlib's error text for the return code.
class EZLibError : public std::runtime_error {
 public:
  explicit EZLibError(int code);
  int ErrorCode() const { return code_; }

 private:
  int code_;
};

class EZCompressionError : public EZLibError {
 public:
  using EZLibError::EZLibError;
};

class EZDecompressionError : public EZLibError {
 public:
  using EZLibError::EZLibError;
};

// The zlib stream of the whole of `data`: header, deflate data, Adler-32, nothing else.
// Throws EZCompressionError on a zlib error (an unknown level).
std::string CompressString(std::string_view data, CompressionLevel level = clDefault);

// The content of the zlib stream at the start of `data`. Stops at the end of the stream or at
// the first error (damaged or cut data, a wrong check value) and returns what was produced up
// to there: damage is found by the caller's CRC, never by an exception.
std::string DecompressString(std::string_view data);

// Receives output as it is produced.
using ZSink = std::function<void(const char* data, size_t length)>;

enum class InflateState {
  kMore,   // the stream has not ended: at the end of the input it was cut
  kEnd,    // the stream is complete; later input is ignored
  kError,  // the data are damaged; later input is ignored
};

// Inflates one zlib stream fed in pieces of any size. The bytes passed to the sink, taken
// together, are exactly what DecompressString gives for the whole input.
class TInflater {
 public:
  TInflater();
  ~TInflater();
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // Inflates the next piece; output goes to `sink` in pieces of at most 64 KiB. If the sink
  // throws, the inflater may only be destroyed.
  InflateState Write(const void* data, size_t length, const ZSink& sink);
  InflateState State() const { return state_; }
  uint64_t TotalOut() const { return total_out_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  InflateState state_ = InflateState::kMore;
  uint64_t total_out_ = 0;
};

// Deflates data fed in pieces into one zlib stream; Finish writes the end of it.
class TDeflater {
 public:
  // Throws EZCompressionError for an unknown level.
  explicit TDeflater(CompressionLevel level = clDefault);
  ~TDeflater();
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;

  void Write(const void* data, size_t length, const ZSink& sink);
  void Finish(const ZSink& sink);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  bool finished_ = false;
};

}  // namespace archive

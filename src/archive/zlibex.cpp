#define ZLIB_CONST
#include "archive/zlibex.h"

#include <zlib.h>

#include <algorithm>
#include <new>

namespace archive {

namespace {

// zlib counts bytes in 32 bits: larger buffers go in pieces.
constexpr size_t kMaxPiece = size_t{1} << 30;
// Output piece of the streaming classes.
constexpr size_t kChunk = 64 * 1024;

size_t RoundUp256(size_t n) {
  return (n + 255) & ~size_t{255};
}

// The next input piece, when the current one is used up.
void Refill(z_stream& zs, const unsigned char*& next, size_t& left) {
  if (zs.avail_in == 0 && left > 0) {
    const size_t piece = std::min(left, kMaxPiece);
    zs.next_in = next;
    zs.avail_in = static_cast<uInt>(piece);
    next += piece;
    left -= piece;
  }
}

void InitDeflate(z_stream& zs, CompressionLevel level) {
  const int zlevel = ZLibLevel(level);
  const int rc = deflateInit(&zs, zlevel);
  if (rc == Z_MEM_ERROR) throw std::bad_alloc();
  if (rc != Z_OK) throw EZCompressionError(rc);
}

void InitInflate(z_stream& zs) {
  const int rc = inflateInit(&zs);
  if (rc == Z_MEM_ERROR) throw std::bad_alloc();
  if (rc != Z_OK) throw EZDecompressionError(rc);
}

struct DeflateEnd {
  z_stream* zs;
  ~DeflateEnd() { deflateEnd(zs); }
};

struct InflateEnd {
  z_stream* zs;
  ~InflateEnd() { inflateEnd(zs); }
};

}  // namespace

int ZLibLevel(CompressionLevel level) {
  switch (level) {
    case clNone:
      return 0;
    case clFastest:
      return 1;
    case clDefault:
      return Z_DEFAULT_COMPRESSION;
    case clBest:
      return 9;
  }
  throw EZCompressionError(Z_STREAM_ERROR);
}

EZLibError::EZLibError(int code) : std::runtime_error(zError(code)), code_(code) {}

std::string CompressString(std::string_view data, CompressionLevel level) {
  z_stream zs{};
  InitDeflate(zs, level);
  DeflateEnd end{&zs};
  const auto* next = reinterpret_cast<const unsigned char*>(data.data());
  size_t left = data.size();
  // Room for incompressible data from the start: deflate adds far less than a tenth.
  std::string out(RoundUp256(data.size() + data.size() / 10 + 12), '\0');
  size_t produced = 0;
  for (;;) {
    Refill(zs, next, left);
    if (produced == out.size()) out.resize(out.size() + RoundUp256(out.size() / 2));
    const size_t room = std::min(out.size() - produced, kMaxPiece);
    zs.next_out = reinterpret_cast<unsigned char*>(out.data()) + produced;
    zs.avail_out = static_cast<uInt>(room);
    const int rc = deflate(&zs, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    produced += room - zs.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) throw EZCompressionError(rc);
    // Z_BUF_ERROR with room left and input used up cannot end: zlib is broken.
    if (rc == Z_BUF_ERROR && zs.avail_out > 0 && zs.avail_in == 0 && left == 0) {
      throw EZCompressionError(rc);
    }
  }
  out.resize(produced);
  return out;
}

std::string DecompressString(std::string_view data) {
  if (data.empty()) return {};
  z_stream zs{};
  InitInflate(zs);
  InflateEnd end{&zs};
  const auto* next = reinterpret_cast<const unsigned char*>(data.data());
  size_t left = data.size();
  const size_t step = RoundUp256(data.size());
  std::string out(step, '\0');
  size_t produced = 0;
  for (;;) {
    Refill(zs, next, left);
    // Grow geometrically: a small, highly compressed stream must not cost quadratic copying.
    if (produced == out.size()) out.resize(out.size() + std::max(step, out.size()));
    const size_t room = std::min(out.size() - produced, kMaxPiece);
    zs.next_out = reinterpret_cast<unsigned char*>(out.data()) + produced;
    zs.avail_out = static_cast<uInt>(room);
    const int rc = inflate(&zs, Z_NO_FLUSH);
    produced += room - zs.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc == Z_MEM_ERROR) throw std::bad_alloc();
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;  // damaged: keep what came before
    if (zs.avail_out == 0) continue;             // more room needed
    if (zs.avail_in == 0 && left > 0) continue;  // next input piece
    break;                                       // input used up: the stream was cut
  }
  out.resize(produced);
  return out;
}

struct TInflater::Impl {
  z_stream zs{};
  std::unique_ptr<unsigned char[]> buffer{new unsigned char[kChunk]};
  Impl() { InitInflate(zs); }
  ~Impl() { inflateEnd(&zs); }
};

TInflater::TInflater() : impl_(std::make_unique<Impl>()) {}
TInflater::~TInflater() = default;

InflateState TInflater::Write(const void* data, size_t length, const ZSink& sink) {
  z_stream& zs = impl_->zs;
  const auto* next = static_cast<const unsigned char*>(data);
  size_t left = length;
  while (state_ == InflateState::kMore) {
    Refill(zs, next, left);
    zs.next_out = impl_->buffer.get();
    zs.avail_out = static_cast<uInt>(kChunk);
    const int rc = inflate(&zs, Z_NO_FLUSH);
    const size_t produced = kChunk - zs.avail_out;
    total_out_ += produced;
    if (rc == Z_STREAM_END) {
      state_ = InflateState::kEnd;
    } else if (rc == Z_MEM_ERROR) {
      throw std::bad_alloc();
    } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
      state_ = InflateState::kError;
    }
    if (produced > 0) sink(reinterpret_cast<const char*>(impl_->buffer.get()), produced);
    if (state_ != InflateState::kMore) break;
    if (zs.avail_out == 0) continue;
    if (zs.avail_in == 0 && left > 0) continue;
    break;  // this piece is used up
  }
  zs.avail_in = 0;  // the caller's buffer is not kept
  return state_;
}

struct TDeflater::Impl {
  z_stream zs{};
  std::unique_ptr<unsigned char[]> buffer{new unsigned char[kChunk]};
  explicit Impl(CompressionLevel level) { InitDeflate(zs, level); }
  ~Impl() { deflateEnd(&zs); }

  // Runs deflate over the input with `flush` until it has taken all of it (and, for Z_FINISH,
  // written the end of the stream).
  void Run(const unsigned char* next, size_t left, int flush, const ZSink& sink) {
    for (;;) {
      Refill(zs, next, left);
      const int mode = left == 0 ? flush : Z_NO_FLUSH;
      zs.next_out = buffer.get();
      zs.avail_out = static_cast<uInt>(kChunk);
      const int rc = deflate(&zs, mode);
      const size_t produced = kChunk - zs.avail_out;
      if (rc != Z_OK && rc != Z_BUF_ERROR && rc != Z_STREAM_END) throw EZCompressionError(rc);
      if (produced > 0) sink(reinterpret_cast<const char*>(buffer.get()), produced);
      if (rc == Z_STREAM_END) return;
      if (zs.avail_out == 0) continue;
      if (zs.avail_in == 0 && left == 0 && mode == Z_NO_FLUSH) return;
      if (rc == Z_BUF_ERROR && zs.avail_in == 0 && left == 0) throw EZCompressionError(rc);
    }
  }
};

TDeflater::TDeflater(CompressionLevel level) : impl_(std::make_unique<Impl>(level)) {}
TDeflater::~TDeflater() = default;

void TDeflater::Write(const void* data, size_t length, const ZSink& sink) {
  if (finished_) throw EZCompressionError(Z_STREAM_ERROR);
  if (length == 0) return;
  impl_->Run(static_cast<const unsigned char*>(data), length, Z_NO_FLUSH, sink);
  impl_->zs.avail_in = 0;
}

void TDeflater::Finish(const ZSink& sink) {
  if (finished_) return;
  impl_->Run(nullptr, 0, Z_FINISH, sink);
  finished_ = true;
}

}  // namespace archive

// Throughput of the archive's building blocks, single-threaded: CAST-256 and Blowfish in
// chaining mode 0 both ways, and zlib inflate with CRC-32, the floor under any extraction.
//
// --archive=PATH (taken out before Google Benchmark sees the arguments) adds a benchmark that
// inflates and checks every entry of that archive from memory: the in-memory limit for
// extracting it. Enciphered archives are not supported there.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/crc32.h"
#include "archive/extract.h"
#include "archive/zlibex.h"
#include "crypto/blowfish.h"
#include "crypto/cast256.h"
#include "platform/files.h"

namespace {

constexpr size_t kCipherBuffer = 1 << 20;

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

// Half text, half binary of varying entropy: roughly what a server's files are.
std::string MixedContent(size_t n) {
  static const char* const kWords[] = {"mail ",   "server ", "<domain>", "account\r\n", "queue=",
                                       "0x7f3a ", "inbox ",  "\t",       "setup.Dat "};
  std::mt19937 gen(7);
  std::string s;
  s.reserve(n);
  while (s.size() < n) {
    if (gen() % 2) {
      for (int i = 0; i < 2000; ++i) s += kWords[gen() % 9];
    } else {
      const size_t run = 4096 + gen() % 16384;
      const unsigned spread = 1u << (gen() % 9);  // bytes from 1 to 256 values
      for (size_t i = 0; i < run; ++i) s += static_cast<char>(gen() % spread);
    }
  }
  s.resize(n);
  return s;
}

template <class Cipher, bool Encipher>
void CipherThroughput(benchmark::State& state) {
  Cipher cipher;
  cipher.InitKey("benchmark password");
  std::string buffer = RandomBytes(kCipherBuffer, 1);
  for (auto _ : state) {
    if (Encipher) {
      cipher.EncipherBytes(buffer.data(), buffer.data(), buffer.size());
    } else {
      cipher.DecipherBytes(buffer.data(), buffer.data(), buffer.size());
    }
    cipher.ResetChain();
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kCipherBuffer);
}

void BM_Cast256Encipher(benchmark::State& s) {
  CipherThroughput<crypto::TCipher_Cast256, true>(s);
}
void BM_Cast256Decipher(benchmark::State& s) {
  CipherThroughput<crypto::TCipher_Cast256, false>(s);
}
void BM_BlowfishEncipher(benchmark::State& s) {
  CipherThroughput<crypto::TCipher_Blowfish, true>(s);
}
void BM_BlowfishDecipher(benchmark::State& s) {
  CipherThroughput<crypto::TCipher_Blowfish, false>(s);
}
BENCHMARK(BM_Cast256Encipher);
BENCHMARK(BM_Cast256Decipher);
BENCHMARK(BM_BlowfishEncipher);
BENCHMARK(BM_BlowfishDecipher);

// Inflates the stream in 1 MiB pieces into a sink that only checksums, as extraction does
// before it writes; bytes counted are the content produced.
uint64_t InflateAndCheck(const char* data, size_t length, uint32_t& crc) {
  archive::TInflater inflater;
  archive::TCRC32 check;
  const archive::ZSink sink = [&check](const char* p, size_t n) { check.Update(p, n); };
  for (size_t pos = 0; pos < length; pos += 1 << 20) {
    const size_t n = std::min<size_t>(1 << 20, length - pos);
    if (inflater.Write(data + pos, n, sink) != archive::InflateState::kMore) break;
  }
  crc = check.Value();
  return inflater.TotalOut();
}

void BM_InflateCrc(benchmark::State& state) {
  const std::string content = MixedContent(32 << 20);
  const std::string stream = archive::CompressString(content, archive::clDefault);
  for (auto _ : state) {
    uint32_t crc = 0;
    benchmark::DoNotOptimize(InflateAndCheck(stream.data(), stream.size(), crc));
    if (crc != archive::StringCRC32(content)) state.SkipWithError("wrong content");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * content.size());
  state.counters["ratio"] = static_cast<double>(stream.size()) / content.size();
}
BENCHMARK(BM_InflateCrc)->Unit(benchmark::kMillisecond);

// The stored data of every entry of an archive, held in memory.
struct LoadedArchive {
  std::string bytes;
  struct Entry {
    size_t offset;
    uint32_t size;
    uint32_t crc;
  };
  std::vector<Entry> entries;
  uint32_t version = 0;
};

bool LoadArchive(const std::string& path, LoadedArchive& loaded) {
  std::vector<archive::EntryHeader> headers;
  archive::ExtractEnd end;
  if (!archive::ListArchive(path, loaded.version, headers, end)) return false;
  platform::File file;
  if (!file.Open(path, platform::File::Mode::Read)) return false;
  loaded.bytes.resize(static_cast<size_t>(file.Size()));
  if (file.Read(loaded.bytes.data(), static_cast<int64_t>(loaded.bytes.size())) !=
      static_cast<int64_t>(loaded.bytes.size())) {
    return false;
  }
  size_t offset =
      loaded.bytes.compare(0, 4, archive::kArchiveMagic, 4) == 0
          ? 8 + archive::GetLE32(reinterpret_cast<const unsigned char*>(loaded.bytes.data() + 4))
          : 0;
  for (const archive::EntryHeader& h : headers) {
    if (h.Encrypted) return false;
    offset += archive::EntryHeaderLength(h.Name, loaded.version);
    loaded.entries.push_back({offset, h.Size, h.CRC});
    offset += h.Size;
  }
  return offset <= loaded.bytes.size();
}

void ArchiveInflateCrc(benchmark::State& state, const LoadedArchive* loaded) {
  uint64_t content = 0;
  for (auto _ : state) {
    content = 0;
    for (const LoadedArchive::Entry& e : loaded->entries) {
      uint32_t crc = 0;
      if (e.size) content += InflateAndCheck(loaded->bytes.data() + e.offset, e.size, crc);
      if (loaded->version >= 3 && e.size && crc != e.crc) state.SkipWithError("CRC mismatch");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * content));
  state.counters["entries"] = static_cast<double>(loaded->entries.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  std::string archivePath;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--archive=", 10) == 0) {
      archivePath = argv[i] + 10;
    } else {
      args.push_back(argv[i]);
    }
  }
  LoadedArchive loaded;
  if (!archivePath.empty()) {
    if (!LoadArchive(archivePath, loaded)) {
      std::fprintf(stderr, "cannot load %s (or it is enciphered)\n", archivePath.c_str());
      return 1;
    }
    benchmark::RegisterBenchmark("BM_ArchiveInflateCrc", ArchiveInflateCrc, &loaded)
        ->Unit(benchmark::kMillisecond);
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

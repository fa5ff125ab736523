// Extracts arbitrary bytes as an archive, on the calling thread and on the parallel pipeline,
// and checks that both end the same way and leave the same files, all of them inside the
// destination. Options come from the input's length, so that the fuzzer can reach them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "archive/extract.h"
#include "platform/files.h"
#include "support/file_utils.h"

namespace {

const std::string kArchive = "C:\\in.ilds";
const std::string kDest = "C:\\out\\";

bool WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
  platform::File f;
  return f.Open(path, platform::File::Mode::Create) && f.Write(data, static_cast<int64_t>(size));
}

std::string ReadWhole(const std::string& path) {
  platform::File f;
  std::string out;
  if (!f.Open(path, platform::File::Mode::Read)) return out;
  char buffer[65536];
  for (int64_t n; (n = f.Read(buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  return out;
}

// Everything below a folder: files with their content, folders with a trailing "\".
std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> found;
  std::vector<std::string> pending{""};
  while (!pending.empty()) {
    const std::string relative = pending.back();
    pending.pop_back();
    std::vector<platform::DirEntry> entries;
    platform::ListDirectory(dir + relative + "*", entries);
    for (const auto& e : entries) {
      if (e.name == "." || e.name == "..") continue;
      if (e.attributes & platform::kAttrDirectory) {
        found[relative + e.name + "\\"] = "";
        pending.push_back(relative + e.name + "\\");
      } else {
        found[relative + e.name] = ReadWhole(dir + relative + e.name);
      }
    }
  }
  return found;
}

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "extract_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!WriteWhole(kArchive, data, size)) return 0;
  archive::ExtractOptions options;
  if (size % 2) options.Password = "pw";
  if (size % 3 == 0) {
    options.Overwrite = false;
    options.KeepList = ";a;";
  }
  archive::ExtractResult results[2];
  std::map<std::string, std::string> trees[2];
  const unsigned threads[2] = {1, 2};
  for (int i = 0; i < 2; ++i) {
    support::DeleteDirectory(kDest);
    options.Threads = threads[i];
    results[i] = archive::Extract(kArchive, kDest, options);
    trees[i] = Snapshot(kDest);
    // Nothing beside the archive and the destination.
    const auto top = Snapshot("C:\\");
    for (const auto& [name, content] : top)
      Check(name == "in.ilds" || name.rfind("out\\", 0) == 0, "a file outside the destination");
  }
  Check(results[0].Status == results[1].Status && results[0].End == results[1].End &&
            results[0].EntriesWritten == results[1].EntriesWritten &&
            results[0].FailedEntry == results[1].FailedEntry &&
            results[0].Version == results[1].Version,
        "the pipeline ended otherwise than the sequential extraction");
  Check(trees[0] == trees[1], "the pipeline wrote other files than the sequential extraction");

  // Listing and verification read the same bytes their own way.
  uint32_t version = 0;
  std::vector<archive::EntryHeader> entries;
  archive::ExtractEnd end;
  archive::ListArchive(kArchive, version, entries, end);
  Check(version == results[0].Version, "the listing read another version");
  options.VerifyOnly = true;
  archive::Extract(kArchive, "", options);
  support::DeleteDirectory(kDest);
  return 0;
}

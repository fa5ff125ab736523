#include "common/scratch_dir.h"

#include <atomic>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"

namespace testing_support {
namespace {

void RemoveTree(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  if (platform::ListDirectory(dir + "*", entries)) {
    for (const auto& e : entries) {
      if (e.name == "." || e.name == "..") continue;
      std::string path = dir + e.name;
      platform::SetFileAttributes(path, e.attributes & ~platform::kAttrReadOnly);
      if (e.attributes & platform::kAttrDirectory) {
        RemoveTree(path + "\\");
      } else {
        platform::DeleteFile(path);
      }
    }
  }
  platform::RemoveDirectory(dir);
}

}  // namespace

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
#ifdef _WIN32
  std::string base = platform::TempDirectory();
#else
  std::string base = "C:\\";
#endif
  if (!base.empty() && base.back() != '\\') base += '\\';
  for (;;) {
    path_ =
        base + "orvik-" + std::to_string(platform::Tick()) + "-" + std::to_string(++counter) + "\\";
    if (platform::CreateDirectory(path_)) break;
  }
}

ScratchDir::~ScratchDir() {
  RemoveTree(path_);
}

bool WriteFile(const std::string& path, const std::string& content) {
  platform::File f;
  return f.Open(path, platform::File::Mode::Create) && f.Write(content.data(), content.size());
}

std::string ReadFile(const std::string& path) {
  platform::File f;
  if (!f.Open(path, platform::File::Mode::Read)) return {};
  std::string out;
  char buffer[65536];
  for (int64_t n; (n = f.Read(buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  return out;
}

}  // namespace testing_support

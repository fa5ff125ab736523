// Windows paths on the native file system.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/posix/posix_platform.h"

namespace platform::posix {
namespace {

std::mutex rootMutex;
std::string driveRoot;

std::string DefaultRoot() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/orvik-drives";
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The entry of dir whose name equals leaf without regard to case, or leaf.
std::string FindNoCase(const std::string& dir, const std::string& leaf) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return leaf;
  std::string found = leaf;
  while (dirent* e = readdir(d)) {
    if (strcasecmp(e->d_name, leaf.c_str()) == 0) {
      found = e->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

// A drive path with "." and ".." resolved in the text, as Windows resolves
// them before it looks at the disk: "C:\missing\..\x" is "C:\x", and ".."
// stops at the drive's root.
std::string Normalized(const std::string& path) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    std::string part = path.substr(pos, next - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = next + 1;
  }
  std::string out;
  for (const auto& part : parts) out += "/" + part;
  if (out.empty() || (path.size() > 0 && path.back() == '/')) out += '/';
  return out;
}

}  // namespace

void SetDriveRoot(const std::string& root) {
  std::lock_guard<std::mutex> lock(rootMutex);
  driveRoot = root;
  while (driveRoot.size() > 1 && driveRoot.back() == '/') driveRoot.pop_back();
  mkdir(driveRoot.c_str(), 0755);
  mkdir((driveRoot + "/c").c_str(), 0755);
}

std::string DriveRoot() {
  std::lock_guard<std::mutex> lock(rootMutex);
  if (driveRoot.empty()) driveRoot = DefaultRoot();
  return driveRoot;
}

std::string MapPath(const std::string& windowsPath) {
  std::string path = windowsPath;
  for (char& c : path)
    if (c == '\\') c = '/';
  std::string prefix;
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    prefix =
        DriveRoot() + "/" + static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    path = Normalized(path.substr(2));
  }
  std::string full = prefix + path;
  if (Exists(full)) return full;

  // Resolve component by component, matching names without regard to case.
  std::string resolved = prefix;
  size_t pos = 0;
  if (!path.empty() && path[0] == '/') {
    resolved += '/';
    pos = 1;
  }
  while (pos < path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    std::string leaf = path.substr(pos, next - pos);
    if (!leaf.empty() && leaf != "." && leaf != ".." && !Exists(resolved + leaf))
      leaf = FindNoCase(resolved.empty() ? "." : resolved, leaf);
    resolved += leaf;
    if (next < path.size()) resolved += '/';
    pos = next + 1;
  }
  return resolved;
}

}  // namespace platform::posix

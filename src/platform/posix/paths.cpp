// Windows paths on the native file system.
#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/posix/path_changes.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/windows_names.h"

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

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The names of directories looked into, so that finding a name without regard to case
// (mostly: learning that a new file's name is not there yet) does not read the whole
// directory each time. A listing stays current while the directory's modification time
// is the one seen when it was read; changes made through this layer are added to it as
// they happen. A change by another program within the same clock tick as the last look
// can pass unseen; only a name in another case than the one asked for is then missed.
class Listings {
 public:
  // The entry of dir whose name equals leaf without regard to case, or leaf; false when
  // dir is no directory.
  bool Find(const std::string& dir, const std::string& leaf, std::string& name) {
    struct stat st;
    if (stat(dir.empty() ? "." : dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    Listing fresh;
    // A relative folder is read each time: the current directory may change.
    Listing& listing =
        dir.empty() || dir[0] != '/' ? Read(dir, st.st_mtim, fresh) : Current(dir, st.st_mtim);
    auto found = listing.names.find(Lower(leaf));
    name = found == listing.names.end() ? leaf : found->second;
    return true;
  }

  // A directory this process has just made: nothing in it to read.
  void Created(const std::string& dir) {
    struct stat st;
    if (dir.empty() || dir[0] != '/' || stat(dir.c_str(), &st) != 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (listings_.size() >= kMaxListings) listings_.clear();
    Listing& listing = listings_[dir];
    listing.mtime = st.st_mtim;
    listing.names = {{".", "."}, {"..", ".."}};
  }

  // Our own change of dir's entries: the listing follows it when it was current before.
  void Changed(const std::string& dir, const std::vector<std::string>& leaves,
               const struct timespec& before) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = listings_.find(dir);
    if (it == listings_.end()) return;
    struct stat st;
    if (!SameTime(it->second.mtime, before) || stat(dir.c_str(), &st) != 0) {
      listings_.erase(it);
      return;
    }
    it->second.mtime = st.st_mtim;
    // Removals first: a rename to another case leaves the name under its new spelling.
    auto& names = it->second.names;
    for (const std::string& leaf : leaves) {
      auto known = names.find(Lower(leaf));
      if (known != names.end() && known->second == leaf && !Exists(dir + "/" + leaf))
        names.erase(known);
    }
    for (const std::string& leaf : leaves)
      if (Exists(dir + "/" + leaf)) names[Lower(leaf)] = leaf;
  }

  // A directory that was removed or renamed, with everything below it.
  void Forget(const std::string& dir) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = listings_.begin(); it != listings_.end();) {
      const std::string& key = it->first;
      const bool below = key.compare(0, dir.size(), dir) == 0 &&
                         (key.size() == dir.size() || key[dir.size()] == '/');
      it = below ? listings_.erase(it) : std::next(it);
    }
  }

 private:
  struct Listing {
    struct timespec mtime = {};
    std::unordered_map<std::string, std::string> names;  // lower case -> as stored
  };
  static constexpr size_t kMaxListings = 1024;

  // The time is the one seen before reading: a change while reading makes the listing old.
  static Listing& Read(const std::string& dir, const struct timespec& mtime, Listing& listing) {
    listing.mtime = mtime;
    listing.names.clear();
    if (DIR* d = opendir(dir.empty() ? "." : dir.c_str())) {
      while (dirent* e = readdir(d)) listing.names.emplace(Lower(e->d_name), e->d_name);
      closedir(d);
    }
    return listing;
  }

  Listing& Current(const std::string& dir, const struct timespec& mtime) {
    auto it = listings_.find(dir);
    if (it != listings_.end() && SameTime(it->second.mtime, mtime)) return it->second;
    if (it == listings_.end()) {
      if (listings_.size() >= kMaxListings) listings_.clear();
      it = listings_.emplace(dir, Listing{}).first;
    }
    return Read(dir, mtime, it->second);
  }

  std::mutex mutex_;
  std::unordered_map<std::string, Listing> listings_;
};

Listings listings;

// A native directory path as the listings are keyed: without trailing slashes.
std::string DirectoryKey(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The parent directory and leaf of a native path ("" for the current directory).
void Split(const std::string& native, std::string& dir, std::string& leaf) {
  const std::string path = DirectoryKey(native);
  const size_t cut = path.rfind('/');
  dir = cut == std::string::npos ? "" : path.substr(0, cut == 0 ? 1 : cut);
  leaf = cut == std::string::npos ? path : path.substr(cut + 1);
}

// The components of a path, with what Windows drops from them: the last one, unless the
// path ends in a separator, loses its trailing dots and blanks ("name. " is "name"); the
// others lose one trailing dot ("dir.\x" is "dir\x", "dir \x" keeps its blank); names of
// dots only stay. With resolveDots, "." and ".." are resolved in the text, as Windows
// resolves them before it looks at the disk: "C:\missing\..\x" is "C:\x", and ".." stops
// at the drive's root.
std::string Cleaned(const std::string& path, bool resolveDots) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    std::string part = path.substr(pos, next - pos);
    const bool last = next == path.size();
    pos = next + 1;
    if (part.empty()) continue;
    if (resolveDots && (part == "." || part == "..")) {
      if (part == ".." && !parts.empty()) parts.pop_back();
      continue;
    }
    DropTrailing(part, last);
    if (!part.empty()) parts.push_back(part);
  }
  const bool rooted = resolveDots || (!path.empty() && path[0] == '/');
  std::string out;
  for (const auto& part : parts) {
    if (rooted || !out.empty()) out += '/';
    out += part;
  }
  if ((rooted && out.empty()) || (!out.empty() && !path.empty() && path.back() == '/')) out += '/';
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
  const bool drive =
      path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
  if (drive) {
    prefix =
        DriveRoot() + "/" + static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    path = path.substr(2);
  }
  path = Cleaned(path, drive);
  std::string full = prefix + path;
  if (Exists(full)) return full;

  // Most often the folder is there as written and only the last name is new or in
  // another case.
  std::string dir, leaf;
  Split(full, dir, leaf);
  std::string found;
  if (!leaf.empty() && dir.size() >= prefix.size() && listings.Find(dir, leaf, found)) {
    return (dir.empty()  ? ""
            : dir == "/" ? "/"
                         : dir + "/") +
           found + (full.back() == '/' && found.back() != '/' ? "/" : "");
  }

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
    std::string part = path.substr(pos, next - pos);
    if (!part.empty() && part != "." && part != ".." && !Exists(resolved + part) &&
        listings.Find(resolved.size() > 1 && resolved.back() == '/'
                          ? resolved.substr(0, resolved.size() - 1)
                          : resolved,
                      part, found))
      part = found;
    resolved += part;
    if (next < path.size()) resolved += '/';
    pos = next + 1;
  }
  return resolved;
}

DirectoryChange::DirectoryChange(std::initializer_list<std::string> natives) {
  for (const std::string& native : natives) {
    Entry entry;
    Split(native, entry.dir, entry.leaf);
    struct stat st;
    if (entry.dir.empty() || entry.leaf.empty() || stat(entry.dir.c_str(), &st) != 0) continue;
    entry.before = st.st_mtim;
    entries_.push_back(entry);
  }
}

DirectoryChange::~DirectoryChange() {
  // Both names of a rename within one folder are one change of that folder.
  for (size_t i = 0; i < entries_.size(); ++i) {
    std::vector<std::string> leaves{entries_[i].leaf};
    if (i + 1 < entries_.size() && entries_[i + 1].dir == entries_[i].dir)
      leaves.push_back(entries_[++i].leaf);
    listings.Changed(entries_[i].dir, leaves, entries_[i].before);
  }
}

void RememberNewDirectory(const std::string& native) {
  listings.Created(DirectoryKey(native));
}

void ForgetDirectory(const std::string& native) {
  listings.Forget(DirectoryKey(native));
}

}  // namespace platform::posix

// A folder through file descriptors: each folder is opened relative to its
// parent with O_NOFOLLOW, listed with fdopendir and emptied with unlinkat, so
// a name swapped for a link meanwhile is never followed.
#include "platform/folder_handle.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "platform/posix/file_layer.h"
#include "platform/posix/path_changes.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/windows_names.h"

namespace platform {
namespace {

int OpenBelow(int parent, const std::string& name) {
  return openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

}  // namespace

bool FolderHandle::Open(const std::string& path) {
  Close();
  std::string native = posix::MapPath(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  // The drive's own folder is the caller's to trust; below it every name is
  // opened without following a link.
  const bool drive =
      path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
  const std::string start =
      drive ? posix::DriveRoot() + "/" +
                  static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])))
            : "/";
  if (native.rfind(start, 0) != 0) return false;
  int fd = open(start.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (size_t pos = start.size(); fd >= 0 && pos < native.size();) {
    if (native[pos] == '/') {
      ++pos;
      continue;
    }
    const size_t end = std::min(native.find('/', pos), native.size());
    const int child = OpenBelow(fd, native.substr(pos, end - pos));
    close(fd);
    fd = child;
    pos = end;
  }
  if (fd < 0) return false;
  handle_ = fd;
  path_ = path;
  if (path_.back() != '\\') path_ += '\\';
  native_ = native == "/" ? "" : native;
  return true;
}

bool FolderHandle::OpenChild(const std::string& name, FolderHandle& child) const {
  child.Close();
  if (handle_ < 0 || name.empty() || name == "." || name == ".." ||
      name.find_first_of("/\\") != std::string::npos)
    return false;
  const int fd = OpenBelow(static_cast<int>(handle_), name);
  if (fd < 0) return false;
  child.handle_ = fd;
  child.path_ = path_ + name + "\\";
  child.native_ = native_ + "/" + name;
  return true;
}

void FolderHandle::Close() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = -1;
}

bool FolderHandle::IsOpen() const {
  return handle_ >= 0;
}

bool FolderHandle::List(std::vector<DirEntry>& entries, const std::string& mask) const {
  entries.clear();
  if (handle_ < 0) return false;
  const int fd = dup(static_cast<int>(handle_));
  DIR* d = fd < 0 ? nullptr : fdopendir(fd);
  if (!d) {
    if (fd >= 0) close(fd);
    return false;
  }
  rewinddir(d);
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == ".." || !posix::MaskMatches(name, mask)) continue;
    struct stat st;
    if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    DirEntry entry;
    entry.name = name;
    if (S_ISLNK(st.st_mode)) {
      entry.attributes |= kAttrReparsePoint;
      struct stat target;
      if (fstatat(fd, name.c_str(), &target, 0) == 0) st = target;
    }
    entry.attributes |= S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
    if (!(st.st_mode & S_IWUSR)) entry.attributes |= kAttrReadOnly;
    if (!S_ISDIR(st.st_mode)) entry.size = st.st_size;
    entry.modified = posix::OleDateOf(st.st_mtim);
    entries.push_back(entry);
  }
  closedir(d);
  return true;
}

bool FolderHandle::Remove(const std::string& name) const {
  if (handle_ < 0 || name.empty() || name == "." || name == ".." ||
      name.find_first_of("/\\") != std::string::npos)
    return false;
  if (!posix::ChangeAllowed(posix::FileChange::Delete, path_ + name)) return false;
  const int fd = static_cast<int>(handle_);
  struct stat st;
  if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) {  // read-only
    errno = EACCES;
    return false;
  }
  const std::string native = native_ + "/" + name;
  posix::DirectoryChange change({native});
  if (S_ISDIR(st.st_mode)) posix::ForgetDirectory(native);
  return unlinkat(fd, name.c_str(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) == 0;
}

}  // namespace platform

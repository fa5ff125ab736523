// Files and directories on the native file system, with Windows semantics.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <optional>

#include "platform/datetime.h"
#include "platform/posix/file_layer.h"
#include "platform/posix/path_changes.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/tm_fields.h"
#include "platform/posix/windows_names.h"

namespace platform {
namespace {

// Sets errno for a failure that no system call reported.
bool Fail(int error) {
  errno = error;
  return false;
}

posix::FileFault& Fault() {
  static posix::FileFault fault;
  return fault;
}

// False, with the hook's errno, when the tests' hook refuses the change.
bool Allowed(posix::FileChange change, const std::string& path, const std::string& target = "") {
  const int error = Fault() ? Fault()(change, path, target) : 0;
  return error == 0 || Fail(error);
}

using posix::DirectoryChange;
using posix::MapPath;
using posix::MaskMatches;

// Windows shows file times in local time with the bias in force now
// (FileTimeToLocalFileTime), not the bias of the file's date; so do we.
long CurrentBias() {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return local.tm_gmtoff;
}

double ToOleDate(const struct timespec& t) {
  time_t shifted = t.tv_sec + CurrentBias();
  struct tm fields;
  gmtime_r(&shifted, &fields);
  return EncodeDateTime(posix::FieldsOf(fields, static_cast<int>(t.tv_nsec / 1000000)));
}

struct timespec FromOleDate(double value) {
  DateTimeFields f = DecodeDateTime(value);
  struct tm fields = {};
  fields.tm_year = f.year - 1900;
  fields.tm_mon = f.month - 1;
  fields.tm_mday = f.day;
  fields.tm_hour = f.hour;
  fields.tm_min = f.minute;
  fields.tm_sec = f.second;
  struct timespec t;
  t.tv_sec = timegm(&fields) - CurrentBias();
  t.tv_nsec = f.millisecond * 1000000L;
  return t;
}

uint32_t AttributesOf(const std::string& native) {
  struct stat st;
  if (lstat(native.c_str(), &st) != 0) return kInvalidAttributes;
  uint32_t attributes = 0;
  if (S_ISLNK(st.st_mode)) {
    attributes |= kAttrReparsePoint;
    struct stat target;
    if (stat(native.c_str(), &target) == 0) st = target;
  }
  if (S_ISDIR(st.st_mode))
    attributes |= kAttrDirectory;
  else
    attributes |= kAttrArchive;
  if (!(st.st_mode & S_IWUSR)) attributes |= kAttrReadOnly;
  return attributes;
}

bool IsReadOnly(const std::string& native) {
  uint32_t a = AttributesOf(native);
  return a != kInvalidAttributes && (a & kAttrReadOnly);
}

// The last component of a Windows path as written, without case resolution.
std::string LiteralLeaf(const std::string& path) {
  size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool CopyContents(int in, int out) {
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buffer + done, n - done);
      if (w < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += w;
    }
  }
}

}  // namespace

void posix::SetFileFault(FileFault fault) {
  Fault() = std::move(fault);
}

bool posix::ChangeAllowed(FileChange change, const std::string& path, const std::string& target) {
  return Allowed(change, path, target);
}

double posix::OleDateOf(const struct timespec& t) {
  return ToOleDate(t);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat x, y;
  return stat(MapPath(a).c_str(), &x) == 0 && stat(MapPath(b).c_str(), &y) == 0 &&
         x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

void PrepareDrive(const std::string& path) {
  if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0])))
    return;
  posix::SetDriveRoot(posix::DriveRoot());
  CreateDirectory(path.substr(0, 2) + "\\");
}

uint32_t GetFileAttributes(const std::string& path) {
  return AttributesOf(MapPath(path));
}

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  std::string native = MapPath(path);
  struct stat st;
  if (stat(native.c_str(), &st) != 0) return false;
  // Read-only does not protect a directory's contents on Windows; taking the
  // write bits from a directory here would.
  if (S_ISDIR(st.st_mode)) return true;
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & kAttrReadOnly) ? (mode & ~0222) : (mode | S_IWUSR);
  return chmod(native.c_str(), mode) == 0;
}

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
  std::string from = MapPath(source), to = MapPath(target);
  struct stat st;
  if (stat(from.c_str(), &st) != 0) return false;
  if (!Allowed(posix::FileChange::Create, target, source)) return false;
  // The failures that are no system call's get the errno of Windows' answer.
  if (S_ISDIR(st.st_mode)) return Fail(EACCES);
  if (IsReadOnly(to)) return Fail(EACCES);  // Windows refuses to replace a read-only file
  struct stat existing;
  if (stat(to.c_str(), &existing) == 0 && existing.st_dev == st.st_dev &&
      existing.st_ino == st.st_ino)
    return Fail(EBUSY);  // onto itself: truncating the target would lose the source
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  DirectoryChange change({to});
  int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (failIfExists ? O_EXCL : 0);
  int out = open(to.c_str(), flags, st.st_mode & 0777);
  if (out < 0) {
    close(in);
    return false;
  }
  bool ok = CopyContents(in, out);
  // A copy keeps the source's modification time and attributes, as on Windows.
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  futimens(out, times);
  fchmod(out, st.st_mode & 0777);
  ok = close(out) == 0 && ok;
  close(in);
  if (!ok) unlink(to.c_str());
  return ok;
}

bool MoveFile(const std::string& source, const std::string& target) {
  if (!Allowed(posix::FileChange::Rename, source, target)) return false;
  std::string from = MapPath(source), to = MapPath(target);
  struct stat st, existing;
  if (lstat(from.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) posix::ForgetDirectory(from);
  if (lstat(to.c_str(), &existing) == 0) {
    // The target is the source itself under another case: Windows renames it.
    if (existing.st_dev != st.st_dev || existing.st_ino != st.st_ino ||
        strcasecmp(from.c_str(), to.c_str()) != 0)
      return false;
    std::string literal = LiteralLeaf(target);
    size_t cut = to.find_last_of('/');
    if (literal.empty() || cut == std::string::npos) return false;
    to = to.substr(0, cut + 1) + literal;
    DirectoryChange change({from, to});
    return to == from || rename(from.c_str(), to.c_str()) == 0;
  }
  DirectoryChange change({from, to});
  // Never replaces, even when a target appears meanwhile.
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EINVAL || errno == ENOSYS) {  // file systems without it
    if (lstat(to.c_str(), &existing) == 0) return false;
    if (rename(from.c_str(), to.c_str()) == 0) return true;
  }
  if (errno != EXDEV || !S_ISREG(st.st_mode)) return false;
  // Across volumes a file is copied and the source removed, as Windows does.
  if (!CopyFile(source, target, true)) return false;
  return unlink(from.c_str()) == 0;
}

bool ReplaceFile(const std::string& source, const std::string& target) {
  if (!Allowed(posix::FileChange::Rename, source, target)) return false;
  std::string from = MapPath(source), to = MapPath(target);
  struct stat st;
  // Windows refuses a folder or a read-only file as the target: access denied.
  if ((lstat(to.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) || IsReadOnly(to)) {
    errno = EACCES;
    return false;
  }
  DirectoryChange change({from, to});
  return rename(from.c_str(), to.c_str()) == 0;
}

bool DeleteFile(const std::string& path) {
  if (!Allowed(posix::FileChange::Delete, path)) return false;
  std::string native = MapPath(path);
  struct stat st;
  if (lstat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) return false;  // read-only
  // A link to a directory is a directory to Windows: RemoveDirectory removes it.
  if (S_ISLNK(st.st_mode) && (AttributesOf(native) & kAttrDirectory)) return false;
  DirectoryChange change({native});
  return unlink(native.c_str()) == 0;
}

bool DeleteAtRestart(const std::string&) {
  return false;
}

bool CreateDirectory(const std::string& path) {
  if (!Allowed(posix::FileChange::Create, path)) return false;
  const std::string native = MapPath(path);
  DirectoryChange change({native});
  if (mkdir(native.c_str(), 0755) != 0) return false;
  posix::RememberNewDirectory(native);
  return true;
}

bool InheritAccess(const std::string& path) {
  return GetFileAttributes(path) != kInvalidAttributes;
}

bool RemoveDirectory(const std::string& path) {
  if (!Allowed(posix::FileChange::Delete, path)) return false;
  std::string native = MapPath(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  struct stat st;
  if (lstat(native.c_str(), &st) != 0) return false;
  DirectoryChange change({native});
  posix::ForgetDirectory(native);
  // A link to a directory is removed itself, never what it points to.
  if (S_ISLNK(st.st_mode))
    return (AttributesOf(native) & kAttrDirectory) && unlink(native.c_str()) == 0;
  return rmdir(native.c_str()) == 0;
}

bool ListDirectory(const std::string& pathWithMask, std::vector<DirEntry>& entries) {
  entries.clear();
  size_t cut = pathWithMask.find_last_of("\\/");
  std::string dir = cut == std::string::npos ? "" : pathWithMask.substr(0, cut + 1);
  std::string mask = cut == std::string::npos ? pathWithMask : pathWithMask.substr(cut + 1);
  if (mask.empty()) return false;
  std::string native = MapPath(dir.empty() ? "." : dir);
  DIR* d = opendir(native.c_str());
  if (!d) return false;
  if (!native.empty() && native.back() != '/') native += '/';
  // A drive's root directory has no "." and ".." entries.
  bool driveRoot =
      dir.size() == 3 && dir[1] == ':' && std::isalpha(static_cast<unsigned char>(dir[0]));
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (driveRoot && (name == "." || name == "..")) continue;
    if (!MaskMatches(name, mask)) continue;
    DirEntry entry;
    entry.name = name;
    entry.attributes = AttributesOf(native + name);
    if (entry.attributes == kInvalidAttributes) continue;
    struct stat st;
    if (stat((native + name).c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) entry.size = st.st_size;
      entry.modified = ToOleDate(st.st_mtim);
    }
    entries.push_back(entry);
  }
  closedir(d);
  return true;
}

int64_t FileSize(const std::string& path) {
  struct stat st;
  if (stat(MapPath(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return st.st_size;
}

bool GetFileModified(const std::string& path, double& modified) {
  struct stat st;
  if (stat(MapPath(path).c_str(), &st) != 0) return false;
  modified = ToOleDate(st.st_mtim);
  return true;
}

bool SetFileModified(const std::string& path, double modified) {
  // The modification time only; the access time stays.
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = FromOleDate(modified);
  return utimensat(AT_FDCWD, MapPath(path).c_str(), times, 0) == 0;
}

bool File::Open(const std::string& path, Mode mode) {
  Close();
  std::string native = MapPath(path);
  struct stat st;
  bool exists = stat(native.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return false;
  if (mode != Mode::Read && exists && !(st.st_mode & S_IWUSR)) return false;  // read-only
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::Read:
      flags |= O_RDONLY;
      break;
    case Mode::ReadWrite:
      flags |= O_RDWR;
      break;
    case Mode::Create:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
    case Mode::CreateNew:
      // O_EXCL also refuses a symbolic link, even one to nothing.
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
  }
  if ((mode == Mode::Create || mode == Mode::CreateNew) &&
      !Allowed(posix::FileChange::Create, path))
    return false;
  std::optional<DirectoryChange> change;
  if (!exists && (mode == Mode::Create || mode == Mode::CreateNew)) change.emplace({native});
  int fd = open(native.c_str(), flags, 0644);
  if (fd < 0) return false;
  handle_ = fd;
  return true;
}

void File::Close() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = -1;
}

bool File::IsOpen() const {
  return handle_ >= 0;
}

int64_t File::Read(void* buffer, int64_t count) {
  if (handle_ < 0 || count < 0) return -1;
  for (;;) {
    ssize_t n = read(static_cast<int>(handle_), buffer, static_cast<size_t>(count));
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

bool File::Write(const void* data, int64_t count) {
  if (handle_ < 0 || count < 0) return false;
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    ssize_t n = write(static_cast<int>(handle_), p, static_cast<size_t>(count));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    count -= n;
  }
  return true;
}

bool File::Seek(int64_t offset) {
  return handle_ >= 0 && offset >= 0 &&
         lseek(static_cast<int>(handle_), offset, SEEK_SET) == offset;
}

bool File::SeekToEnd() {
  return handle_ >= 0 && lseek(static_cast<int>(handle_), 0, SEEK_END) >= 0;
}

int64_t File::Position() {
  return handle_ >= 0 ? lseek(static_cast<int>(handle_), 0, SEEK_CUR) : -1;
}

int64_t File::Size() {
  struct stat st;
  return handle_ >= 0 && fstat(static_cast<int>(handle_), &st) == 0 ? st.st_size : -1;
}

bool File::Flush() {
  return handle_ >= 0 && fsync(static_cast<int>(handle_)) == 0;
}

std::string LongPathName(const std::string& path) {
  return path;
}

std::string CurrentDirectory() {
  char buffer[PATH_MAX], root[PATH_MAX];
  if (!getcwd(buffer, sizeof buffer)) return {};
  const std::string native = buffer;
  // Below the drive root a folder has its drive's Windows path: <root>/c/x is "C:\x".
  if (!realpath(posix::DriveRoot().c_str(), root)) return native;
  const std::string prefix = std::string(root) + "/";
  if (native.compare(0, prefix.size(), prefix) != 0) return native;
  const std::string rest = native.substr(prefix.size());  // "c" or "c/x"
  if (rest.empty() || !std::isalpha(static_cast<unsigned char>(rest[0])) ||
      (rest.size() > 1 && rest[1] != '/'))
    return native;
  std::string path =
      std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])))) + ":" +
      (rest.size() > 1 ? rest.substr(1) : "/");
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

bool SetCurrentDirectory(const std::string& path) {
  return chdir(MapPath(path).c_str()) == 0;
}

}  // namespace platform

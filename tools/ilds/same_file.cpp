#include "same_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>

#include "platform/posix/posix_platform.h"
#endif

namespace ilds {

#ifdef _WIN32

namespace {

bool Identity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  return ok;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION x, y;
  return Identity(a, x) && Identity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

#else

bool SameFile(const std::string& a, const std::string& b) {
  struct stat x, y;
  return stat(platform::posix::MapPath(a).c_str(), &x) == 0 &&
         stat(platform::posix::MapPath(b).c_str(), &y) == 0 && x.st_dev == y.st_dev &&
         x.st_ino == y.st_ino;
}

#endif

}  // namespace ilds

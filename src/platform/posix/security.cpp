// Owners without access lists: a user id is a SID of the form Samba gives
// it (S-1-22-1-uid), root is the Administrators.
#include "platform/security.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include "platform/posix/posix_platform.h"

namespace platform {
namespace {

std::string SidOfUser(uid_t uid) {
  return uid == 0 ? kSidAdministrators : "S-1-22-1-" + std::to_string(uid);
}

std::string WithoutTrailingSlash(std::string native) {
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  return native;
}

// The Windows path of a native path below the drive root; the native path
// itself when it lies elsewhere.
std::string WindowsPathOf(const std::string& native) {
  char buffer[PATH_MAX];
  if (!realpath(posix::DriveRoot().c_str(), buffer)) return native;
  const std::string root = std::string(buffer) + "/";
  if (native.size() < root.size() + 1 || native.compare(0, root.size(), root) != 0 ||
      !std::isalpha(static_cast<unsigned char>(native[root.size()])) ||
      (native.size() > root.size() + 1 && native[root.size() + 1] != '/'))
    return native;
  std::string path(
      1, static_cast<char>(std::toupper(static_cast<unsigned char>(native[root.size()]))));
  path += ":\\";
  for (std::size_t i = root.size() + 2; i < native.size(); ++i)
    path += native[i] == '/' ? '\\' : native[i];
  return path;
}

}  // namespace

std::string CurrentUserSid() {
  return SidOfUser(geteuid());
}

bool ReadFolderSecurity(const std::string& folder, FolderSecurity& security) {
  struct stat st;
  if (lstat(WithoutTrailingSlash(posix::MapPath(folder)).c_str(), &st) != 0) return false;
  security = FolderSecurity();
  security.Owner = SidOfUser(st.st_uid);
  return true;
}

SecureResult SetFolderSecurity(
    const std::string& folder, const FolderSecurity&,
    const std::function<bool(const std::string& finalPath, const FolderSecurity& current)>& check) {
  const std::string native = WithoutTrailingSlash(posix::MapPath(folder));
  const int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    struct stat st;
    return errno == ELOOP || (lstat(native.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
               ? SecureResult::Link
               : SecureResult::Failed;
  }
  char final[PATH_MAX];
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t length = readlink(self.c_str(), final, sizeof final - 1);
  struct stat st;
  SecureResult result = SecureResult::Failed;
  if (length > 0 && fstat(fd, &st) == 0) {
    FolderSecurity current;
    current.Owner = SidOfUser(st.st_uid);
    // No access list to set: what the check accepted stays as it is.
    result = check(WindowsPathOf(std::string(final, static_cast<std::size_t>(length))), current)
                 ? SecureResult::Done
                 : SecureResult::Refused;
  }
  close(fd);
  return result;
}

}  // namespace platform

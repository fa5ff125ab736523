#include "common/directory_link.h"

#include "platform/files.h"

#ifdef _WIN32
#include "platform/win32/windows_api.h"
#else
#include <unistd.h>

#include "platform/posix/posix_platform.h"
#endif

namespace testing_support {

bool MakeDirectoryLink(const std::string& link, const std::string& target) {
#ifdef _WIN32
  if (!CreateSymbolicLinkA(
          link.c_str(), target.c_str(),
          SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
    return false;
#else
  if (symlink(platform::posix::MapPath(target).c_str(), platform::posix::MapPath(link).c_str()) !=
      0)
    return false;
#endif
  // Some systems (Wine 8) report success without making a link.
  uint32_t a = platform::GetFileAttributes(link);
  return a != platform::kInvalidAttributes && (a & platform::kAttrReparsePoint);
}

}  // namespace testing_support

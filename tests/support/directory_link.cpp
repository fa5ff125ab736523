#include "support/directory_link.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include "platform/posix/posix_platform.h"
#endif

namespace testing_support {

bool MakeDirectoryLink(const std::string& target, const std::string& link) {
#ifdef _WIN32
  return CreateSymbolicLinkA(
             link.c_str(), target.c_str(),
             SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0;
#else
  return symlink(platform::posix::MapPath(target).c_str(),
                 platform::posix::MapPath(link).c_str()) == 0;
#endif
}

}  // namespace testing_support

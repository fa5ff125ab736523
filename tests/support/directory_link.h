// Directory links for the tests that check a link is never followed. Kept
// apart because <windows.h> renames the platform layer's functions by macro.
#pragma once

#include <string>

namespace testing_support {

// Makes `link` a symbolic link to the directory `target` (both Windows paths
// without a trailing "\"); false where the system refuses.
bool MakeDirectoryLink(const std::string& target, const std::string& link);

}  // namespace testing_support

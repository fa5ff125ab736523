// Directory links for the tests that check a link is never followed. Kept
// apart because <windows.h> renames the platform layer's functions by macro.
#pragma once

#include <string>

namespace testing_support {

// Makes `link` a symbolic link to the directory `target` (both Windows paths
// without a trailing "\"); false where the system refuses, or where it reports
// success without making a link.
bool MakeDirectoryLink(const std::string& link, const std::string& target);

}  // namespace testing_support

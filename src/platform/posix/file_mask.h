// Windows' rules for the mask of a directory listing, for the posix file ports.
#pragma once

#include <string>

namespace platform::posix {

// Whether a name matches a mask as FindFirstFile matches it, without regard to case.
bool MaskMatches(const std::string& name, const std::string& mask);

}  // namespace platform::posix

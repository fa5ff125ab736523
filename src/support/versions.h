// Version numbers of the form major.minor.release-build.
#pragma once

#include <cstdint>
#include <string>

namespace support {

// major * 1000000 + minor * 10000 + release * 100 + build; missing parts are 0.
// A part of 100 or more spills into the next one, as the number always did.
int64_t VersionNumber(const std::string& text);
bool VersionAtLeast(const std::string& a, const std::string& b);

}  // namespace support

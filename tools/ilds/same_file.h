// Whether two paths name one file (hard links, "." and ".." and case all seen through).
#pragma once

#include <string>

namespace ilds {

// False when either does not exist.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace ilds

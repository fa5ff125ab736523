// What the parts of the posix file port share.
#pragma once

#include <time.h>

#include <string>

#include "platform/posix/posix_platform.h"

namespace platform::posix {

// The tests' fault hook (SetFileFault), asked before each change: false, with
// the hook's errno, when it refuses.
bool ChangeAllowed(FileChange change, const std::string& path, const std::string& target = "");
// A file time as the core reads it: local time, days since 1899-12-30.
double OleDateOf(const struct timespec& t);

}  // namespace platform::posix

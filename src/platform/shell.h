// The platform shell.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Window show commands as the shell takes them.
constexpr int kShowNormal = 1;

// Hands a file or address to the shell's execute operation; an empty verb is the
// default action. False when the shell refuses.
bool ShellExecute(uintptr_t window, const std::string& verb, const std::string& file,
                  const std::string& parameters, const std::string& directory, int showCommand);

}  // namespace platform

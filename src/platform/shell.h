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

// Creates the shortcut linkFile to target. The arguments are set when given, the
// icon location (the target with that index) when the index is not 0; no
// working directory, description or hot key. False when the link cannot be
// made or saved (a missing folder is not created).
bool CreateShellLink(const std::string& target, const std::string& linkFile,
                     const std::string& arguments, int iconIndex);

enum class SpecialFolder {
  Desktop,         // the current user's desktop
  CommonPrograms,  // the all-users Start menu programs
  Programs,        // the current user's Start menu programs
  Profile,         // the current user's profile
  CommonAppData,   // the application data of every user (ProgramData)
};
// The folder as the shell names it, without a trailing backslash; "" when the
// shell names none.
std::string SpecialFolderPath(SpecialFolder folder);

}  // namespace platform

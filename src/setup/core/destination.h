// Where the server may be installed. Its services run as LocalSystem, which
// reaches neither network shares nor mapped drives, and every installed file
// must stay within the length Windows allows for a path.
#pragma once

#include <cstddef>
#include <string>

namespace setup {

enum class DestinationFault {
  None,
  NotAbsolute,   // not "X:\..." (relative, "." or ".." parts)
  Network,       // a UNC path or a mapped network drive
  DriveRoot,     // "X:\" itself
  SystemFolder,  // the Windows, system or Program Files folder itself
  BadCharacter,  // * ? " < > | : or a control character
  TooLong,       // the deepest installed file would reach 260 characters
};

// The longest path below the installation folder that an installation writes,
// when the package does not tell.
constexpr std::size_t kDeepestInstalledPath = 96;

// The program folder of the machine ("ProgramFilesDir", else "C:\Program
// Files\"), with a trailing "\".
std::string ProgramFilesFolder();

// Whether dir may be the installation folder; deepest is the length of the
// longest path below it that the installation writes.
DestinationFault CheckDestination(const std::string& dir,
                                  std::size_t deepest = kDeepestInstalledPath);
// What the user is told of a folder refused for that fault.
std::string DestinationRefusal(const std::string& dir, DestinationFault fault);

}  // namespace setup

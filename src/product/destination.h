// Where the server may be installed, and the names it gives files and folders.
// Its services run as LocalSystem, which reaches neither network shares nor
// mapped drives, and every installed file must stay within the length Windows
// allows for a path. A folder is judged as Windows resolves it, not as typed.
#pragma once

#include <cstddef>
#include <string>

namespace setup {

enum class DestinationFault {
  None,
  NotAbsolute,    // not "X:\..." (relative, empty, "." or ".." parts)
  Network,        // a UNC path or a mapped network drive
  DriveRoot,      // "X:\" itself
  SharedFolder,   // a program folder, ProgramData, the profiles' root, the user's
                  // profile, the system or the temporary folder itself
  WindowsFolder,  // the Windows folder or a folder below it
  BadCharacter,   // * ? " < > | : or a control character
  BadName,        // a part ending with a dot or a blank, or a device name
  TooLong,        // the deepest installed file would reach 260 characters
  Link,           // the folder, or a folder on its way, is a link or junction
  UserOwned,      // the folder, or a folder on its way, belongs to a user who is
                  // not an administrator
};

// The longest path below the installation folder that an installation writes,
// when the package does not tell.
constexpr std::size_t kDeepestInstalledPath = 96;

// The program folder of the machine ("ProgramFilesDir", else "C:\Program
// Files\"), with a trailing "\".
std::string ProgramFilesFolder();

// Whether dir may be the installation folder; deepest is the length of the
// longest path below it that the installation writes. A drive made with subst
// is judged as the folder it stands for too; the part of the path that exists
// is judged as it is on the disk.
DestinationFault CheckDestination(const std::string& dir,
                                  std::size_t deepest = kDeepestInstalledPath);
// What the user is told of a folder refused for that fault.
std::string DestinationRefusal(const std::string& dir, DestinationFault fault);

// Whether a name may become one file or folder name and stay what it says:
// not only dots and blanks, no trailing dot or blank, none of < > : " / \ | ? *
// or a control character, and no device name (support::IsDeviceName: CON,
// CONIN$, COM1-9, ... also with an extension), which Windows reads as the device.
bool IsSafeName(const std::string& name);
// The name with each character IsSafeName refuses replaced by "-"; "" when the
// name is refused all the same.
std::string SafeFileName(const std::string& name);

// The path with a drive made with subst spelled as the folder it stands for
// (again while that is such a drive); other paths as given. network is set
// when a drive on the way is a network drive.
std::string ResolveSubstDrive(const std::string& path, bool& network);

// A path as Windows resolves it, for comparisons: "/" separates, "." and ".."
// parts are resolved, trailing dots and blanks of a part dropped, short names
// expanded; lower case, ending in "\". "" stays "".
std::string ComparableFolder(const std::string& path);
// Whether folder lies strictly below parent, both resolved as ComparableFolder.
bool IsStrictlyBelow(const std::string& folder, const std::string& parent);

}  // namespace setup

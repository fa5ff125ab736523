#include "setup/core/destination.h"

#include "platform/files.h"
#include "setup/core/product.h"
#include "support/advanced_registry.h"
#include "support/file_utils.h"
#include "support/text_fields.h"

namespace setup {
namespace {

constexpr std::size_t kMaxPath = 260;  // characters, the terminating zero included

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool SameFolder(const std::string& a, const std::string& b) {
  return !b.empty() && support::LowerCase(support::NormalizeDir(a)) ==
                           support::LowerCase(support::NormalizeDir(b));
}

const char* DestinationProblem(DestinationFault fault) {
  switch (fault) {
    case DestinationFault::NotAbsolute:
      return "it is not a full path of the form C:\\folder\\";
    case DestinationFault::Network:
      return "it lies on a network drive, which the server's services cannot reach";
    case DestinationFault::DriveRoot:
      return "it is the root of a drive";
    case DestinationFault::SystemFolder:
      return "it is the Windows, system or program folder itself";
    case DestinationFault::BadCharacter:
      return "it holds a character that Windows does not allow in a folder name";
    case DestinationFault::TooLong:
      return "it is too long for the files installed below it";
    case DestinationFault::None:
      break;
  }
  return "";
}

}  // namespace

std::string DestinationRefusal(const std::string& dir, DestinationFault fault) {
  return "The installation folder cannot be used: " + dir + "\r\n" + DestinationProblem(fault) +
         ".";
}

std::string ProgramFilesFolder() {
  support::TAdvancedRegistry key(support::hkLOCAL_MACHINE, "\\Software\\Microsoft\\Windows",
                                 "CurrentVersion");
  std::string folder = key.ReadString("ProgramFilesDir");
  return folder.empty() ? kDefaultProgramFolder : support::NormalizeDir(folder);
}

DestinationFault CheckDestination(const std::string& dir, std::size_t deepest) {
  if (platform::IsRemoteDrive(dir)) return DestinationFault::Network;
  if (dir.size() < 3 || !IsDriveLetter(dir[0]) || dir[1] != ':' || dir[2] != '\\')
    return DestinationFault::NotAbsolute;
  for (std::size_t i = 0; i < dir.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(dir[i]);
    if (c < 0x20 || std::string("*?\"<>|").find(static_cast<char>(c)) != std::string::npos ||
        (c == ':' && i != 1))
      return DestinationFault::BadCharacter;
  }
  const std::string folder = support::NormalizeDir(dir);
  for (std::size_t start = 3; start < folder.size();) {
    const std::size_t end = folder.find('\\', start);
    const std::string part = folder.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return DestinationFault::NotAbsolute;
    start = end + 1;
  }
  if (folder.size() == 3) return DestinationFault::DriveRoot;
  for (const std::string& system :
       {platform::WindowsDirectory(), platform::SystemDirectory(), ProgramFilesFolder()})
    if (SameFolder(folder, system)) return DestinationFault::SystemFolder;
  if (folder.size() + deepest >= kMaxPath) return DestinationFault::TooLong;
  return DestinationFault::None;
}

}  // namespace setup

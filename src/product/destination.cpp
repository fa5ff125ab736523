#include "product/destination.h"

#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/shell.h"
#include "product/product.h"
#include "support/advanced_registry.h"
#include "support/file_names.h"
#include "support/file_utils.h"
#include "support/text_fields.h"

namespace setup {
namespace {

constexpr std::size_t kMaxPath = 260;  // characters, the terminating zero included
constexpr char kCurrentVersionKey[] = "\\Software\\Microsoft\\Windows";

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsReservedCharacter(char c) {
  return static_cast<unsigned char>(c) < 0x20 ||
         std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
}

std::string WithBackslashes(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// The folder above a folder that ends in "\"; "" for a root.
std::string ParentOf(const std::string& folder) {
  if (folder.size() < 2) return "";
  const std::size_t separator = folder.find_last_of('\\', folder.size() - 2);
  return separator == std::string::npos ? "" : folder.substr(0, separator + 1);
}

bool SameFolder(const std::string& a, const std::string& b) {
  return !b.empty() && ComparableFolder(a) == ComparableFolder(b);
}

// Folders that Windows or every user shares: they may hold an installation, but
// may never be one, since its uninstall deletes its folders wholesale.
std::vector<std::string> SharedFolders() {
  support::TAdvancedRegistry key(support::hkLOCAL_MACHINE, kCurrentVersionKey, "CurrentVersion");
  const std::string profile =
      ComparableFolder(platform::SpecialFolderPath(platform::SpecialFolder::Profile));
  return {ProgramFilesFolder(),
          key.ReadString("ProgramFilesDir (x86)"),
          platform::SpecialFolderPath(platform::SpecialFolder::CommonAppData),
          profile,
          ParentOf(profile),
          platform::SystemDirectory(),
          platform::TempDirectory()};
}

const char* DestinationProblem(DestinationFault fault) {
  switch (fault) {
    case DestinationFault::NotAbsolute:
      return "it is not a full path of the form C:\\folder\\";
    case DestinationFault::Network:
      return "it lies on a network drive, which the server's services cannot reach";
    case DestinationFault::DriveRoot:
      return "it is the root of a drive";
    case DestinationFault::SharedFolder:
      return "it is a program, system, profile, shared data or temporary folder itself";
    case DestinationFault::WindowsFolder:
      return "it is the Windows folder or lies below it";
    case DestinationFault::BadCharacter:
      return "it holds a character that Windows does not allow in a folder name";
    case DestinationFault::BadName:
      return "one of its folder names ends with a dot or a blank, or is a device name";
    case DestinationFault::TooLong:
      return "it is too long for the files installed below it";
    case DestinationFault::None:
      break;
  }
  return "";
}

}  // namespace

bool IsSafeName(const std::string& name) {
  if (name.find_first_not_of(". ") == std::string::npos) return false;
  if (name.back() == '.' || name.back() == ' ') return false;
  for (char c : name)
    if (IsReservedCharacter(c)) return false;
  return !support::IsDeviceName(name);
}

std::string SafeFileName(const std::string& name) {
  std::string safe = name;
  for (char& c : safe)
    if (IsReservedCharacter(c)) c = '-';
  return IsSafeName(safe) ? safe : "";
}

std::string ComparableFolder(const std::string& path) {
  if (path.empty()) return "";
  const std::string text = WithBackslashes(path);
  const bool drive = text.size() >= 2 && IsDriveLetter(text[0]) && text[1] == ':';
  std::size_t start = drive ? 2 : 0;
  const std::size_t rest = text.find_first_not_of('\\', start);
  std::string folder = drive ? text.substr(0, 2) + "\\" : text.substr(0, rest);
  std::vector<std::string> parts;
  for (start = rest; start != std::string::npos && start < text.size();) {
    const std::size_t end = text.find('\\', start);
    std::string part = text.substr(start, end - start);
    start = end == std::string::npos ? end : end + 1;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    part.erase(part.find_last_not_of(". ") + 1);  // Windows drops them
    if (!part.empty()) parts.push_back(part);
  }
  for (const std::string& part : parts) folder += part + "\\";
  return support::LowerCase(support::NormalizeDir(platform::LongPathName(folder)));
}

bool IsStrictlyBelow(const std::string& folder, const std::string& parent) {
  const std::string below = ComparableFolder(folder);
  const std::string above = ComparableFolder(parent);
  return !above.empty() && below.size() > above.size() && below.rfind(above, 0) == 0;
}

std::string DestinationRefusal(const std::string& dir, DestinationFault fault) {
  return "The installation folder cannot be used: " + dir + "\r\n" + DestinationProblem(fault) +
         ".";
}

std::string ProgramFilesFolder() {
  support::TAdvancedRegistry key(support::hkLOCAL_MACHINE, kCurrentVersionKey, "CurrentVersion");
  std::string folder = key.ReadString("ProgramFilesDir");
  return folder.empty() ? kDefaultProgramFolder : support::NormalizeDir(folder);
}

DestinationFault CheckDestination(const std::string& dir, std::size_t deepest) {
  const std::string path = WithBackslashes(dir);
  if (platform::IsRemoteDrive(path)) return DestinationFault::Network;
  if (path.size() < 3 || !IsDriveLetter(path[0]) || path[1] != ':' || path[2] != '\\')
    return DestinationFault::NotAbsolute;
  for (std::size_t i = 0; i < path.size(); ++i)
    if (IsReservedCharacter(path[i]) && path[i] != '\\' && !(path[i] == ':' && i == 1))
      return DestinationFault::BadCharacter;
  const std::string folder = support::NormalizeDir(path);
  for (std::size_t start = 3; start < folder.size();) {
    const std::size_t end = folder.find('\\', start);
    const std::string part = folder.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return DestinationFault::NotAbsolute;
    if (!IsSafeName(part)) return DestinationFault::BadName;
    start = end + 1;
  }
  if (folder.size() == 3) return DestinationFault::DriveRoot;
  const std::string windows = platform::WindowsDirectory();
  if (SameFolder(folder, windows) || IsStrictlyBelow(folder, windows))
    return DestinationFault::WindowsFolder;
  for (const std::string& shared : SharedFolders())
    if (SameFolder(folder, shared)) return DestinationFault::SharedFolder;
  if (folder.size() + deepest >= kMaxPath) return DestinationFault::TooLong;
  return DestinationFault::None;
}

}  // namespace setup

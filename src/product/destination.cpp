#include "product/destination.h"

#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/security.h"
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
    case DestinationFault::Link:
      return "it, or a folder on its way, is a link or junction, which could lead anywhere";
    case DestinationFault::UserOwned:
      return "it, or a folder on its way, belongs to a user who is not an administrator, who "
             "could change what the server's services run";
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

namespace {

// The device names of network drives: the redirectors, and subst of a share.
bool IsNetworkDevice(const std::string& device) {
  const std::string lower = support::LowerCase(device);
  if (lower.rfind("\\??\\unc\\", 0) == 0) return true;
  if (lower.rfind("\\device\\", 0) != 0) return false;
  const std::string name = lower.substr(8, lower.find('\\', 8) - 8);
  return name == "mup" ||
         (name.size() > 10 && name.compare(name.size() - 10, 10, "redirector") == 0);
}

}  // namespace

std::string ResolveSubstDrive(const std::string& path, bool& network) {
  network = false;
  std::string resolved = WithBackslashes(path);
  // A subst drive may stand for a folder on another: a few steps at most.
  for (int step = 0; step < 26; ++step) {
    if (resolved.size() < 2 || !IsDriveLetter(resolved[0]) || resolved[1] != ':') break;
    const std::string device = platform::DriveDevice(resolved[0]);
    if (IsNetworkDevice(device)) {
      network = true;
      break;
    }
    if (device.size() < 6 || device.rfind("\\??\\", 0) != 0 || !IsDriveLetter(device[4]) ||
        device[5] != ':')
      break;
    std::string folder = device.substr(4);
    if (folder.back() != '\\') folder += '\\';
    std::string rest = resolved.substr(2);
    if (!rest.empty() && rest[0] == '\\') rest.erase(0, 1);
    resolved = folder + rest;
  }
  return resolved;
}

namespace {

// The folders of the path that exist, from the top down, each ending in "\";
// the drive's root is not one of them.
std::vector<std::string> ExistingFolders(const std::string& folder) {
  std::vector<std::string> existing;
  for (std::size_t end = folder.find('\\', 3); end != std::string::npos;
       end = folder.find('\\', end + 1)) {
    const std::string part = folder.substr(0, end + 1);
    if (platform::GetFileAttributes(part.substr(0, end)) == platform::kInvalidAttributes) break;
    existing.push_back(part);
  }
  return existing;
}

// What exists of the path is judged as it stands: no link on the way, nothing
// that a user who is not an administrator owns (and so may change).
DestinationFault CheckExistingPart(const std::string& folder) {
  for (const std::string& part : ExistingFolders(folder)) {
    const std::string name = part.substr(0, part.size() - 1);
    if (platform::GetFileAttributes(name) & platform::kAttrReparsePoint)
      return DestinationFault::Link;
    platform::FolderSecurity security;
    if (platform::ReadFolderSecurity(part, security) &&
        !platform::IsAdministratorOwner(security.Owner))
      return DestinationFault::UserOwned;
  }
  return DestinationFault::None;
}

// The rules on the path as written.
DestinationFault CheckPath(const std::string& path, std::size_t deepest) {
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

}  // namespace

DestinationFault CheckDestination(const std::string& dir, std::size_t deepest) {
  const std::string path = WithBackslashes(dir);
  if (platform::IsRemoteDrive(path)) return DestinationFault::Network;
  bool network = false;
  const std::string resolved = ResolveSubstDrive(path, network);
  if (network) return DestinationFault::Network;
  DestinationFault fault = CheckPath(path, deepest);
  if (fault == DestinationFault::None && resolved != path) fault = CheckPath(resolved, deepest);
  if (fault != DestinationFault::None) return fault;
  return CheckExistingPart(support::NormalizeDir(resolved));
}

}  // namespace setup

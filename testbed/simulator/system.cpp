// The simulated system's directories, platform identifier, privileges, single
// instances and network drives.
#include "platform/system.h"

#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>

#include "platform/files.h"
#include "platform/posix/posix_platform.h"
#include "simulator/simulator.h"

namespace platform {
namespace {

std::mutex stateMutex;
std::string tempDir, windowsDir = "C:\\Windows", systemDir = "C:\\Windows\\System32";
bool tempDirSet = false;
int platformId = 2;
std::string remoteDrives;                 // upper-case letters
std::map<char, std::string> substDrives;  // upper-case letter, the folder it stands for
std::set<std::string> claimedNames;
std::set<std::string> enabledPrivileges;  // as the held list writes them

}  // namespace

int PlatformId() {
  std::lock_guard<std::mutex> lock(stateMutex);
  return platformId;
}

// The privileges of an elevated administrator's token: only these can be
// enabled or disabled; other names fail as Windows fails them.
bool EnablePrivilege(const std::string& name, bool enable) {
  static const char* const held[] = {
      "SeIncreaseQuotaPrivilege",
      "SeSecurityPrivilege",
      "SeTakeOwnershipPrivilege",
      "SeLoadDriverPrivilege",
      "SeSystemProfilePrivilege",
      "SeSystemtimePrivilege",
      "SeProfileSingleProcessPrivilege",
      "SeIncreaseBasePriorityPrivilege",
      "SeCreatePagefilePrivilege",
      "SeBackupPrivilege",
      "SeRestorePrivilege",
      "SeShutdownPrivilege",
      "SeDebugPrivilege",
      "SeSystemEnvironmentPrivilege",
      "SeChangeNotifyPrivilege",
      "SeRemoteShutdownPrivilege",
      "SeUndockPrivilege",
      "SeManageVolumePrivilege",
      "SeImpersonatePrivilege",
      "SeCreateGlobalPrivilege",
      "SeIncreaseWorkingSetPrivilege",
      "SeTimeZonePrivilege",
      "SeCreateSymbolicLinkPrivilege",
  };
  for (const char* h : held)
    if (strcasecmp(h, name.c_str()) == 0) {
      std::lock_guard<std::mutex> lock(stateMutex);
      if (enable)
        enabledPrivileges.insert(h);
      else
        enabledPrivileges.erase(h);
      return true;
    }
  return false;
}

bool ClaimSingleInstance(const std::string& name) {
  std::lock_guard<std::mutex> lock(stateMutex);
  return claimedNames.insert(name).second;
}

bool IsRemoteDrive(const std::string& path) {
  if (path.rfind("\\\\", 0) == 0) return true;
  if (path.size() < 2 || path[1] != ':') return false;
  std::lock_guard<std::mutex> lock(stateMutex);
  return remoteDrives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) !=
         std::string::npos;
}

std::string DriveDevice(char letter) {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  std::lock_guard<std::mutex> lock(stateMutex);
  if (remoteDrives.find(letter) != std::string::npos)
    return std::string("\\Device\\LanmanRedirector\\;") + letter + ":0\\server\\share";
  auto subst = substDrives.find(letter);
  if (subst != substDrives.end())
    return subst->second.rfind("\\\\", 0) == 0 ? "\\??\\UNC\\" + subst->second.substr(2)
                                               : "\\??\\" + subst->second;
  return "\\Device\\HarddiskVolume1";
}

std::string TempDirectory() {
  std::lock_guard<std::mutex> lock(stateMutex);
  if (tempDirSet) return tempDir;
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

std::string WindowsDirectory() {
  std::lock_guard<std::mutex> lock(stateMutex);
  return windowsDir;
}

std::string SystemDirectory() {
  std::lock_guard<std::mutex> lock(stateMutex);
  return systemDir;
}

}  // namespace platform

namespace simulator {
using namespace platform;

void SetSystemDirectories(const std::string& temp, const std::string& windows,
                          const std::string& system) {
  std::lock_guard<std::mutex> lock(stateMutex);
  tempDir = temp;
  tempDirSet = true;
  windowsDir = windows;
  systemDir = system;
}

void SetRemoteDrives(const std::string& letters) {
  std::lock_guard<std::mutex> lock(stateMutex);
  remoteDrives.clear();
  for (char c : letters)
    remoteDrives += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool SetSubstDrive(char letter, const std::string& folder) {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  const std::string drive = posix::DriveRoot() + "/" +
                            static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  unlink(drive.c_str());
  std::string target = folder.empty() ? "" : posix::MapPath(folder);
  std::lock_guard<std::mutex> lock(stateMutex);
  substDrives.erase(letter);
  if (folder.empty()) return true;
  // The drive shows the folder's files, as Windows shows them.
  if (symlink(target.c_str(), drive.c_str()) != 0) return false;
  substDrives[letter] = folder;
  return true;
}

void ReleaseSingleInstances() {
  std::lock_guard<std::mutex> lock(stateMutex);
  claimedNames.clear();
}

void SetPlatformId(int id) {
  std::lock_guard<std::mutex> lock(stateMutex);
  platformId = id;
}

bool PrivilegeEnabled(const std::string& name) {
  std::lock_guard<std::mutex> lock(stateMutex);
  for (const std::string& enabled : enabledPrivileges)
    if (strcasecmp(enabled.c_str(), name.c_str()) == 0) return true;
  return false;
}

}  // namespace simulator

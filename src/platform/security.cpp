// The rules over owners and access lists, the same on every system.
#include "platform/security.h"

namespace platform {
namespace {

bool IsAdministrative(const std::string& sid) {
  return sid == kSidSystem || sid == kSidAdministrators || sid == kSidTrustedInstaller;
}

}  // namespace

FolderSecurity ProtectedFolderSecurity() {
  constexpr uint8_t below = kInheritObjects | kInheritContainers;
  return {kSidAdministrators,
          true,
          {{kSidSystem, true, kRightFullControl, below},
           {kSidAdministrators, true, kRightFullControl, below},
           {kSidUsers, true, kRightReadExecute, below}}};
}

std::vector<AccessEntry> UserWritableEntries(const FolderSecurity& security) {
  std::vector<AccessEntry> writable;
  for (const AccessEntry& entry : security.Entries)
    if (entry.Allow && (entry.Rights & kRightsThatWrite) && !IsAdministrative(entry.Sid) &&
        entry.Sid != kSidCreatorOwner)
      writable.push_back(entry);
  return writable;
}

bool IsAdministratorOwner(const std::string& owner) {
  return owner.empty() || IsAdministrative(owner) || owner == CurrentUserSid();
}

}  // namespace platform

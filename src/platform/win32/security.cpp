// Owners and access lists through the security API, always on an open handle
// of the folder itself, so that what is checked is what is changed.
#include "platform/security.h"

#include "platform/system.h"
#include "platform/win32/windows_api.h"

// clang-format off
#include <sddl.h>
// clang-format on

#include <memory>

namespace platform {
namespace {

struct LocalDeleter {
  void operator()(void* p) const { LocalFree(p); }
};

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (!sid || !ConvertSidToStringSidA(sid, &text)) return "";
  std::string result = text;
  LocalFree(text);
  return result;
}

// The well-known SIDs are made by the system, the others read from their text.
std::unique_ptr<void, LocalDeleter> SidOf(const std::string& text) {
  static const struct {
    const char* text;
    WELL_KNOWN_SID_TYPE type;
  } known[] = {{kSidEveryone, WinWorldSid},
               {kSidCreatorOwner, WinCreatorOwnerSid},
               {kSidAuthenticatedUsers, WinAuthenticatedUserSid},
               {kSidSystem, WinLocalSystemSid},
               {kSidAdministrators, WinBuiltinAdministratorsSid},
               {kSidUsers, WinBuiltinUsersSid}};
  for (const auto& k : known)
    if (text == k.text) {
      DWORD size = SECURITY_MAX_SID_SIZE;
      std::unique_ptr<void, LocalDeleter> sid(LocalAlloc(LPTR, size));
      if (sid && CreateWellKnownSid(k.type, nullptr, sid.get(), &size)) return sid;
      return nullptr;
    }
  PSID sid = nullptr;
  if (!ConvertStringSidToSidA(text.c_str(), &sid)) return nullptr;
  return std::unique_ptr<void, LocalDeleter>(sid);
}

bool Read(HANDLE handle, FolderSecurity& security) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = GetSecurityInfo(handle, SE_FILE_OBJECT,
                                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                      &owner, nullptr, &dacl, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return false;
  }
  std::unique_ptr<void, LocalDeleter> hold(descriptor);
  security = FolderSecurity();
  security.Owner = SidText(owner);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (GetSecurityDescriptorControl(descriptor, &control, &revision))
    security.Protected = (control & SE_DACL_PROTECTED) != 0;
  if (!dacl) {
    security.Entries.push_back(
        {kSidEveryone, true, kRightGenericAll, kInheritObjects | kInheritContainers});
    return true;
  }
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    const auto* header = static_cast<ACE_HEADER*>(ace);
    // Only the plain entries; the object and callback kinds are not used on files.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE)
      continue;
    const auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    security.Entries.push_back({SidText(const_cast<DWORD*>(&entry->SidStart)),
                                header->AceType == ACCESS_ALLOWED_ACE_TYPE, entry->Mask,
                                header->AceFlags});
  }
  return true;
}

bool Write(HANDLE handle, const FolderSecurity& security) {
  std::vector<std::unique_ptr<void, LocalDeleter>> sids;
  DWORD size = sizeof(ACL);
  for (const AccessEntry& entry : security.Entries) {
    sids.push_back(SidOf(entry.Sid));
    if (!sids.back()) return false;
    size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sids.back().get());
  }
  std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD));
  auto* acl = reinterpret_cast<ACL*>(buffer.data());
  if (!InitializeAcl(acl, size, ACL_REVISION)) return false;
  for (std::size_t i = 0; i < security.Entries.size(); ++i) {
    const AccessEntry& entry = security.Entries[i];
    const BOOL added = entry.Allow ? AddAccessAllowedAceEx(acl, ACL_REVISION, entry.Inheritance,
                                                           entry.Rights, sids[i].get())
                                   : AddAccessDeniedAceEx(acl, ACL_REVISION, entry.Inheritance,
                                                          entry.Rights, sids[i].get());
    if (!added) return false;
  }
  std::unique_ptr<void, LocalDeleter> owner = SidOf(security.Owner);
  if (!owner) return false;
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                    (security.Protected ? PROTECTED_DACL_SECURITY_INFORMATION
                                                        : UNPROTECTED_DACL_SECURITY_INFORMATION);
  // Windows passes the inheritable entries on to what the folder holds.
  const DWORD error =
      SetSecurityInfo(handle, SE_FILE_OBJECT, what, owner.get(), nullptr, acl, nullptr);
  SetLastError(error);
  return error == ERROR_SUCCESS;
}

// "\\?\C:\x" as "C:\x", "\\?\UNC\server\share" as "\\server\share".
std::string DosPath(const std::string& final) {
  if (final.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + final.substr(8);
  if (final.rfind("\\\\?\\", 0) == 0) return final.substr(4);
  return final;
}

}  // namespace

std::string CurrentUserSid() {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
  std::string sid;
  if (size && GetTokenInformation(token, TokenUser, buffer.data(),
                                  static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &size))
    sid = SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
  CloseHandle(token);
  return sid;
}

bool ReadFolderSecurity(const std::string& folder, FolderSecurity& security) {
  HANDLE handle = CreateFileA(
      folder.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool read = Read(handle, security);
  CloseHandle(handle);
  return read;
}

SecureResult SetFolderSecurity(
    const std::string& folder, const FolderSecurity& security,
    const std::function<bool(const std::string& finalPath, const FolderSecurity& current)>& check) {
  // Taking ownership needs the privilege where the access list does not grant it.
  const bool privileged = EnablePrivilege("SeTakeOwnershipPrivilege", true);
  HANDLE handle =
      CreateFileA(folder.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  const DWORD openError = GetLastError();
  if (privileged) EnablePrivilege("SeTakeOwnershipPrivilege", false);
  if (handle == INVALID_HANDLE_VALUE) {
    SetLastError(openError);
    return SecureResult::Failed;
  }
  SecureResult result = SecureResult::Failed;
  BY_HANDLE_FILE_INFORMATION info;
  char final[MAX_PATH * 4];
  FolderSecurity current;
  if (!GetFileInformationByHandle(handle, &info)) {
  } else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    result = SecureResult::Link;
  } else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetLastError(ERROR_DIRECTORY);
  } else {
    const DWORD length = GetFinalPathNameByHandleA(handle, final, sizeof final,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length > 0 && length < sizeof final && Read(handle, current))
      result = !check(DosPath(std::string(final, length)), current) ? SecureResult::Refused
               : Write(handle, security)                            ? SecureResult::Done
                                                                    : SecureResult::Failed;
  }
  const DWORD error = GetLastError();
  CloseHandle(handle);
  SetLastError(error);
  return result;
}

}  // namespace platform

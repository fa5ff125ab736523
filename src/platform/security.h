// Owners and access lists of folders, as data. The services run as LocalSystem
// from the installation folder: who may write there decides who can run code
// as the system. The win32 side reads and sets real access lists. The native
// build has none: it reports the owner's user id as a SID, no entries, and
// setting reports success and changes nothing (as InheritAccess does); the
// rules over the data are the same in both builds.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Security identifiers in their string form.
inline constexpr char kSidEveryone[] = "S-1-1-0";
inline constexpr char kSidCreatorOwner[] = "S-1-3-0";
inline constexpr char kSidAuthenticatedUsers[] = "S-1-5-11";
inline constexpr char kSidSystem[] = "S-1-5-18";
inline constexpr char kSidAdministrators[] = "S-1-5-32-544";
inline constexpr char kSidUsers[] = "S-1-5-32-545";
inline constexpr char kSidTrustedInstaller[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// Access rights of files and folders, as Windows numbers them.
constexpr uint32_t kRightWriteData = 0x2;     // a folder: create files
constexpr uint32_t kRightAppendData = 0x4;    // a folder: create folders
constexpr uint32_t kRightDeleteChild = 0x40;  // delete what is below
constexpr uint32_t kRightDelete = 0x10000;
constexpr uint32_t kRightWriteDac = 0x40000;
constexpr uint32_t kRightWriteOwner = 0x80000;
constexpr uint32_t kRightGenericAll = 0x10000000;
constexpr uint32_t kRightGenericWrite = 0x40000000;
constexpr uint32_t kRightFullControl = 0x1F01FF;  // FILE_ALL_ACCESS
constexpr uint32_t kRightReadExecute = 0x1200A9;  // FILE_GENERIC_READ | FILE_GENERIC_EXECUTE
// What lets a holder change what a folder holds, or who may.
constexpr uint32_t kRightsThatWrite = kRightWriteData | kRightAppendData | kRightDeleteChild |
                                      kRightDelete | kRightWriteDac | kRightWriteOwner |
                                      kRightGenericAll | kRightGenericWrite;

// Inheritance flags of an entry, as Windows numbers them.
constexpr uint8_t kInheritObjects = 0x1;     // files below get the entry
constexpr uint8_t kInheritContainers = 0x2;  // folders below get it, and pass it on
constexpr uint8_t kInheritOnly = 0x8;        // it applies below, not to the folder itself
constexpr uint8_t kInherited = 0x10;         // it came from the folder above

struct AccessEntry {
  std::string Sid;
  bool Allow = true;  // false: a deny entry
  uint32_t Rights = 0;
  uint8_t Inheritance = 0;
  bool operator==(const AccessEntry&) const = default;
};

struct FolderSecurity {
  std::string Owner;       // a SID; "" when unknown
  bool Protected = false;  // takes nothing from the folder above
  std::vector<AccessEntry> Entries;
  bool operator==(const FolderSecurity&) const = default;
};

// The installation folder's: owned by Administrators, protected, SYSTEM and
// Administrators full control, Users read and execute, each passed on to
// every file and folder below.
FolderSecurity ProtectedFolderSecurity();

// The allowing entries that let someone other than the system, the
// administrators or the system's installer write, append, delete, or change
// the access list or the owner, in their order. Entries for the creator of
// something below count only through the others: they give nothing to whom
// the others do not let create.
std::vector<AccessEntry> UserWritableEntries(const FolderSecurity& security);

// The SID of the user this process runs as.
std::string CurrentUserSid();
// Whether a folder owned by this SID is an administrator's: SYSTEM, the
// Administrators, the system's installer, or the user setup runs as. An
// unknown owner ("") cannot be told and counts as one.
bool IsAdministratorOwner(const std::string& owner);

// Reads a folder's owner and access list; a link is not followed. A folder
// without an access list, which lets everyone do everything, reads as one
// entry that gives Everyone all rights. False when they cannot be read.
bool ReadFolderSecurity(const std::string& folder, FolderSecurity& security);

enum class SecureResult {
  Done,
  Link,     // the folder is a link or junction
  Refused,  // the check refused what the opened folder showed
  Failed,   // it could not be opened, read or set (LastError tells)
};
// Opens the folder itself, never a link in its place, and hands the check the
// path the opened folder has (every link and drive on the way resolved, as a
// Windows path) and its security as it stands. Only when the check accepts
// them is `security` set, through the same open folder.
SecureResult SetFolderSecurity(
    const std::string& folder, const FolderSecurity& security,
    const std::function<bool(const std::string& finalPath, const FolderSecurity& current)>& check);

}  // namespace platform

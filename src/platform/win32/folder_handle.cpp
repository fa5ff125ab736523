// A folder held open without delete sharing: while the handle lives the folder
// can be neither renamed nor deleted, so the path it was opened by keeps
// naming it. Each folder is opened through the one above it, held meanwhile,
// without following a reparse point.
#include "platform/folder_handle.h"

#include <algorithm>

#include "platform/win32/windows_api.h"

namespace platform {
namespace {

HANDLE AsHandle(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

constexpr DWORD kAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// No FILE_SHARE_DELETE: nobody renames or deletes it while it is held.
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// A plain folder at the path, opened without following a reparse point;
// INVALID_HANDLE_VALUE when it is a link or no folder.
HANDLE OpenPlainFolder(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), kAccess, kShare, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  // The attributes alone: the whole file information also asks the volume
  // for its serial number, a slow call on some systems.
  FILE_BASIC_INFO info;
  if (GetFileInformationByHandleEx(h, FileBasicInfo, &info, sizeof info) &&
      (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !(info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return h;
  CloseHandle(h);
  SetLastError(ERROR_CANT_ACCESS_FILE);
  return INVALID_HANDLE_VALUE;
}

// The length of a full path's root: "C:\" or "\\server\share\"; 0 for none.
size_t RootLength(const std::string& full) {
  if (full.size() >= 3 && full[1] == ':' && full[2] == '\\') return 3;
  if (full.rfind("\\\\", 0) != 0 || full.rfind("\\\\?\\", 0) == 0 || full.rfind("\\\\.\\", 0) == 0)
    return 0;
  const size_t server = full.find('\\', 2);
  const size_t share = server == std::string::npos ? server : full.find('\\', server + 1);
  return share == std::string::npos ? 0 : share + 1;
}

bool PlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("\\/:") == std::string::npos;
}

}  // namespace

bool FolderHandle::Open(const std::string& path) {
  Close();
  if (path.empty()) return false;
  std::string full(MAX_PATH, '\0');
  const DWORD n =
      GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n == 0 || n >= full.size()) return false;
  full.resize(n);
  const size_t root = RootLength(full);
  if (root == 0) return false;
  // The drive's root (or the share) is the caller's to trust; below it no
  // folder on the way may be a link.
  std::string reached = full.substr(0, root);
  HANDLE held = CreateFileA(reached.c_str(), kAccess, kShare, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  for (size_t pos = root; held != INVALID_HANDLE_VALUE && pos < full.size();) {
    const size_t end = std::min(full.find('\\', pos), full.size());
    const std::string name = full.substr(pos, end - pos);
    pos = end + 1;
    if (name.empty()) continue;
    HANDLE next = PlainName(name) ? OpenPlainFolder(reached + name) : INVALID_HANDLE_VALUE;
    CloseHandle(held);
    held = next;
    reached += name + "\\";
  }
  if (held == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(held);
  path_ = reached;
  return true;
}

bool FolderHandle::OpenChild(const std::string& name, FolderHandle& child) const {
  child.Close();
  if (handle_ == -1 || !PlainName(name)) return false;
  HANDLE h = OpenPlainFolder(path_ + name);
  if (h == INVALID_HANDLE_VALUE) return false;
  child.handle_ = reinterpret_cast<intptr_t>(h);
  child.path_ = path_ + name + "\\";
  return true;
}

void FolderHandle::Close() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

bool FolderHandle::IsOpen() const {
  return handle_ != -1;
}

bool FolderHandle::List(std::vector<DirEntry>& entries, const std::string& mask) const {
  entries.clear();
  if (handle_ == -1 || !PlainName(mask)) return false;
  std::vector<DirEntry> all;
  if (!ListDirectory(path_ + mask, all)) return false;
  for (DirEntry& entry : all)
    if (entry.name != "." && entry.name != "..") entries.push_back(std::move(entry));
  return true;
}

bool FolderHandle::Remove(const std::string& name) const {
  if (handle_ == -1 || !PlainName(name)) return false;
  const std::string path = path_ + name;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  // A junction or directory link goes as the link; its target is not touched.
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryA(path.c_str()) != 0
                                                 : DeleteFileA(path.c_str()) != 0;
}

}  // namespace platform

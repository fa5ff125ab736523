// A folder held open without delete sharing: while the handle lives the folder
// can be neither renamed nor deleted, so the path it was opened by keeps
// naming it. Each folder is opened without following a reparse point and its
// final path is compared with the one expected.
#include "platform/folder_handle.h"

#include "platform/win32/windows_api.h"

namespace platform {
namespace {

HANDLE AsHandle(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

// The path as GetFinalPathNameByHandle gives it ("\\?\C:\x", "\\?\UNC\s\x"),
// without the prefix; "" when it cannot be read.
std::string FinalPath(HANDLE h) {
  std::string buffer(MAX_PATH, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD n = GetFinalPathNameByHandleA(h, buffer.data(), static_cast<DWORD>(buffer.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return "";
    if (n < buffer.size()) {
      buffer.resize(n);
      if (buffer.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + buffer.substr(8);
      if (buffer.rfind("\\\\?\\", 0) == 0) return buffer.substr(4);
      return buffer;
    }
    buffer.assign(n, '\0');
  }
  return "";
}

bool SamePath(std::string a, std::string b) {
  while (!a.empty() && a.back() == '\\') a.pop_back();
  while (!b.empty() && b.back() == '\\') b.pop_back();
  return !a.empty() && lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// A plain folder at the path, opened without following a reparse point, that
// is where expected says; INVALID_HANDLE_VALUE otherwise.
HANDLE OpenPlainFolder(const std::string& path, const std::string& expected, std::string& final) {
  // No FILE_SHARE_DELETE: nobody renames or deletes it while it is held.
  HANDLE h = CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    final = FinalPath(h);
    if (SamePath(final, expected)) return h;
  }
  CloseHandle(h);
  SetLastError(ERROR_CANT_ACCESS_FILE);
  return INVALID_HANDLE_VALUE;
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
  HANDLE h = OpenPlainFolder(full, LongPathName(full), native_);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(h);
  path_ = full;
  if (path_.back() != '\\') path_ += '\\';
  return true;
}

bool FolderHandle::OpenChild(const std::string& name, FolderHandle& child) const {
  child.Close();
  if (handle_ == -1 || !PlainName(name)) return false;
  HANDLE h = OpenPlainFolder(path_ + name, native_ + "\\" + name, child.native_);
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

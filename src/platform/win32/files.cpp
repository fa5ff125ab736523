// Files and directories through the ANSI file API.
#include "platform/files.h"

#include "platform/datetime.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// File times are shown in local time with the bias in force now, as Explorer
// shows them.
double ToOleDate(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return 0;
  return EncodeDateTime(win32::FieldsOf(st));
}

bool FromOleDate(double value, FILETIME& utc) {
  DateTimeFields f = DecodeDateTime(value);
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(f.year);
  st.wMonth = static_cast<WORD>(f.month);
  st.wDay = static_cast<WORD>(f.day);
  st.wHour = static_cast<WORD>(f.hour);
  st.wMinute = static_cast<WORD>(f.minute);
  st.wSecond = static_cast<WORD>(f.second);
  st.wMilliseconds = static_cast<WORD>(f.millisecond);
  FILETIME local;
  return SystemTimeToFileTime(&st, &local) && LocalFileTimeToFileTime(&local, &utc);
}

bool AttributeData(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) != 0;
}

HANDLE AsHandle(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

// ReadFile and WriteFile take 32-bit counts.
constexpr int64_t kChunk = 1 << 30;

bool Identity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  return ok;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION x, y;
  return Identity(a, x) && Identity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

void PrepareDrive(const std::string&) {}

uint32_t GetFileAttributes(const std::string& path) {
  return GetFileAttributesA(path.c_str());
}

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  return SetFileAttributesA(path.c_str(), attributes) != 0;
}

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
  return CopyFileA(source.c_str(), target.c_str(), failIfExists) != 0;
}

bool MoveFile(const std::string& source, const std::string& target) {
  // No MOVEFILE_REPLACE_EXISTING: an existing target makes the move fail.
  return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED) != 0;
}

bool ReplaceFile(const std::string& source, const std::string& target) {
  return MoveFileExA(source.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool DeleteFile(const std::string& path) {
  return DeleteFileA(path.c_str()) != 0;
}

bool DeleteAtRestart(const std::string& path) {
  return MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

bool CreateDirectory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

// An empty access list that is not protected: the system fills in what the
// folder above passes on, and passes it on further below a folder. In the
// protected installation folder that is its own list, inherited.
bool InheritAccess(const std::string& path) {
  ACL empty;
  if (!InitializeAcl(&empty, sizeof empty, ACL_REVISION)) return false;
  std::string name = path;
  return SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT,
                               DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                               nullptr, nullptr, &empty, nullptr) == ERROR_SUCCESS;
}

// On a junction or directory symbolic link this removes the link, not the target.
bool RemoveDirectory(const std::string& path) {
  return RemoveDirectoryA(path.c_str()) != 0;
}

bool ListDirectory(const std::string& pathWithMask, std::vector<DirEntry>& entries) {
  entries.clear();
  if (pathWithMask.empty() || pathWithMask.back() == '\\' || pathWithMask.back() == '/')
    return false;  // no mask
  size_t cut = pathWithMask.find_last_of("\\/");
  std::string dir = cut == std::string::npos ? "" : pathWithMask.substr(0, cut + 1);
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pathWithMask.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    // Nothing matched in a directory that is there: an empty listing.
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    uint32_t a = GetFileAttributesA(dir.empty() ? "." : dir.c_str());
    return a != kInvalidAttributes && (a & kAttrDirectory);
  }
  do {
    DirEntry entry;
    entry.name = data.cFileName;
    entry.attributes = data.dwFileAttributes;
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      entry.size = static_cast<int64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    entry.modified = ToOleDate(data.ftLastWriteTime);
    entries.push_back(entry);
  } while (FindNextFileA(find, &data));
  bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(find);
  return complete;
}

int64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!AttributeData(path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return -1;
  return static_cast<int64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

bool GetFileModified(const std::string& path, double& modified) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!AttributeData(path, data)) return false;
  modified = ToOleDate(data.ftLastWriteTime);
  return true;
}

bool SetFileModified(const std::string& path, double modified) {
  FILETIME utc;
  if (!FromOleDate(modified, utc)) return false;
  // Backup semantics let a directory be opened too.
  HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = SetFileTime(h, nullptr, nullptr, &utc) != 0;
  CloseHandle(h);
  return ok;
}

bool File::Open(const std::string& path, Mode mode) {
  Close();
  DWORD access = GENERIC_READ, disposition = OPEN_EXISTING;
  if (mode != Mode::Read) access |= GENERIC_WRITE;
  if (mode == Mode::Create) disposition = CREATE_ALWAYS;
  if (mode == Mode::CreateNew) disposition = CREATE_NEW;
  HANDLE h =
      CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

void File::Close() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

bool File::IsOpen() const {
  return handle_ != -1;
}

int64_t File::Read(void* buffer, int64_t count) {
  if (handle_ == -1 || count < 0) return -1;
  char* p = static_cast<char*>(buffer);
  int64_t total = 0;
  while (total < count) {
    DWORD want = static_cast<DWORD>(count - total < kChunk ? count - total : kChunk), got = 0;
    if (!ReadFile(AsHandle(handle_), p + total, want, &got, nullptr)) return total ? total : -1;
    total += got;
    if (got < want) break;
  }
  return total;
}

bool File::Write(const void* data, int64_t count) {
  if (handle_ == -1 || count < 0) return false;
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    DWORD want = static_cast<DWORD>(count < kChunk ? count : kChunk), done = 0;
    if (!WriteFile(AsHandle(handle_), p, want, &done, nullptr) || done == 0) return false;
    p += done;
    count -= done;
  }
  return true;
}

bool File::Seek(int64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return handle_ != -1 && offset >= 0 &&
         SetFilePointerEx(AsHandle(handle_), to, nullptr, FILE_BEGIN) != 0;
}

bool File::SeekToEnd() {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  return handle_ != -1 && SetFilePointerEx(AsHandle(handle_), zero, nullptr, FILE_END) != 0;
}

int64_t File::Position() {
  LARGE_INTEGER zero, now;
  zero.QuadPart = 0;
  if (handle_ == -1 || !SetFilePointerEx(AsHandle(handle_), zero, &now, FILE_CURRENT)) return -1;
  return now.QuadPart;
}

int64_t File::Size() {
  LARGE_INTEGER size;
  if (handle_ == -1 || !GetFileSizeEx(AsHandle(handle_), &size)) return -1;
  return size.QuadPart;
}

bool File::Flush() {
  return handle_ != -1 && FlushFileBuffers(AsHandle(handle_)) != 0;
}

namespace {

// The directory functions (temporary, Windows, system, current): the length without the terminator,
// or the size needed when the buffer is too small.
template <typename Query>
std::string SystemPath(Query query) {
  std::string buffer(MAX_PATH + 1, '\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    UINT n = query(buffer.data(), static_cast<UINT>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.assign(n + 1, '\0');
  }
  return {};
}

}  // namespace

std::string LongPathName(const std::string& path) {
  // GetLongPathName fails for a path whose end does not exist: the longest
  // prefix that does is expanded, the rest appended.
  for (std::size_t end = path.size(); end > 0;) {
    const std::string prefix = path.substr(0, end);
    const DWORD size = GetLongPathNameA(prefix.c_str(), nullptr, 0);
    if (size > 0) {
      std::string expanded(size, '\0');
      const DWORD written = GetLongPathNameA(prefix.c_str(), expanded.data(), size);
      if (written > 0 && written < size) {
        expanded.resize(written);
        return expanded + path.substr(end);
      }
    }
    if (end < 2) break;
    const std::size_t separator = path.find_last_of("\\/", end - 2);
    if (separator == std::string::npos) break;
    end = separator + 1;
  }
  return path;
}

std::string CurrentDirectory() {
  return SystemPath([](char* b, UINT n) { return static_cast<UINT>(GetCurrentDirectoryA(n, b)); });
}

bool SetCurrentDirectory(const std::string& path) {
  return SetCurrentDirectoryA(path.c_str()) != 0;
}

std::vector<std::string> LocalDrives() {
  std::vector<std::string> drives;
  DWORD mask = GetLogicalDrives();
  for (int letter = 0; letter < 26; ++letter)
    if (mask & (1u << letter))
      drives.push_back(std::string(1, static_cast<char>('A' + letter)) + ":\\");
  return drives;
}

bool IsRemoteDrive(const std::string& path) {
  if (path.rfind("\\\\", 0) == 0) return true;
  if (path.size() < 2 || path[1] != ':') return false;
  const std::string root = path.substr(0, 2) + "\\";
  return GetDriveTypeA(root.c_str()) == DRIVE_REMOTE;
}

std::string DriveDevice(char letter) {
  const char drive[] = {letter, ':', 0};
  char target[1024];
  // The first of the names the device has is the one in use.
  return QueryDosDeviceA(drive, target, sizeof target) ? std::string(target) : "";
}

int64_t FreeDiskSpace(const std::string& folder) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) return -1;
  return static_cast<int64_t>(available.QuadPart);
}

std::string TempDirectory() {
  return SystemPath([](char* b, UINT n) { return static_cast<UINT>(GetTempPathA(n, b)); });
}

std::string WindowsDirectory() {
  return SystemPath([](char* b, UINT n) { return GetWindowsDirectoryA(b, n); });
}

std::string SystemDirectory() {
  return SystemPath([](char* b, UINT n) { return GetSystemDirectoryA(b, n); });
}

}  // namespace platform

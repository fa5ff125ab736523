// Files and directories, addressed by Windows paths ("C:\dir\name.ext").
// The win32 side calls the ANSI file API; the posix side maps the path onto the
// native file system (see SetDriveRoot) and keeps Windows semantics.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Windows file attribute bits as the core reads them.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kAttrReparsePoint = 0x400;  // a symbolic link or junction
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

// One directory entry of a listing.
struct DirEntry {
  std::string name;  // leaf name, no directory
  uint32_t attributes = 0;
  int64_t size = 0;
  double modified = 0;  // local time, days since 1899-12-30
};

// kInvalidAttributes when nothing exists at the path.
uint32_t GetFileAttributes(const std::string& path);
bool SetFileAttributes(const std::string& path, uint32_t attributes);
bool FileExists(const std::string& path);       // exists and is not a directory
bool DirectoryExists(const std::string& path);  // exists and is a directory

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists);
// Never replaces an existing target.
bool MoveFile(const std::string& source, const std::string& target);
// Renames a file over an existing one in one step, so that readers see either the
// old or the new content; used to replace a file with one written beside it.
bool ReplaceFile(const std::string& source, const std::string& target);
bool DeleteFile(const std::string& path);
bool CreateDirectory(const std::string& path);  // one level; parent must exist
// Whether two paths name one file or directory (hard links, "." and "..", case all
// seen through); false when either does not exist.
bool SameFile(const std::string& a, const std::string& b);
// The path with the short (8.3) names of its longest existing part spelled out
// in full; what does not exist follows as given. Only Windows has short names:
// the native build returns the path unchanged.
std::string LongPathName(const std::string& path);
// Makes the drive of a path ("C:\x") usable by a tool. Windows drives exist or not;
// the native build keeps each drive as a folder below its drive root and makes
// that folder here. Paths without a drive letter are left alone.
void PrepareDrive(const std::string& path);
bool RemoveDirectory(const std::string& path);  // empty directories only
// Has a file, or an empty folder, deleted when Windows next starts (what a
// running program holds cannot go before). The native build has no such
// start: false.
bool DeleteAtRestart(const std::string& path);
// Gives a file or folder that was moved in the access list its folder gives
// new entries, as if it had been created there (a folder passes it on to what
// it holds). The native build has no access lists: true, nothing changes.
bool InheritAccess(const std::string& path);

// Entries matching the mask in the last component ("C:\dir\*.txt"), with Windows
// mask rules ("*.*" also matches names without a dot). "." and ".." are listed
// as Windows lists them. False when the directory cannot be read.
bool ListDirectory(const std::string& pathWithMask, std::vector<DirEntry>& entries);

// Size in bytes, or -1 when there is no such file.
int64_t FileSize(const std::string& path);
// Modification time (local, days since 1899-12-30); false when nothing is there.
bool GetFileModified(const std::string& path, double& modified);
bool SetFileModified(const std::string& path, double modified);

// An open file. Opened with read and write sharing, as the server's modules
// keep the same files open while setup works.
class File {
 public:
  enum class Mode {
    Read,       // existing file, read only
    ReadWrite,  // existing file, read and write
    Create,     // create or truncate, read and write
    CreateNew,  // create, read and write; fails when the name exists (a link included)
  };
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  bool Open(const std::string& path, Mode mode);
  void Close();
  bool IsOpen() const;
  // Bytes read, 0 at the end, -1 on error.
  int64_t Read(void* buffer, int64_t count);
  // True when every byte was written.
  bool Write(const void* data, int64_t count);
  bool Seek(int64_t offset);  // from the start
  bool SeekToEnd();
  int64_t Position();
  int64_t Size();
  bool Flush();  // to the device

 private:
  intptr_t handle_ = -1;
};

// The process's current directory, without a trailing backslash unless it is a
// root; "" when it cannot be read.
std::string CurrentDirectory();
bool SetCurrentDirectory(const std::string& path);

// The directories the system names, as it gives them (the temporary directory
// usually with a trailing "\", the others without); empty when it names none.
std::string TempDirectory();
std::string WindowsDirectory();
std::string SystemDirectory();

// Bytes free to this process on the drive of the path (an existing folder);
// -1 when the system cannot tell.
int64_t FreeDiskSpace(const std::string& folder);

// The drives of the machine as roots ("C:\\"), in the order of their letters.
std::vector<std::string> LocalDrives();

// Whether a path lies on a network drive: a UNC path ("\\server\share") or a
// drive letter mapped to a share.
bool IsRemoteDrive(const std::string& path);
// What a drive letter stands for, as the system's device names give it
// (QueryDosDevice): "\??\C:\Data" for a drive made with subst,
// "\Device\LanmanRedirector\..." or "\Device\Mup\..." for a network drive,
// "\Device\HarddiskVolume2" for a disk; "" when the letter names no drive.
std::string DriveDevice(char letter);

}  // namespace platform

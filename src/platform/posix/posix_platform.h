// Controls of the posix ports that only native tests and tools use.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform::posix {

// Drive letters map to directories under this root: "C:\x" is <root>/c/x.
// Paths without a drive are taken as native paths with "\" turned into "/".
void SetDriveRoot(const std::string& root);
std::string DriveRoot();
// The native path for a Windows path. Existing components are found without
// regard to case, as on Windows.
std::string MapPath(const std::string& windowsPath);

// For tests of what Windows refuses and the native system does not: a file
// that another program holds open, a full disk. The hook is asked before each
// change of the file system with the Windows path, and the other path of a
// rename (its target) or a copy (its source); an answer other than 0 makes
// the call fail with that errno, nothing done.
enum class FileChange { Rename, Delete, Create };
using FileFault =
    std::function<int(FileChange change, const std::string& path, const std::string& target)>;
void SetFileFault(FileFault fault);

// The name servers of a resolver configuration text (/etc/resolv.conf), in
// the order listed; entries that are not addresses are left out.
std::vector<std::string> ParseResolvConf(const std::string& text);

}  // namespace platform::posix

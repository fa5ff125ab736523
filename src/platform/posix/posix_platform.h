// Controls of the posix ports that only native tests and tools use.
#pragma once

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

// The name servers of a resolver configuration text (/etc/resolv.conf), in
// the order listed; entries that are not addresses are left out.
std::vector<std::string> ParseResolvConf(const std::string& text);

}  // namespace platform::posix

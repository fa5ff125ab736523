// Controls of the posix stand-ins that only native tests and tools use.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/shell.h"

namespace platform::posix {

// Drive letters map to directories under this root: "C:\x" is <root>/c/x.
// Paths without a drive are taken as native paths with "\" turned into "/".
void SetDriveRoot(const std::string& root);
std::string DriveRoot();
// The native path for a Windows path. Existing components are found without
// regard to case, as on Windows.
std::string MapPath(const std::string& windowsPath);

// The in-memory registry.
void ClearRegistry();
// Makes the values of a key (created when missing) unwritable, as a key whose
// access list denies writing would be.
void SetRegistryKeyReadOnly(RegRoot root, const std::string& path, bool readOnly);
// Replaces the registry with the contents of a REGEDIT4-style file. On failure
// the registry is unchanged and error says why.
bool LoadRegistryFile(const std::string& nativePath, std::string& error);
// Writes the registry to a temporary file beside the target, flushes it and
// renames it over the target.
bool SaveRegistryFile(const std::string& nativePath, std::string& error);
// The file form of the registry, and its parser.
std::string RegistryToText();
bool RegistryFromText(const std::string& text, std::string& error);

// What was handed to the shell, one line per call: verb|file|parameters|directory.
std::vector<std::string> ShellExecuteLog();
void ClearShellExecuteLog();

// The directories the stand-in system reports (empty = none).
void SetSystemDirectories(const std::string& temp, const std::string& windows,
                          const std::string& system);
// The drive letters that the stand-in reports as mapped network drives ("NZ").
void SetRemoteDrives(const std::string& letters);
// The special folders the stand-in shell reports (empty = none).
void SetSpecialFolders(const std::string& desktop, const std::string& commonPrograms,
                       const std::string& programs);
void SetSpecialFolder(SpecialFolder folder, const std::string& path);
// A shell link of the stand-in shell is a small text file of three lines:
// "Target=...", "Arguments=...", "IconIndex=n", each ended by CR LF.

// Whether EnablePrivilege last enabled the privilege of this process.
bool PrivilegeEnabled(const std::string& name);

// Forgets every name ClaimSingleInstance has handed out, as if their processes had ended.
void ReleaseSingleInstances();

// The platform identifier the stand-in reports (2 by default).
void SetPlatformId(int id);

// The name servers of a resolver configuration text (/etc/resolv.conf), in
// the order listed; entries that are not addresses are left out.
std::vector<std::string> ParseResolvConf(const std::string& text);

}  // namespace platform::posix

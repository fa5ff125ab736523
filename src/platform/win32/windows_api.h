// <windows.h> for the win32 side of the platform layer. Its A/W macros carry
// the same names as our functions (CopyFile, DeleteFile, ShellExecute, ...):
// they are removed here and the ANSI entries are called by their full names.
#pragma once

// clang-format off
#include <windows.h>
#include <bcrypt.h>
#include <shellapi.h>
#include <winnetwk.h>
// clang-format on

#include <string>

#undef CopyFile
#undef MoveFile
#undef ReplaceFile
#undef DeleteFile
#undef CreateDirectory
#undef RemoveDirectory
#undef GetFileAttributes
#undef SetFileAttributes
#undef ShellExecute

namespace platform::win32 {

// Optional texts go to the API as none when they are empty.
inline const char* NullIfEmpty(const std::string& s) {
  return s.empty() ? nullptr : s.c_str();
}

}  // namespace platform::win32

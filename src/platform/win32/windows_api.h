// <windows.h> for the win32 side of the platform layer. Its A/W macros carry
// the same names as our functions (CopyFile, DeleteFile, ShellExecute, ...):
// they are removed here and the ANSI entries are called by their full names.
#pragma once

// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <bcrypt.h>
#include <shellapi.h>
#include <shlobj.h>  // shell links and special folders; brings ole2.h and shobjidl.h
#include <winnetwk.h>
// clang-format on

#include <string>

#include "platform/datetime.h"

#undef CopyFile
#undef MoveFile
#undef ReplaceFile
#undef DeleteFile
#undef CreateDirectory
#undef RemoveDirectory
#undef SetCurrentDirectory
#undef GetFileAttributes
#undef SetFileAttributes
#undef ShellExecute
#undef MessageBox  // ui::UserInterface::MessageBox
#undef CreateService
#undef StartService
#undef QueryServiceConfig

namespace platform::win32 {

// Optional texts go to the API as none when they are empty.
inline const char* NullIfEmpty(const std::string& s) {
  return s.empty() ? nullptr : s.c_str();
}

// A system time as the fields of an OLE date.
inline DateTimeFields FieldsOf(const SYSTEMTIME& st) {
  DateTimeFields f;
  f.year = st.wYear;
  f.month = st.wMonth;
  f.day = st.wDay;
  f.hour = st.wHour;
  f.minute = st.wMinute;
  f.second = st.wSecond;
  f.millisecond = st.wMilliseconds;
  return f;
}

}  // namespace platform::win32

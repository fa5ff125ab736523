// Functions of system DLLs that are not KnownDLLs. Windows looks for a DLL that
// an import table names in the program's own folder before System32 unless it
// is a KnownDLL, and setup runs elevated from wherever it was downloaded: so
// these DLLs are never imported, but loaded at run time by name from System32
// alone.
#pragma once

#include "platform/win32/windows_api.h"

namespace platform::win32 {

// The entry of a DLL of the system folder, loaded from there alone (never the
// program's folder, the current one or PATH) and kept for the life of the
// process; none when the DLL or the entry cannot be found.
void (*SystemEntry(const wchar_t* dll, const char* entry))();

template <typename Function>
Function* SystemFunction(const wchar_t* dll, const char* entry) {
  return reinterpret_cast<Function*>(SystemEntry(dll, entry));
}

}  // namespace platform::win32

// A function of a system DLL with the type its header declares, or none.
#define ORVIK_SYSTEM_FUNCTION(dll, name) \
  (::platform::win32::SystemFunction<decltype(name)>(dll, #name))

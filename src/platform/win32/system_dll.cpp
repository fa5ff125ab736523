#include "platform/win32/system_dll.h"

namespace platform::win32 {

void (*SystemEntry(const wchar_t* dll, const char* entry))() {
  // Each look-up adds a reference to the DLL, which is never freed: the
  // callers keep what they found for the life of the process.
  HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module) return nullptr;
  return reinterpret_cast<void (*)()>(GetProcAddress(module, entry));
}

}  // namespace platform::win32

// Dynamic libraries through LoadLibraryEx, GetProcAddress and FreeLibrary.
#include "platform/library.h"

#include "platform/win32/system_dll.h"
#include "platform/win32/windows_api.h"

namespace platform {

bool Library::Open(const std::string& path) {
  Unload();
  load_error_ = ERROR_MOD_NOT_FOUND;
  if (path.empty()) return false;
  // Its dependencies come from its own folder and the system folder alone.
  handle_ = LoadLibraryExA(path.c_str(), nullptr,
                           LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  load_error_ = handle_ ? 0 : GetLastError();
  return handle_ != nullptr;
}

void Library::Unload() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

Library::Entry Library::Find(const std::string& name) const {
  if (!handle_) return nullptr;
  return reinterpret_cast<Entry>(GetProcAddress(static_cast<HMODULE>(handle_), name.c_str()));
}

void LimitLibrarySearchToSystem() {
  // Looked up, not imported: Windows 7 has it only with its 2011 loader update,
  // and without it the program should still start.
  if (auto* limit = ORVIK_SYSTEM_FUNCTION(L"kernel32.dll", SetDefaultDllDirectories))
    limit(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace platform

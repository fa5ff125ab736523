// Dynamic libraries through LoadLibraryEx, GetProcAddress and FreeLibrary.
#include "platform/library.h"

#include "platform/win32/windows_api.h"

namespace platform {

bool Library::Open(const std::string& path, bool confined) {
  Unload();
  load_error_ = ERROR_MOD_NOT_FOUND;
  if (path.empty()) return false;
  // With the altered search order the library's dependencies are looked for
  // in its own folder first, not in the folder the setup was started from;
  // confined, nowhere but there and in the system folder.
  handle_ =
      LoadLibraryExA(path.c_str(), nullptr,
                     confined ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                              : LOAD_WITH_ALTERED_SEARCH_PATH);
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

}  // namespace platform

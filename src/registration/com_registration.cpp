#include "registration/com_registration.h"

#include <cstdint>

#include "platform/library.h"

namespace registration {
namespace {

// STDAPI DllRegisterServer(void): an HRESULT.
using SelfRegistration = int32_t();

bool CallEntry(const std::string& libraryPath, const char* entryName) {
  platform::Library library;
  if (!library.Load(libraryPath)) return false;
  SelfRegistration* entry = nullptr;
  if (!library.Bind(entryName, entry)) return false;
  return entry() == 0;
}  // the library is unloaded here on every path

}  // namespace

bool RegisterComServer(const std::string& libraryPath) {
  return CallEntry(libraryPath, "DllRegisterServer");
}

bool UnregisterComServer(const std::string& libraryPath) {
  return CallEntry(libraryPath, "DllUnregisterServer");
}

}  // namespace registration

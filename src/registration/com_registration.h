// Self-registration of the server's COM libraries through their exported
// DllRegisterServer and DllUnregisterServer entries.
#pragma once

#include <string>

namespace registration {

// The COM libraries of the installation directory, in the order they are
// registered and unregistered.
inline constexpr const char* kComServerLibraries[] = {"api.dll", "kestruncom.dll"};

// True when the library loaded, has the entry, and the entry returned 0
// (S_OK). The library is unloaded again in every case.
bool RegisterComServer(const std::string& libraryPath);
bool UnregisterComServer(const std::string& libraryPath);

}  // namespace registration

// The anti-virus engine's setup library setiface.dll, which comes with the
// engine in setupav.dat. Every text is an ANSI string; the engine's status is
// written to the last argument and not examined.
#pragma once

#include <cstdint>
#include <string>

#include "platform/library.h"

namespace engine {

extern "C" {
using SetifaceInstallProgram = int32_t(const char* product, const char* installer,
                                       const char* destination, const char* options, int32_t mode,
                                       int32_t* status);
using SetifaceUpdateFiles = int32_t(const char* product, const char* options, int32_t mode,
                                    int32_t* status);
using SetifaceUninstallProgram = int32_t(const char* product, const char* path, int32_t mode,
                                         int32_t* status);
}

// The partner name and mode every entry is called with.
inline constexpr char kAntivirusPartner[] = "Kestrun";
inline constexpr int32_t kAntivirusMode = 2;

// Loads setiface.dll of the folder (a full path ending in "\") with that
// folder as the current directory, where the library looks for its own files,
// and binds one of its entries; the current directory is put back afterwards.
// A library that does not load or lacks the entry is logged as a warning.
bool LoadAntivirusSetup(const std::string& folder, const char* entry, platform::Library& library);

template <typename Function>
bool BindAntivirusSetup(const std::string& folder, const char* entry, platform::Library& library,
                        Function*& function) {
  function = nullptr;
  return LoadAntivirusSetup(folder, entry, library) && library.Bind(entry, function);
}

// Has the engine installed below installDir ("avast\") uninstall itself through
// the setup library of "avast\setup\"; nothing when that cannot be loaded.
void UninstallAntivirusEngine(const std::string& installDir);

}  // namespace engine

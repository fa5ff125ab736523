// The entries of the anti-virus engine's setup library setiface.dll, which
// comes with the engine in setupav.dat. Every text is an ANSI string; the
// engine's status is written to the last argument and not examined.
#pragma once

#include <cstdint>

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

}  // namespace engine

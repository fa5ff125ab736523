// The commands of srvcfg. Each takes the configuration directory and its own arguments and
// returns the exit status: 0 success, 1 the configuration could not be read or changed (the
// reason on standard error).
#pragma once

#include <cstdint>
#include <string>

namespace srvcfg {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

int Show(const std::string& configDir);
int AddDomain(const std::string& configDir, const std::string& name);
int AddAccount(const std::string& configDir, const std::string& domain, const std::string& alias,
               const std::string& password, uint8_t kind);
int MakePrimary(const std::string& configDir, const std::string& name);
// Empties the temporary, mail and logs directories of settings.cfg: they then
// follow the installation directory wherever the folder is copied to.
int ClearPaths(const std::string& configDir);

// "srvcfg: message" on standard error; returns kExitFailed.
int Fail(const std::string& message);

}  // namespace srvcfg

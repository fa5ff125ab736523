// What the upgrade tests share: where the machine keys are, and the stand-in
// libraries built in testbed/.
#pragma once

#include <string>

#include "platform/registry.h"
#include "upgrade/machine_keys.h"

namespace upgrade_tests {

// Natively the real key paths, in this process's own in-memory registry. Under
// Wine the registry is shared by every test executable of the build, so the
// keys live under a private key of these tests.
inline upgrade::MachineKeys TestKeys() {
#ifdef _WIN32
  return {platform::RegRoot::LocalMachine, "\\Software\\OrvikUpgradeTests"};
#else
  return {};
#endif
}

// Removes every key the tests may have made.
inline void ClearTestKeys() {
  upgrade::MachineKeys keys = TestKeys();
  if (!keys.prefix.empty()) {
    platform::RegDeleteKeyTree(keys.root, keys.prefix);
    return;
  }
  for (const char* key :
       {"\\Software\\Kestrun", "\\Software\\Orvik", "\\Software\\KWEBMAIL", "\\SOFTWARE\\ODBC"})
    platform::RegDeleteKeyTree(keys.root, key);
}

// The built stand-in library of that name ("api", "noentries", ...), as a path
// the platform layer takes: under Wine its drive Z: is the Linux root.
inline std::string TestbedLibrary(const std::string& name) {
#ifdef _WIN32
  std::string path = "Z:" + std::string(ORVIK_TESTBED_DIR) + "/" + name + ".dll";
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
#else
  return std::string(ORVIK_TESTBED_DIR) + "/" + name + ".so";
#endif
}

}  // namespace upgrade_tests

// What the upgrade tests share: where the machine keys are, and the stand-in
// libraries built in testbed/.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/testbed.h"
#include "platform/registry.h"
#include "registration/machine_keys.h"

namespace upgrade_tests {

// Natively the real key paths, in this process's own in-memory registry. Under
// Wine the registry is shared by every test executable of the build, so the
// keys live under a private key of these tests.
inline registration::MachineKeys TestKeys() {
#ifdef _WIN32
  return {platform::RegRoot::LocalMachine, "\\Software\\OrvikUpgradeTests"};
#else
  return {};
#endif
}

// Removes every key the tests may have made.
inline void ClearTestKeys() {
  registration::MachineKeys keys = TestKeys();
  if (!keys.prefix.empty()) {
    platform::RegDeleteKeyTree(keys.root, keys.prefix);
    return;
  }
  for (const char* key :
       {"\\Software\\Kestrun", "\\Software\\Orvik", "\\Software\\KWEBMAIL", "\\SOFTWARE\\ODBC"})
    platform::RegDeleteKeyTree(keys.root, key);
}

// A test on the machine keys, which start and end cleared.
class MachineKeysTest : public testing::Test {
 protected:
  void SetUp() override { ClearTestKeys(); }
  void TearDown() override { ClearTestKeys(); }

  bool Exists(const std::string& key) { return platform::RegKeyExists(keys.root, keys.Path(key)); }

  registration::MachineKeys keys = TestKeys();
};

// The built stand-in library of that name ("api", "noentries", ...).
using testing_support::TestbedLibrary;

}  // namespace upgrade_tests

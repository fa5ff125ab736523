// A configuration store over a scratch installation folder, and the helpers
// that write and read its files as the server would.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/scratch_dir.h"
#include "common/testbed.h"
#include "serverconfig/config_store.h"

namespace serverconfig_test {

using serverconfig::TFixedRecord;

// The db.dll stand-in of testbed/ (natively db.so).
inline std::string BuiltStandin() {
  return testing_support::TestbedLibrary("db");
}

class ConfigTest : public testing::Test {
 protected:
  ConfigTest();

  // InstallDir and ConfigDir of a fresh store (the folder itself is not created).
  void ResetStore();
  std::string Config(const std::string& name) const { return dir_.Path() + "config\\" + name; }
  // Writes a record scrambled, as settings.cfg, domain.cfg and users.cfg hold them.
  void WriteScrambled(const std::string& path, const TFixedRecord& record, std::size_t length = 0);
  TFixedRecord ReadScrambled(const std::string& path, std::size_t size);
  // A domains.cfg of the given names.
  void WriteDomainList(const std::vector<std::string>& names);
  // A settings.cfg whose domain count is set (and nothing else).
  void WriteSettingsWithCount(uint32_t count);

  testing_support::ScratchDir dir_;
  std::unique_ptr<serverconfig::TConfigStore> store_;
};

}  // namespace serverconfig_test

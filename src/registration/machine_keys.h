// The machine-wide keys that registry migration and the ODBC data sources work
// on: HKEY_LOCAL_MACHINE's own. Tests move them under a key of their own,
// since under Wine every test executable shares one registry.
#pragma once

#include <string>

#include "platform/registry.h"

namespace registration {

struct MachineKeys {
  platform::RegRoot root = platform::RegRoot::LocalMachine;
  std::string prefix;  // put before every key path; empty for the real keys

  std::string Path(const std::string& key) const { return prefix + key; }
};

}  // namespace registration

#include "registration/odbc_data_sources.h"

#include <cctype>
#include <vector>

#include "support/text_fields.h"

namespace registration {
namespace {

using platform::RegKey;
using platform::RegValue;

constexpr char kDrivers[] = "\\SOFTWARE\\ODBC\\ODBCINST.INI";
constexpr char kSources[] = "\\SOFTWARE\\ODBC\\ODBC.INI";
constexpr char kSourceList[] = "ODBC Data Sources";

// The first driver whose name mentions "*.mdb", as "Microsoft Access Driver
// (*.mdb)" does in every language.
bool FindAccessDriver(const MachineKeys& keys, std::string& driver) {
  RegKey key;
  if (!key.Open(keys.root, keys.Path(std::string(kDrivers) + "\\ODBC Drivers"), false))
    return false;
  std::vector<std::string> names;
  if (!key.ValueNames(names)) return false;
  for (const auto& name : names) {
    if (support::LowerCase(name).find("*.mdb") != std::string::npos) {
      driver = name;
      return true;
    }
  }
  return false;
}

// The driver library's path. A driver listed without its own key is broken:
// no data source is made for it.
bool ReadDriverLibrary(const MachineKeys& keys, const std::string& driver, std::string& path) {
  RegKey key;
  if (!key.Open(keys.root, keys.Path(std::string(kDrivers) + "\\" + driver), false)) return false;
  return platform::ReadStringValue(key, "Driver", path);  // a missing value reads as empty
}

bool WriteSource(const MachineKeys& keys, const std::string& name, const std::string& driver,
                 const std::string& driverPath, const std::string& databasePath) {
  const std::string sourceKey = std::string(kSources) + "\\" + name;
  RegKey list;
  if (!list.Open(keys.root, keys.Path(std::string(kSources) + "\\" + kSourceList), true) ||
      !list.WriteString(name, driver))
    return false;
  RegKey source;
  if (!source.Open(keys.root, keys.Path(sourceKey), true) ||
      !source.WriteString("DBQ", databasePath) || !source.WriteString("Driver", driverPath) ||
      !source.WriteDWord("DriverId", 25) || !source.WriteString("FIL", "MS Access;") ||
      !source.WriteDWord("SafeTransactions", 0) || !source.WriteString("UID", ""))
    return false;
  RegKey jet;
  return jet.Open(keys.root, keys.Path(sourceKey + "\\Engines\\Jet"), true) &&
         jet.WriteString("ImplicitCommitSync", "") && jet.WriteDWord("MaxBufferSize", 2048) &&
         jet.WriteDWord("PageTimeout", 5) && jet.WriteDWord("Threads", 3) &&
         jet.WriteString("UserCommitSync", "Yes");
}

}  // namespace

bool DataSourceExists(const std::string& name, const MachineKeys& keys) {
  RegKey list;
  if (!list.Open(keys.root, keys.Path(std::string(kSources) + "\\" + kSourceList), false))
    return false;
  RegValue value;
  return list.ReadValue(name, value) && platform::IsStringValue(value) && !value.data.empty();
}

bool CreateAccessDataSource(const std::string& name, bool skip, const std::string& databasePath,
                            const MachineKeys& keys) {
  if (skip) return false;
  std::string driver, driverPath;
  // Any registry error ends here silently.
  if (FindAccessDriver(keys, driver) && ReadDriverLibrary(keys, driver, driverPath))
    WriteSource(keys, name, driver, driverPath, databasePath);
  return false;
}

}  // namespace registration

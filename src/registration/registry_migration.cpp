#include "registration/registry_migration.h"

#include <cstddef>
#include <string>

namespace registration {
namespace {

using platform::RegKey;
using platform::RegType;
using platform::RegValue;

constexpr char kCurrentArea[] = "\\Software\\Kestrun";

constexpr const char* kStringValues[] = {"InstallDir", "Version", "Name",
                                         "Email",      "Country", "Company"};

struct RawValue {
  const char* from;
  const char* to;
};
constexpr RawValue kRawValues[] = {
    {"DNSQuery", "DNSQuery"},
    {"Settings", "Settings"},
    {"SMTPTest", "SMTPTest"},
    {"ORVIKNotify", "Notify"},
};

// The old setup read raw values into a buffer of this size.
constexpr size_t kRawBufferSize = 4096;

// A missing value reads as no bytes. Strings and numbers are not raw data, and
// a value larger than the buffer cannot be read.
bool ReadRaw(const RegKey& key, const char* name, std::string& bytes) {
  bytes.clear();
  RegValue value;
  if (!key.ReadValue(name, value)) return true;
  if (platform::IsStringValue(value) || value.type == RegType::DWord) return false;
  if (value.data.size() > kRawBufferSize) return false;
  bytes = value.data;
  return true;
}

// False at the first registry error.
bool CopyValues(const MachineKeys& keys, const std::string& oldPath, const std::string& newPath,
                bool withRaw) {
  RegKey target;
  if (!target.Open(keys.root, keys.Path(newPath), true)) return false;
  RegKey source;
  if (!source.Open(keys.root, keys.Path(oldPath), false)) return false;
  std::string data;
  for (const char* name : kStringValues) {
    if (!platform::ReadStringValue(source, name, data) || !target.WriteString(name, data))
      return false;
  }
  if (!withRaw) return true;
  for (const RawValue& raw : kRawValues) {
    if (!ReadRaw(source, raw.from, data)) return false;
    if (!data.empty() && !target.WriteBinary(raw.to, data)) return false;
  }
  return true;
}

// False when the migration has to end here.
bool MigrateKey(const MachineKeys& keys, const std::string& oldPath, const std::string& newPath,
                bool withRaw, bool deleteOld) {
  if (!platform::RegKeyExists(keys.root, keys.Path(oldPath))) return true;
  if (!CopyValues(keys, oldPath, newPath, withRaw)) return false;
  if (deleteOld) platform::RegDeleteKeyTree(keys.root, keys.Path(oldPath));  // may fail; ignored
  return true;
}

}  // namespace

void MigrateRegistry(bool deleteOld, const MachineKeys& keys) {
  if (platform::RegKeyExists(keys.root, keys.Path(kCurrentArea))) return;
  if (!MigrateKey(keys, "\\Software\\Orvik", std::string(kCurrentArea) + "\\Orvik Mail Server",
                  true, deleteOld))
    return;
  MigrateKey(keys, "\\Software\\KWEBMAIL", std::string(kCurrentArea) + "\\Kestrun Web Mail", false,
             deleteOld);
}

}  // namespace registration

// TAdvancedRegistry: value-level access to one registry key, named by a root key,
// an area and a section. The key is opened and closed around every call; errors
// never raise, they call OnError when one is assigned.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace support {

// In this order (ordinals 0 to 6), as stored with the forms.
enum TRegistryKey {
  hkCLASSES_ROOT,
  hkCURRENT_USER,
  hkLOCAL_MACHINE,
  hkUSERS,
  hkPERFORMANCE_DATA,
  hkCURRENT_CONFIG,
  hkDYN_DATA,
};

class TAdvancedRegistry {
 public:
  using TNotifyEvent = std::function<void(TAdvancedRegistry& sender)>;

  // The design-time defaults.
  TAdvancedRegistry() = default;
  TAdvancedRegistry(TRegistryKey root, std::string area, std::string section)
      : RegistryRootKey(root), RegistryArea(std::move(area)), RegistrySection(std::move(section)) {}

  TRegistryKey RegistryRootKey = hkCURRENT_USER;
  std::string RegistryArea = "\\Software\\Company";
  std::string RegistrySection = "Help";
  TNotifyEvent OnError;

  std::string ReadString(const std::string& name);
  void WriteString(const std::string& name, const std::string& text);
  void WriteInteger(const std::string& name, int32_t value);
  bool ReadBool(const std::string& name);
  void WriteBool(const std::string& name, bool value);
  // The key path is relative to the root key, not to area and section.
  void DeleteKey(const std::string& keyPath);
  void GetValueNames(std::vector<std::string>& names);

  // RegistryArea + "\" + RegistrySection.
  std::string KeyPath() const;

 private:
  platform::RegRoot Root() const { return static_cast<platform::RegRoot>(RegistryRootKey); }
  void Fail();
};

}  // namespace support

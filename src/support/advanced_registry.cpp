#include "support/advanced_registry.h"

namespace support {

std::string TAdvancedRegistry::KeyPath() const {
  return RegistryArea + "\\" + RegistrySection;
}

void TAdvancedRegistry::Fail() {
  if (OnError) OnError(*this);
}

std::string TAdvancedRegistry::ReadString(const std::string& name) {
  platform::RegKey key;
  if (!key.Open(Root(), KeyPath(), false)) {
    Fail();
    return "";
  }
  std::string text;  // a missing value reads as empty
  if (!platform::ReadStringValue(key, name, text)) Fail();
  return text;
}

void TAdvancedRegistry::WriteString(const std::string& name, const std::string& text) {
  platform::RegKey key;
  if (!key.Open(Root(), KeyPath(), true) || !key.WriteString(name, text)) Fail();
}

void TAdvancedRegistry::WriteInteger(const std::string& name, int32_t value) {
  platform::RegKey key;
  if (!key.Open(Root(), KeyPath(), true) || !key.WriteDWord(name, static_cast<uint32_t>(value)))
    Fail();
}

bool TAdvancedRegistry::ReadBool(const std::string& name) {
  platform::RegKey key;
  platform::RegValue value;
  if (!key.Open(Root(), KeyPath(), false) || !key.ReadValue(name, value) ||
      value.type != platform::RegType::DWord) {
    Fail();
    return false;
  }
  return value.dword != 0;
}

void TAdvancedRegistry::WriteBool(const std::string& name, bool value) {
  WriteInteger(name, value ? 1 : 0);
}

void TAdvancedRegistry::DeleteKey(const std::string& keyPath) {
  if (!platform::RegDeleteKeyTree(Root(), keyPath)) Fail();
}

void TAdvancedRegistry::GetValueNames(std::vector<std::string>& names) {
  names.clear();
  platform::RegKey key;
  if (!key.Open(Root(), KeyPath(), true) || !key.ValueNames(names)) Fail();
}

}  // namespace support

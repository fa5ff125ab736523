// The registry through the ANSI registry API, in its native 64-bit view.
#include "platform/registry.h"

#include "platform/win32/windows_api.h"

namespace platform {
namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegRoot::CurrentUser:
      return HKEY_CURRENT_USER;
    case RegRoot::LocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegRoot::Users:
      return HKEY_USERS;
    case RegRoot::PerformanceData:
      return HKEY_PERFORMANCE_DATA;
    case RegRoot::CurrentConfig:
      return HKEY_CURRENT_CONFIG;
    case RegRoot::DynData:
      return HKEY_DYN_DATA;
  }
  return HKEY_CURRENT_USER;
}

// The API refuses a key path with a leading "\"; the system's texts write one.
std::string KeyPath(const std::string& path) {
  size_t begin = path.find_first_not_of('\\');
  if (begin == std::string::npos) return {};
  size_t end = path.find_last_not_of('\\');
  return path.substr(begin, end - begin + 1);
}

bool SetValue(HKEY key, const std::string& name, DWORD type, const void* data, size_t size) {
  return RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                        static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

}  // namespace

struct RegKey::Impl {
  HKEY key = nullptr;
  RegRoot root = RegRoot::CurrentUser;
  std::string path;
};

RegKey::RegKey() = default;
RegKey::~RegKey() {
  Close();
}

bool RegKey::Open(RegRoot root, const std::string& path, bool create) {
  Close();
  std::string sub = KeyPath(path);
  HKEY key = nullptr;
  LONG result;
  if (create) {
    TellRegistryWatcher({RegistryChange::Kind::CreateKey, root, path, "", {}});
    result = RegCreateKeyExA(RootKey(root), sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_READ | KEY_WRITE | kView, nullptr, &key, nullptr);
  } else {
    result = RegOpenKeyExA(RootKey(root), sub.c_str(), 0, KEY_READ | KEY_WRITE | kView, &key);
    // A key the process may only read (HKEY_LOCAL_MACHINE without elevation)
    // still opens for reading; writes to it then fail.
    if (result == ERROR_ACCESS_DENIED)
      result = RegOpenKeyExA(RootKey(root), sub.c_str(), 0, KEY_READ | kView, &key);
  }
  if (result != ERROR_SUCCESS) return false;
  impl_ = std::make_unique<Impl>();
  impl_->key = key;
  impl_->root = root;
  impl_->path = path;
  return true;
}

void RegKey::Close() {
  if (impl_ && impl_->key) RegCloseKey(impl_->key);
  impl_.reset();
}

void RegKey::Tell(const std::string& name, const std::optional<RegValue>& written) const {
  if (impl_)
    TellRegistryWatcher({RegistryChange::Kind::Value, impl_->root, impl_->path, name, written});
}

bool RegKey::IsOpen() const {
  return impl_ != nullptr;
}

bool RegKey::ReadValue(const std::string& name, RegValue& value) const {
  if (!impl_) return false;
  DWORD type = 0, size = 0;
  std::string bytes;
  LONG result = RegQueryValueExA(impl_->key, name.c_str(), nullptr, &type, nullptr, &size);
  // The value may grow between asking its size and reading it.
  for (int attempt = 0; result == ERROR_SUCCESS || result == ERROR_MORE_DATA; ++attempt) {
    if (attempt == 8) return false;
    bytes.assign(size, '\0');
    result = RegQueryValueExA(impl_->key, name.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(bytes.data()), &size);
    if (result == ERROR_SUCCESS) break;
  }
  if (result != ERROR_SUCCESS) return false;
  bytes.resize(size);
  value = RegValue();
  switch (type) {
    case REG_SZ:
      value.type = RegType::String;
      break;
    case REG_EXPAND_SZ:
      value.type = RegType::ExpandString;
      break;
    case REG_BINARY:
      value.type = RegType::Binary;
      break;
    case REG_MULTI_SZ:
      value.type = RegType::MultiString;
      break;
    case REG_DWORD:
      value.type = RegType::DWord;
      for (size_t i = bytes.size() < 4 ? bytes.size() : 4; i-- > 0;)
        value.dword = value.dword << 8 | static_cast<unsigned char>(bytes[i]);
      break;
    default:
      value.type = RegType::Other;
      break;
  }
  // Strings are stored with their terminator.
  if ((type == REG_SZ || type == REG_EXPAND_SZ) && !bytes.empty() && bytes.back() == '\0')
    bytes.pop_back();
  value.data = std::move(bytes);
  return true;
}

bool RegKey::WriteString(const std::string& name, const std::string& text) {
  Tell(name, RegValue{RegType::String, text, 0});
  return impl_ && SetValue(impl_->key, name, REG_SZ, text.c_str(), text.size() + 1);
}

bool RegKey::WriteExpandString(const std::string& name, const std::string& text) {
  Tell(name, RegValue{RegType::ExpandString, text, 0});
  return impl_ && SetValue(impl_->key, name, REG_EXPAND_SZ, text.c_str(), text.size() + 1);
}

bool RegKey::WriteDWord(const std::string& name, uint32_t value) {
  Tell(name, RegValue{RegType::DWord, "", value});
  DWORD data = value;
  return impl_ && SetValue(impl_->key, name, REG_DWORD, &data, sizeof data);
}

bool RegKey::WriteBinary(const std::string& name, const std::string& bytes) {
  Tell(name, RegValue{RegType::Binary, bytes, 0});
  return impl_ && SetValue(impl_->key, name, REG_BINARY, bytes.data(), bytes.size());
}

bool RegKey::DeleteValue(const std::string& name) {
  Tell(name, std::nullopt);
  return impl_ && RegDeleteValueA(impl_->key, name.c_str()) == ERROR_SUCCESS;
}

bool RegKey::ValueNames(std::vector<std::string>& names) const {
  names.clear();
  if (!impl_) return false;
  std::string buffer(16384, '\0');  // the longest value name and its terminator
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(buffer.size());
    LONG result = RegEnumValueA(impl_->key, index, buffer.data(), &length, nullptr, nullptr,
                                nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) return true;
    if (result != ERROR_SUCCESS) return false;
    names.emplace_back(buffer.data(), length);
  }
}

bool RegKey::SubKeyNames(std::vector<std::string>& names) const {
  names.clear();
  if (!impl_) return false;
  char buffer[256];  // the longest key name and its terminator
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof buffer;
    LONG result =
        RegEnumKeyExA(impl_->key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) return true;
    if (result != ERROR_SUCCESS) return false;
    names.emplace_back(buffer, length);
  }
}

bool RegKeyExists(RegRoot root, const std::string& path) {
  HKEY key;
  LONG result =
      RegOpenKeyExA(RootKey(root), KeyPath(path).c_str(), 0, KEY_QUERY_VALUE | kView, &key);
  if (result == ERROR_SUCCESS) RegCloseKey(key);
  // A key we may not read is still there.
  return result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED;
}

bool RegDeleteKeyTree(RegRoot root, const std::string& path) {
  TellRegistryWatcher({RegistryChange::Kind::DeleteTree, root, path, "", {}});
  std::string sub = KeyPath(path);
  if (sub.empty()) return false;  // never the contents of a whole root key
  HKEY key;
  if (RegOpenKeyExA(RootKey(root), sub.c_str(), 0,
                    DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | kView,
                    &key) != ERROR_SUCCESS)
    return false;
  LONG result = RegDeleteTreeA(key, nullptr);  // subkeys and values
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return false;
  return RegDeleteKeyExA(RootKey(root), sub.c_str(), kView, 0) == ERROR_SUCCESS;
}

}  // namespace platform

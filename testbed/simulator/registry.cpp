// The simulated registry: an in-memory tree with Windows' case rules and limits.
#include "platform/registry.h"

#include <strings.h>

#include <map>
#include <memory>
#include <mutex>

#include "simulator/simulator.h"

namespace platform {
namespace {

// Windows value type numbers.
constexpr uint32_t kSz = 1, kExpandSz = 2, kBinary = 3, kDword = 4, kMultiSz = 7;

struct NoCase {
  bool operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  }
};

struct StoredValue {
  uint32_t type = kSz;
  std::string bytes;  // strings without terminator; a DWORD as 4 little-endian bytes
};

struct Key {
  std::map<std::string, std::shared_ptr<Key>, NoCase> subkeys;
  std::map<std::string, StoredValue, NoCase> values;
  bool deleted = false;
  bool readOnly = false;  // values cannot be written, as under a denying access list
};

struct Tree {
  std::shared_ptr<Key> roots[7];
  Tree() {
    for (auto& r : roots) r = std::make_shared<Key>();
  }
};

std::recursive_mutex treeMutex;
Tree tree;

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('\\', pos);
    if (next == std::string::npos) next = path.size();
    if (next > pos) parts.push_back(path.substr(pos, next - pos));
    pos = next + 1;
  }
  return parts;
}

// Windows' limits: 512 levels of keys, 255 characters in a key name, 16383 in
// a value name.
constexpr size_t kMaxDepth = 512, kMaxKeyName = 255, kMaxValueName = 16383;

std::shared_ptr<Key> Find(Tree& t, RegRoot root, const std::string& path, bool create) {
  // As on Windows NT: performance data holds no keys and dynamic data is gone.
  if (root == RegRoot::PerformanceData || root == RegRoot::DynData) return nullptr;
  std::shared_ptr<Key> key = t.roots[static_cast<int>(root)];
  std::vector<std::string> parts = SplitPath(path);
  if (parts.size() > kMaxDepth) return nullptr;
  for (const auto& part : parts) {
    auto it = key->subkeys.find(part);
    if (it == key->subkeys.end()) {
      if (!create || part.size() > kMaxKeyName) return nullptr;
      it = key->subkeys.emplace(part, std::make_shared<Key>()).first;
    }
    key = it->second;
  }
  return key;
}

// Keys are at most kMaxDepth deep, so recursion over them is bounded.
void MarkDeleted(Key& key) {
  key.deleted = true;
  for (auto& [name, sub] : key.subkeys) MarkDeleted(*sub);
}

bool Store(Key& key, const std::string& name, uint32_t type, const std::string& bytes) {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  if (key.deleted || key.readOnly || name.size() > kMaxValueName) return false;
  StoredValue& v = key.values[name];
  v.type = type;
  v.bytes = bytes;
  return true;
}

}  // namespace

struct RegKey::Impl {
  std::shared_ptr<Key> key;
  RegRoot root = RegRoot::CurrentUser;
  std::string path;
};

RegKey::RegKey() = default;
RegKey::~RegKey() = default;

bool RegKey::Open(RegRoot root, const std::string& path, bool create) {
  // Told before the tree is locked, as every other write is: a watcher at work
  // on another thread reads the tree while this write waits for it.
  if (create) TellRegistryWatcher({RegistryChange::Kind::CreateKey, root, path, "", {}});
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  Close();
  std::shared_ptr<Key> key = Find(tree, root, path, create);
  if (!key) return false;
  impl_ = std::make_unique<Impl>();
  impl_->key = key;
  impl_->root = root;
  impl_->path = path;
  return true;
}

void RegKey::Close() {
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
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  if (!impl_ || impl_->key->deleted) return false;
  auto it = impl_->key->values.find(name);
  if (it == impl_->key->values.end()) return false;
  const StoredValue& v = it->second;
  value = RegValue();
  value.data = v.bytes;
  switch (v.type) {
    case kSz:
      value.type = RegType::String;
      break;
    case kExpandSz:
      value.type = RegType::ExpandString;
      break;
    case kBinary:
      value.type = RegType::Binary;
      break;
    case kMultiSz:
      value.type = RegType::MultiString;
      break;
    case kDword:
      value.type = RegType::DWord;
      for (size_t i = v.bytes.size() < 4 ? v.bytes.size() : 4; i-- > 0;)
        value.dword = value.dword << 8 | static_cast<unsigned char>(v.bytes[i]);
      break;
    default:
      value.type = RegType::Other;
      break;
  }
  return true;
}

bool RegKey::WriteString(const std::string& name, const std::string& text) {
  Tell(name, RegValue{RegType::String, text, 0});
  return impl_ && Store(*impl_->key, name, kSz, text);
}

bool RegKey::WriteExpandString(const std::string& name, const std::string& text) {
  Tell(name, RegValue{RegType::ExpandString, text, 0});
  return impl_ && Store(*impl_->key, name, kExpandSz, text);
}

bool RegKey::WriteDWord(const std::string& name, uint32_t value) {
  Tell(name, RegValue{RegType::DWord, "", value});
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return impl_ && Store(*impl_->key, name, kDword, bytes);
}

bool RegKey::WriteBinary(const std::string& name, const std::string& bytes) {
  Tell(name, RegValue{RegType::Binary, bytes, 0});
  return impl_ && Store(*impl_->key, name, kBinary, bytes);
}

bool RegKey::DeleteValue(const std::string& name) {
  Tell(name, std::nullopt);
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  if (!impl_ || impl_->key->deleted) return false;
  return impl_->key->values.erase(name) > 0;
}

bool RegKey::ValueNames(std::vector<std::string>& names) const {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  names.clear();
  if (!impl_ || impl_->key->deleted) return false;
  for (const auto& [name, value] : impl_->key->values) names.push_back(name);
  return true;
}

bool RegKey::SubKeyNames(std::vector<std::string>& names) const {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  names.clear();
  if (!impl_ || impl_->key->deleted) return false;
  for (const auto& [name, sub] : impl_->key->subkeys) names.push_back(name);
  return true;
}

bool RegKeyExists(RegRoot root, const std::string& path) {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  return Find(tree, root, path, false) != nullptr;
}

bool RegDeleteKeyTree(RegRoot root, const std::string& path) {
  TellRegistryWatcher({RegistryChange::Kind::DeleteTree, root, path, "", {}});
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) return false;  // a root key cannot be deleted
  std::string leaf = parts.back();
  parts.pop_back();
  std::shared_ptr<Key> parent = tree.roots[static_cast<int>(root)];
  for (const auto& part : parts) {
    auto it = parent->subkeys.find(part);
    if (it == parent->subkeys.end()) return false;
    parent = it->second;
  }
  auto it = parent->subkeys.find(leaf);
  if (it == parent->subkeys.end()) return false;
  MarkDeleted(*it->second);
  parent->subkeys.erase(it);
  return true;
}

}  // namespace platform

namespace simulator {
using namespace platform;

void SetRegistryKeyReadOnly(RegRoot root, const std::string& path, bool readOnly) {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  if (std::shared_ptr<Key> key = Find(tree, root, path, true)) key->readOnly = readOnly;
}

void ClearRegistry() {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  for (auto& r : tree.roots) MarkDeleted(*r);
  tree = Tree();
}

}  // namespace simulator

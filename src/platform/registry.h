// The registry. Key paths are written as the system's texts write them, with or
// without a leading "\" ("\Software\Kestrun"); names compare without regard to
// case. The win32 side uses the 64-bit view; natively the tests' simulator
// (testbed/simulator) holds an in-memory tree.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// In the order of the setup's TRegistryKey.
enum class RegRoot {
  ClassesRoot,
  CurrentUser,
  LocalMachine,
  Users,
  PerformanceData,
  CurrentConfig,
  DynData,
};

enum class RegType { String, ExpandString, DWord, Binary, MultiString, Other };

struct RegValue {
  RegType type = RegType::String;
  std::string data;  // string contents without terminator, or the raw bytes
  uint32_t dword = 0;
};

// A change about to be made: to a key as a whole (opened for creation, or
// deleted with everything below it), or to one of its values (written, or
// deleted when written is empty). The path is the key's as the caller wrote it.
struct RegistryChange {
  enum class Kind { CreateKey, DeleteTree, Value };
  Kind kind = Kind::Value;
  RegRoot root = RegRoot::LocalMachine;
  std::string path;
  std::string name;                 // of the value
  std::optional<RegValue> written;  // what the value gets; empty when it is deleted
};
// Told of every change before it is made; the install run journals what the
// registry held. One watcher at a time; an
// empty one ends the watching. Reads are not told. Writes from any thread are
// told, one at a time (a write waits while the watcher works for another);
// what the watcher writes itself is not told to it again. Set from another
// thread than the watcher's, a new watcher or the end takes effect once a call
// in progress has returned.
using RegistryWatcher = std::function<void(const RegistryChange& change)>;
void SetRegistryWatcher(RegistryWatcher watcher);
// For the registry's implementations: tells the watcher, if any.
void TellRegistryWatcher(const RegistryChange& change);

bool RegKeyExists(RegRoot root, const std::string& path);
// Deletes the key with all its subkeys.
bool RegDeleteKeyTree(RegRoot root, const std::string& path);

// An open key; closed by the destructor.
class RegKey {
 public:
  RegKey();
  ~RegKey();
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // With create, missing keys on the path are created. A key the process may
  // only read opens for reading; writes to it then fail.
  bool Open(RegRoot root, const std::string& path, bool create);
  void Close();
  bool IsOpen() const;

  // False when the value does not exist or cannot be read.
  bool ReadValue(const std::string& name, RegValue& value) const;
  bool WriteString(const std::string& name, const std::string& text);
  bool WriteExpandString(const std::string& name, const std::string& text);
  bool WriteDWord(const std::string& name, uint32_t value);
  bool WriteBinary(const std::string& name, const std::string& bytes);
  bool DeleteValue(const std::string& name);
  bool ValueNames(std::vector<std::string>& names) const;
  bool SubKeyNames(std::vector<std::string>& names) const;

 private:
  // Tells the registry watcher that a value of this key is about to change.
  void Tell(const std::string& name, const std::optional<RegValue>& written) const;

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Whether the value holds text: a string, expandable or not.
inline bool IsStringValue(const RegValue& value) {
  return value.type == RegType::String || value.type == RegType::ExpandString;
}

// Reads a text value of an open key. A missing value reads as empty; a value
// of another type is an error (false, text empty).
inline bool ReadStringValue(const RegKey& key, const std::string& name, std::string& text) {
  text.clear();
  RegValue value;
  if (!key.ReadValue(name, value)) return true;
  if (!IsStringValue(value)) return false;
  text = std::move(value.data);
  return true;
}

}  // namespace platform

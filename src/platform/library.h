// Dynamic libraries of the product loaded at run time by their full path: the
// server's COM libraries, its database library and the anti-virus engine's
// setup library. Their own dependencies come from their folder and the system
// folder alone, never from the current folder, PATH or the setup's folder.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class Library {
 public:
  // The address of an exported entry. Every function pointer converts to and
  // from this type without loss.
  using Entry = void (*)();

  Library() = default;
  ~Library();  // unloads
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  Library(Library&& other) noexcept;
  Library& operator=(Library&& other) noexcept;

  // Loads the library at a full Windows path ("C:\..." or "\\server\...");
  // one loaded before is unloaded first. False when it cannot be loaded or the
  // path is not a full one; LoadError then gives the Windows error code.
  bool Load(const std::string& path);
  uint32_t LoadError() const { return load_error_; }
  void Unload();
  bool IsLoaded() const;

  // The exported entry of that name, or none.
  Entry Find(const std::string& name) const;

  // Binds an entry to a typed function pointer, which is set to none when the
  // entry is missing. Entries are declared without a calling convention: the
  // product is 64-bit, where Windows has only one.
  template <typename Function>
  bool Bind(const std::string& name, Function*& function) const {
    Entry entry = Find(name);
    function = reinterpret_cast<Function*>(entry);
    return entry != nullptr;
  }

 private:
  bool Open(const std::string& path);

  void* handle_ = nullptr;  // the system's handle of the loaded library
  uint32_t load_error_ = 0;
};

// Limits the system's search for a library loaded by name, for the rest of the
// process, to the system folder: DLLs planted beside the program, in the
// current folder or on PATH are never loaded. The first thing main does.
void LimitLibrarySearchToSystem();

}  // namespace platform

// Ownership of a loaded library, the same on every system.
#include "platform/library.h"

#include <utility>

#include "platform/processes.h"

namespace platform {

Library::~Library() {
  Unload();
}

Library::Library(Library&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Library& Library::operator=(Library&& other) noexcept {
  if (this != &other) {
    Unload();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

// A name without a full path would be searched for along folders that others
// can write to.
bool Library::Load(const std::string& path) {
  bool full = (path.size() > 2 && path[1] == ':' && path[2] == '\\') || path.rfind("\\\\", 0) == 0;
  if (full) return Open(path);
  Unload();
  load_error_ = kErrorInvalidParameter;
  return false;
}

bool Library::IsLoaded() const {
  return handle_ != nullptr;
}

}  // namespace platform

// Ownership of a loaded library, the same on every system.
#include "platform/library.h"

#include <utility>

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

bool Library::IsLoaded() const {
  return handle_ != nullptr;
}

}  // namespace platform

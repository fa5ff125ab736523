// Dynamic libraries through LoadLibraryEx, GetProcAddress and FreeLibrary.
#include "platform/library.h"

#include "platform/win32/windows_api.h"

namespace platform {

struct Library::Impl {
  HMODULE module = nullptr;
};

Library::Library() = default;
Library::~Library() {
  Unload();
}
Library::Library(Library&& other) noexcept = default;
Library& Library::operator=(Library&& other) noexcept {
  if (this != &other) {
    Unload();
    impl_ = std::move(other.impl_);
  }
  return *this;
}

bool Library::Load(const std::string& path) {
  Unload();
  if (path.empty()) return false;
  // With the altered search order the library's dependencies are looked for
  // in its own folder first, not in the folder the setup was started from.
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) return false;
  impl_ = std::make_unique<Impl>();
  impl_->module = module;
  return true;
}

void Library::Unload() {
  if (impl_ && impl_->module) FreeLibrary(impl_->module);
  impl_.reset();
}

bool Library::IsLoaded() const {
  return impl_ != nullptr;
}

Library::Entry Library::Find(const std::string& name) const {
  if (!impl_) return nullptr;
  return reinterpret_cast<Entry>(GetProcAddress(impl_->module, name.c_str()));
}

}  // namespace platform

// Dynamic libraries through dlopen, dlsym and dlclose; Windows paths are mapped
// as for files.
#include "platform/library.h"

#include <dlfcn.h>

#include "platform/posix/posix_platform.h"

namespace platform {

struct Library::Impl {
  void* handle = nullptr;
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
  std::string native = posix::MapPath(path);
  // A name without a folder would make dlopen search the system's library
  // path; the caller means a file.
  if (native.find('/') == std::string::npos) native = "./" + native;
  void* handle = dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return false;
  impl_ = std::make_unique<Impl>();
  impl_->handle = handle;
  return true;
}

void Library::Unload() {
  if (impl_ && impl_->handle) dlclose(impl_->handle);
  impl_.reset();
}

bool Library::IsLoaded() const {
  return impl_ != nullptr;
}

Library::Entry Library::Find(const std::string& name) const {
  if (!impl_) return nullptr;
  return reinterpret_cast<Entry>(dlsym(impl_->handle, name.c_str()));
}

}  // namespace platform

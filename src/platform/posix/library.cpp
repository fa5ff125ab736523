// Dynamic libraries through dlopen, dlsym and dlclose; Windows paths are mapped
// as for files.
#include "platform/library.h"

#include <dlfcn.h>

#include "platform/posix/posix_platform.h"

namespace platform {

bool Library::Load(const std::string& path) {
  Unload();
  if (path.empty()) return false;
  std::string native = posix::MapPath(path);
  // A name without a folder would make dlopen search the system's library
  // path; the caller means a file.
  if (native.find('/') == std::string::npos) native = "./" + native;
  handle_ = dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
  return handle_ != nullptr;
}

void Library::Unload() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

Library::Entry Library::Find(const std::string& name) const {
  if (!handle_) return nullptr;
  return reinterpret_cast<Entry>(dlsym(handle_, name.c_str()));
}

}  // namespace platform

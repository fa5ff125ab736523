// Dynamic libraries through dlopen, dlsym and dlclose; Windows paths are mapped
// as for files.
#include "platform/library.h"

#include <dlfcn.h>
#include <unistd.h>

#include "platform/posix/posix_platform.h"

namespace platform {
namespace {

// The Windows error codes of a failed load.
constexpr uint32_t kModuleNotFound = 126;
constexpr uint32_t kBadFormat = 193;

}  // namespace

// The dynamic loader searches no folder for a path with a "/".
bool Library::Open(const std::string& path) {
  Unload();
  load_error_ = kModuleNotFound;
  if (path.empty()) return false;
  std::string native = posix::MapPath(path);
  // A name without a folder would make dlopen search the system's library
  // path; the caller means a file.
  if (native.find('/') == std::string::npos) native = "./" + native;
  handle_ = dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
  // A file that is there but does not load is no library of this system.
  if (handle_ == nullptr && access(native.c_str(), F_OK) == 0) load_error_ = kBadFormat;
  if (handle_ != nullptr) load_error_ = 0;
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

// The dynamic loader of this system searches no folder for a path with a "/".
void LimitLibrarySearchToSystem() {}

}  // namespace platform

// What the file layer does the same way on every system.
#include "platform/files.h"

namespace platform {

bool FileExists(const std::string& path) {
  uint32_t a = GetFileAttributes(path);
  return a != kInvalidAttributes && !(a & kAttrDirectory);
}

bool DirectoryExists(const std::string& path) {
  uint32_t a = GetFileAttributes(path);
  return a != kInvalidAttributes && (a & kAttrDirectory);
}

File::~File() {
  Close();
}

File::File(File&& other) noexcept : handle_(other.handle_) {
  other.handle_ = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

}  // namespace platform

// What a held folder does the same way on every system.
#include "platform/folder_handle.h"

namespace platform {

FolderHandle::~FolderHandle() {
  Close();
}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)), native_(std::move(other.native_)) {
  other.handle_ = -1;
}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    native_ = std::move(other.native_);
    other.handle_ = -1;
  }
  return *this;
}

bool ListFolder(const std::string& path, std::vector<DirEntry>& entries) {
  entries.clear();
  FolderHandle folder;
  return folder.Open(path) && folder.List(entries);
}

}  // namespace platform

// A folder held open, reached without following a symbolic link or junction.
//
// A tree that an ordinary user can write to may have a subfolder swapped for a
// link between the moment it is listed and the moment it is entered. Every
// walk of a tree (delete, move, copy, survey) therefore opens each folder
// through its parent's handle, refuses one that is a link, and lists and
// deletes through the open handle. On Windows an open folder can be neither
// renamed nor deleted, nor can any folder above it: a path below a held
// folder names what it named when the folder was opened, so moves by path
// inside it stay inside it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace platform {

class FolderHandle {
 public:
  FolderHandle() = default;
  ~FolderHandle();
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;
  FolderHandle(FolderHandle&& other) noexcept;
  FolderHandle& operator=(FolderHandle&& other) noexcept;

  // Opens the folder at an absolute path (with or without its trailing "\"),
  // each folder below the drive's root through the one above it. False when
  // nothing is there, when it is not a folder, or when it or any folder on the
  // way below the root is a link.
  bool Open(const std::string& path);
  // Opens a folder inside this one; false when the entry is a link (the link
  // itself is never entered) or not a folder.
  bool OpenChild(const std::string& name, FolderHandle& child) const;
  void Close();
  bool IsOpen() const;
  // The path it was opened as, ending in "\".
  const std::string& Path() const { return path_; }

  // The entries that match the mask (Windows mask rules, as ListDirectory),
  // without "." and "..". A link shows kAttrReparsePoint, with kAttrDirectory
  // when it stands for a folder.
  bool List(std::vector<DirEntry>& entries, const std::string& mask = "*") const;
  // Deletes an entry of this folder: a file, a link (never what it points
  // to) or an empty folder. A read-only file stays, as DeleteFile leaves it.
  bool Remove(const std::string& name) const;

 private:
  intptr_t handle_ = -1;
  std::string path_;
  std::string native_;  // the native path, where the port has one
};

// The entries of the folder at path as FolderHandle lists them; false (and
// none) when the path is not a plain folder, a link above it included.
bool ListFolder(const std::string& path, std::vector<DirEntry>& entries);

}  // namespace platform

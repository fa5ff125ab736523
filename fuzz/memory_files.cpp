// The file port of the fuzz targets: files.h over a tree in memory, with the Windows
// semantics of the disk-backed posix port (names without regard to case, read-only files,
// no replacing moves, "." and ".." below a drive's root). Every drive exists and starts
// empty; paths without a drive lie below the current directory (C:\ at the start).
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/folder_handle.h"
#include "platform/posix/windows_names.h"

namespace platform {
namespace {

struct Node {
  bool directory = false;
  bool readOnly = false;
  std::string name;  // as created
  std::string data;
  double modified = 0;
  std::map<std::string, std::shared_ptr<Node>> children;  // by lower-case name
};

struct OpenFile {
  std::shared_ptr<Node> node;
  int64_t position = 0;
  bool writable = false;
};

std::mutex mutex;  // guards everything below and every node
Node drives;       // the drives by lower-case letter and colon
std::string current = "C:";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool HasDrive(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

// The components of a path as written, the drive first, with what Windows drops from them:
// "." and ".." are resolved; the last name, unless the path ends in a separator, loses its
// trailing dots and blanks, the others one trailing dot; names of dots only stay.
std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  const std::string full = HasDrive(path) ? path : current + "\\" + path;
  size_t start = 0;
  while (start <= full.size()) {
    size_t end = full.find_first_of("\\/", start);
    if (end == std::string::npos) end = full.size();
    std::string part = full.substr(start, end - start);
    const bool last = end == full.size();
    start = end + 1;
    if (part == "..") {
      if (parts.size() > 1) parts.pop_back();
      continue;
    }
    if (part == ".") continue;
    posix::DropTrailing(part, last);
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

// Fails with the errno that the disk-backed port leaves, which LastError turns into
// Windows' code.
bool Fail(int error) {
  errno = error;
  return false;
}

std::shared_ptr<Node> NewNode(const std::string& name, bool directory) {
  auto node = std::make_shared<Node>();
  node->name = name;
  node->directory = directory;
  return node;
}

std::shared_ptr<Node> Drive(const std::string& drive) {
  auto& node = drives.children[Lower(drive)];
  if (!node) node = NewNode(drive, true);
  return node;
}

// The node at the path, or null.
std::shared_ptr<Node> Find(const std::string& path) {
  const auto parts = Components(path);
  std::shared_ptr<Node> node = Drive(parts[0]);
  for (size_t i = 1; i < parts.size() && node; ++i) {
    if (!node->directory) return nullptr;
    auto it = node->children.find(Lower(parts[i]));
    node = it == node->children.end() ? nullptr : it->second;
  }
  return node;
}

// The directory holding the path's last component, and that component; null when the
// path is a drive or its parent is no directory.
std::shared_ptr<Node> Parent(const std::string& path, std::string& leaf) {
  auto parts = Components(path);
  if (parts.size() < 2) return nullptr;
  leaf = parts.back();
  parts.pop_back();
  std::string parent;
  for (const auto& part : parts) parent += part + "\\";
  auto node = Find(parent);
  return node && node->directory ? node : nullptr;
}

std::shared_ptr<Node> Add(Node& dir, const std::string& leaf, bool directory) {
  auto node = NewNode(leaf, directory);
  node->modified = Now();
  dir.children[Lower(leaf)] = node;
  return node;
}

OpenFile* Handle(intptr_t handle) {
  return handle < 0 ? nullptr : reinterpret_cast<OpenFile*>(handle);
}

}  // namespace

uint32_t GetFileAttributes(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex);
  auto node = Find(path);
  if (!node) return kInvalidAttributes;
  return (node->directory ? kAttrDirectory : kAttrArchive) | (node->readOnly ? kAttrReadOnly : 0);
}

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  std::lock_guard<std::mutex> lock(mutex);
  auto node = Find(path);
  if (!node) return false;
  if (!node->directory) node->readOnly = attributes & kAttrReadOnly;
  return true;
}

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
  std::lock_guard<std::mutex> lock(mutex);
  auto from = Find(source), to = Find(target);
  std::string leaf;
  auto dir = Parent(target, leaf);
  if (!from || !dir) return Fail(ENOENT);
  if (from->directory || (to && (to->directory || to->readOnly))) return Fail(EACCES);
  if (from == to) return Fail(EBUSY);
  if (to && failIfExists) return Fail(EEXIST);
  auto copy = Add(*dir, to ? to->name : leaf, false);
  copy->data = from->data;
  copy->modified = from->modified;
  copy->readOnly = from->readOnly;
  return true;
}

namespace {

// Renames a file or folder; replace allows an existing file at the target to go.
bool Move(const std::string& source, const std::string& target, bool replace) {
  std::lock_guard<std::mutex> lock(mutex);
  std::string fromLeaf, toLeaf;
  auto fromDir = Parent(source, fromLeaf), toDir = Parent(target, toLeaf);
  auto node = Find(source), existing = Find(target);
  if (!node || !fromDir || !toDir) return Fail(ENOENT);
  // A directory cannot move below itself.
  const auto from = Components(source), to = Components(target);
  if (to.size() > from.size() &&
      std::equal(from.begin(), from.end(), to.begin(),
                 [](const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }))
    return Fail(EINVAL);
  // The source itself under another case is renamed, as Windows does.
  if (existing && existing != node) {
    if (!replace) return Fail(EEXIST);
    if (existing->directory || existing->readOnly) return Fail(EACCES);
  }
  fromDir->children.erase(Lower(fromLeaf));
  node->name = toLeaf;
  toDir->children[Lower(toLeaf)] = node;
  return true;
}

}  // namespace

bool MoveFile(const std::string& source, const std::string& target) {
  return Move(source, target, false);
}

bool ReplaceFile(const std::string& source, const std::string& target) {
  return Move(source, target, true);
}

bool DeleteFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex);
  std::string leaf;
  auto dir = Parent(path, leaf);
  auto node = Find(path);
  if (!dir || !node) return Fail(ENOENT);
  if (node->directory || node->readOnly) return Fail(EACCES);
  dir->children.erase(Lower(leaf));
  return true;
}

bool CreateDirectory(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex);
  std::string leaf;
  auto dir = Parent(path, leaf);
  if (!dir) return Fail(ENOENT);
  if (dir->children.count(Lower(leaf))) return Fail(EEXIST);
  Add(*dir, leaf, true);
  return true;
}

bool DeleteAtRestart(const std::string&) {
  return false;
}

bool RemoveDirectory(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex);
  std::string leaf;
  auto dir = Parent(path, leaf);
  auto node = Find(path);
  if (!dir || !node) return Fail(ENOENT);
  if (!node->directory) return Fail(ENOTDIR);
  if (!node->children.empty()) return Fail(ENOTEMPTY);
  dir->children.erase(Lower(leaf));
  return true;
}

bool InheritAccess(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex);
  return Find(path) != nullptr || Fail(ENOENT);
}

bool SameFile(const std::string& a, const std::string& b) {
  std::lock_guard<std::mutex> lock(mutex);
  auto x = Find(a);
  return x && x == Find(b);
}

std::string LongPathName(const std::string& path) {
  return path;
}

void PrepareDrive(const std::string&) {}

bool ListDirectory(const std::string& pathWithMask, std::vector<DirEntry>& entries) {
  entries.clear();
  const size_t cut = pathWithMask.find_last_of("\\/");
  const std::string dir = cut == std::string::npos ? "" : pathWithMask.substr(0, cut + 1);
  const std::string mask = cut == std::string::npos ? pathWithMask : pathWithMask.substr(cut + 1);
  if (mask.empty()) return false;
  std::lock_guard<std::mutex> lock(mutex);
  auto node = Find(dir);
  if (!node || !node->directory) return false;
  if (Components(dir).size() > 1)  // a drive's root has no "." and ".."
    for (const char* name : {".", ".."})
      if (posix::MaskMatches(name, mask)) entries.push_back({name, kAttrDirectory, 0, 0});
  for (const auto& [key, child] : node->children) {
    if (!posix::MaskMatches(child->name, mask)) continue;
    uint32_t attributes = child->directory ? kAttrDirectory : kAttrArchive;
    if (child->readOnly) attributes |= kAttrReadOnly;
    entries.push_back(
        {child->name, attributes, static_cast<int64_t>(child->data.size()), child->modified});
  }
  return true;
}

int64_t FileSize(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex);
  auto node = Find(path);
  return node && !node->directory ? static_cast<int64_t>(node->data.size()) : -1;
}

bool GetFileModified(const std::string& path, double& modified) {
  std::lock_guard<std::mutex> lock(mutex);
  auto node = Find(path);
  if (node) modified = node->modified;
  return node != nullptr;
}

bool SetFileModified(const std::string& path, double modified) {
  std::lock_guard<std::mutex> lock(mutex);
  auto node = Find(path);
  if (node) node->modified = modified;
  return node != nullptr;
}

bool File::Open(const std::string& path, Mode mode) {
  Close();
  std::lock_guard<std::mutex> lock(mutex);
  auto node = Find(path);
  if (node && mode == Mode::CreateNew) return Fail(EEXIST);
  if (node && (node->directory || (mode != Mode::Read && node->readOnly))) return Fail(EACCES);
  if (!node) {
    std::string leaf;
    auto dir = Parent(path, leaf);
    if (!dir || mode == Mode::Read || mode == Mode::ReadWrite) return Fail(ENOENT);
    node = Add(*dir, leaf, false);
  } else if (mode == Mode::Create) {
    node->data.clear();
    node->modified = Now();
  }
  handle_ = reinterpret_cast<intptr_t>(new OpenFile{node, 0, mode != Mode::Read});
  return true;
}

void File::Close() {
  delete Handle(handle_);
  handle_ = -1;
}

bool File::IsOpen() const {
  return handle_ >= 0;
}

int64_t File::Read(void* buffer, int64_t count) {
  OpenFile* f = Handle(handle_);
  if (!f || count < 0) return -1;
  std::lock_guard<std::mutex> lock(mutex);
  const int64_t size = static_cast<int64_t>(f->node->data.size());
  const int64_t n = f->position >= size ? 0 : std::min(count, size - f->position);
  f->node->data.copy(static_cast<char*>(buffer), n, f->position);
  f->position += n;
  return n;
}

bool File::Write(const void* data, int64_t count) {
  OpenFile* f = Handle(handle_);
  if (!f || !f->writable || count < 0) return false;
  std::lock_guard<std::mutex> lock(mutex);
  std::string& content = f->node->data;
  if (content.size() < static_cast<size_t>(f->position + count))
    content.resize(f->position + count);
  content.replace(f->position, count, static_cast<const char*>(data), count);
  f->position += count;
  f->node->modified = Now();
  return true;
}

bool File::Seek(int64_t offset) {
  OpenFile* f = Handle(handle_);
  if (!f || offset < 0) return false;
  f->position = offset;
  return true;
}

bool File::SeekToEnd() {
  OpenFile* f = Handle(handle_);
  if (!f) return false;
  std::lock_guard<std::mutex> lock(mutex);
  f->position = static_cast<int64_t>(f->node->data.size());
  return true;
}

int64_t File::Position() {
  OpenFile* f = Handle(handle_);
  return f ? f->position : -1;
}

int64_t File::Size() {
  OpenFile* f = Handle(handle_);
  if (!f) return -1;
  std::lock_guard<std::mutex> lock(mutex);
  return static_cast<int64_t>(f->node->data.size());
}

bool File::Flush() {
  return handle_ >= 0;
}

std::string CurrentDirectory() {
  std::lock_guard<std::mutex> lock(mutex);
  return current.size() == 2 ? current + "\\" : current;
}

bool SetCurrentDirectory(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex);
  auto node = Find(path);
  if (!node || !node->directory) return false;
  std::string joined;
  for (const auto& part : Components(path)) joined += (joined.empty() ? "" : "\\") + part;
  current = joined;
  return true;
}

// A held folder: the tree in memory has no links, so its path is all it needs.
bool FolderHandle::Open(const std::string& path) {
  Close();
  const uint32_t attributes = path.empty() ? kInvalidAttributes : GetFileAttributes(path);
  if (attributes == kInvalidAttributes || !(attributes & kAttrDirectory)) return false;
  handle_ = 0;
  path_ = path.back() == '\\' || path.back() == '/' ? path : path + "\\";
  return true;
}

bool FolderHandle::OpenChild(const std::string& name, FolderHandle& child) const {
  child.Close();
  return IsOpen() && !name.empty() && name.find_first_of("\\/") == std::string::npos &&
         name != "." && name != ".." && child.Open(path_ + name);
}

void FolderHandle::Close() {
  handle_ = -1;
}

bool FolderHandle::IsOpen() const {
  return handle_ >= 0;
}

bool FolderHandle::List(std::vector<DirEntry>& entries, const std::string& mask) const {
  std::vector<DirEntry> all;
  entries.clear();
  if (!IsOpen() || !ListDirectory(path_ + mask, all)) return false;
  for (DirEntry& entry : all)
    if (entry.name != "." && entry.name != "..") entries.push_back(std::move(entry));
  return true;
}

bool FolderHandle::Remove(const std::string& name) const {
  if (!IsOpen() || name.empty() || name.find_first_of("\\/") != std::string::npos) return false;
  const uint32_t attributes = GetFileAttributes(path_ + name);
  if (attributes == kInvalidAttributes) return false;
  return (attributes & kAttrDirectory) ? RemoveDirectory(path_ + name) : DeleteFile(path_ + name);
}

}  // namespace platform

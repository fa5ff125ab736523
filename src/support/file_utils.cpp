#include "support/file_utils.h"

#include <vector>

#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/folder_handle.h"
#include "support/short_string.h"
#include "support/text_fields.h"

namespace support {
namespace {

bool HasMask(const std::string& name) {
  return name.find_first_of("*?") != std::string::npos;
}

// The first file (not directory) that matches the name, which may hold a mask.
bool FindFile(const std::string& name, platform::DirEntry& found) {
  if (name.empty()) return false;
  if (!HasMask(name)) {
    if (!platform::FileExists(name)) return false;
    found.size = platform::FileSize(name);
    return found.size >= 0 && platform::GetFileModified(name, found.modified);
  }
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(name, entries)) return false;
  for (const auto& entry : entries) {
    if (entry.attributes & platform::kAttrDirectory) continue;
    found = entry;
    return true;
  }
  return false;
}

}  // namespace

std::string FolderOfPath(const std::string& path) {
  std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string NameOfPath(const std::string& path) {
  return path.substr(FolderOfPath(path).size());
}

bool CopyFileTo(const std::string& source, const std::string& target, bool failIfExists) {
  return platform::CopyFile(source, target, failIfExists);
}

bool MoveFileTo(const std::string& source, const std::string& target) {
  return platform::MoveFile(source, target);
}

bool ReadWholeFile(const std::string& name, std::string& content) {
  content.clear();
  platform::File file;
  if (!file.Open(name, platform::File::Mode::Read)) return false;
  char buffer[65536];
  for (;;) {
    const int64_t n = file.Read(buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {  // part of a file is not the file
      content.clear();
      return false;
    }
    content.append(buffer, static_cast<std::size_t>(n));
  }
}

std::string LoadFileToString(const std::string& fileName, bool deleteAfter) {
  const std::string name = ShortString(fileName);
  if (name.empty()) return "";
  std::string content;
  if (!ReadWholeFile(name, content)) return "";
  if (deleteAfter) platform::DeleteFile(name);
  return content;
}

bool SaveStringToFile(const std::string& content, const std::string& fileName, bool deleteIfEmpty,
                      bool append) {
  const std::string name = ShortString(fileName);
  if (name.empty()) return false;
  if (deleteIfEmpty && content.empty()) return platform::DeleteFile(name);

  platform::File file;
  bool open = append && file.Open(name, platform::File::Mode::ReadWrite) && file.SeekToEnd();
  if (!open) open = file.Open(name, platform::File::Mode::Create);
  if (!open && CreateFileDirectory(name)) open = file.Open(name, platform::File::Mode::Create);
  if (!open) return false;
  bool written = file.Write(content.data(), static_cast<int64_t>(content.size()));
  file.Close();
  return written;
}

namespace {

bool WriteAndRename(const std::string& fileName, const std::string& content) {
  const std::string temp = fileName + ".new";
  platform::DeleteFile(temp);
  platform::File file;
  if (!file.Open(temp, platform::File::Mode::Create)) return false;
  const bool written =
      file.Write(content.data(), static_cast<int64_t>(content.size())) && file.Flush();
  file.Close();
  if (!written || !platform::ReplaceFile(temp, fileName)) {
    platform::DeleteFile(temp);
    return false;
  }
  return true;
}

}  // namespace

bool ReplaceFileContent(const std::string& fileName, const std::string& content) {
  if (WriteAndRename(fileName, content)) return true;
  return CreateFileDirectory(fileName) && WriteAndRename(fileName, content);
}

bool CreateFileDirectory(const std::string& fileName) {
  const std::size_t cut = fileName.find_last_of("\\/");
  return cut != std::string::npos && cut > 0 && CreateDirectoryPath(fileName.substr(0, cut + 1));
}

bool DirExists(const std::string& path) {
  return !path.empty() && platform::DirectoryExists(path);
}

bool CreateDirectoryPath(const std::string& source) {
  // A longer path would name another folder once cut to a short string.
  if (source.empty() || source.size() > kShortStringMax) return false;
  std::string path = source;
  if (DirExists(path)) return true;
  if (path.back() == '\\' || path.back() == '/') path.pop_back();

  // Walk up to the first existing ancestor, then create downwards. A loop, not
  // recursion; a bare drive ("C:") and a root are never attempted, while a
  // relative name of one or two characters is a folder like any other.
  std::vector<std::string> missing;
  for (std::string current = path; !current.empty() && !DirExists(current);) {
    if (current.size() == 2 && current[1] == ':') break;
    missing.push_back(current);
    std::size_t cut = current.find_last_of("\\/");
    if (cut == std::string::npos) break;
    current.resize(cut);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) platform::CreateDirectory(*it);
  return DirExists(path);
}

bool DeleteDirectory(const std::string& path, const std::string& mask, bool recursive) {
  if (path.empty()) return false;
  const std::string pattern = mask.empty() ? "*.*" : mask;
  std::string top = path;
  if (top.back() != '\\' && top.back() != '/') top += '\\';

  // A link or junction given as the directory itself is removed, not emptied. It
  // is named without the trailing "\", which some systems resolve through the
  // link; a bare "C:" would name the drive's current directory and is skipped.
  const std::string bare = top.substr(0, top.size() - 1);
  uint32_t topAttributes = bare.empty() || bare.back() == ':' ? platform::kInvalidAttributes
                                                              : platform::GetFileAttributes(bare);
  if (topAttributes != platform::kInvalidAttributes &&
      (topAttributes & platform::kAttrReparsePoint))
    return platform::RemoveDirectory(bare);

  const auto visit = [&](const platform::FolderHandle& folder,
                         const std::vector<platform::DirEntry>& entries) {
    std::vector<std::string> subfolders;
    for (const auto& entry : entries) {
      if (!(entry.attributes & platform::kAttrDirectory))
        folder.Remove(entry.name);
      else if (!recursive)
        continue;
      else if (entry.attributes & platform::kAttrReparsePoint)
        folder.Remove(entry.name);  // the link only, never its target
      else
        subfolders.push_back(entry.name);
    }
    return subfolders;
  };
  // A subfolder swapped for a link after the listing goes as the link.
  const auto leave = [](const platform::FolderHandle& parent, const std::string& name) {
    parent.Remove(name);
  };
  return WalkTree(top, pattern, visit, leave) && platform::RemoveDirectory(top);
}

bool WalkTree(const std::string& path, const std::string& mask, const FolderVisit& visit,
              const FolderLeave& leave) {
  // Depth-first with an explicit stack: a deep tree must not exhaust the stack.
  struct Frame {
    platform::FolderHandle folder;
    std::vector<std::string> subfolders;
    std::size_t next = 0;
  };
  const auto enter = [&](Frame& frame) {
    std::vector<platform::DirEntry> entries;
    frame.folder.List(entries, mask);
    frame.subfolders = visit(frame.folder, entries);
  };
  std::vector<Frame> stack(1);
  if (!stack[0].folder.Open(path)) return false;
  enter(stack[0]);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next < frame.subfolders.size()) {
      const std::string name = frame.subfolders[frame.next++];
      Frame child;
      if (frame.folder.OpenChild(name, child.folder)) {
        enter(child);
        stack.push_back(std::move(child));
      } else if (leave) {
        leave(frame.folder, name);  // a link now, or gone
      }
      continue;
    }
    const std::string name = NameOfPath(NormalizeDir(frame.folder.Path(), false));
    stack.pop_back();  // closes the folder, which can only then be removed
    if (!stack.empty() && leave) leave(stack.back().folder, name);
  }
  return true;
}

int64_t FileSizeOf(const std::string& fileName) {
  platform::DirEntry entry;
  return FindFile(fileName, entry) ? entry.size : -1;
}

int64_t FileSizeByName(const std::string& fileName) {
  platform::DirEntry entry;
  return FindFile(ShortString(fileName), entry) ? entry.size : 0;
}

uint32_t DateTimeToFileDate(double dateTime) {
  platform::DateTimeFields f = platform::DecodeDateTime(dateTime);
  if (f.year < 1980 || f.year > 2107) return 0;
  uint32_t date = static_cast<uint32_t>(((f.year - 1980) << 9) | (f.month << 5) | f.day);
  uint32_t time = static_cast<uint32_t>((f.hour << 11) | (f.minute << 5) | (f.second / 2));
  return (date << 16) | time;
}

uint32_t FileDateByName(const std::string& fileName) {
  platform::DirEntry entry;
  return FindFile(fileName, entry) ? DateTimeToFileDate(entry.modified) : 0;
}

std::string NormalizeDir(const std::string& path, bool withSeparator, bool slashesToBackslashes) {
  if (path.empty()) return path;
  std::string dir = path;
  if (slashesToBackslashes)
    for (char& c : dir)
      if (c == '/') c = '\\';
  if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
  if (!withSeparator) dir.pop_back();
  return dir;
}

bool IsRootedPath(const std::string& path) {
  if (path.empty()) return false;
  return path[0] == '/' || path[0] == '\\' || path.find(':') != std::string::npos;
}

}  // namespace support

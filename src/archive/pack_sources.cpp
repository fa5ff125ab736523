#include "archive/pack_sources.h"

#include <algorithm>
#include <utility>

#include "archive/entry_names.h"
#include "platform/files.h"
#include "support/file_utils.h"
#include "support/text_fields.h"

namespace archive {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// -1, 0 or 1 as one part of a comes before, with or after one part of b, without regard to
// case; `tie` takes the byte order of the first difference of case, if there is none yet.
int ComparePart(const std::string& a, size_t i, size_t aEnd, const std::string& b, size_t j,
                size_t bEnd, int& tie) {
  for (; i < aEnd && j < bEnd; ++i, ++j) {
    const char x = support::LowerChar(a[i]), y = support::LowerChar(b[j]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
    if (tie == 0 && a[i] != b[j]) {
      tie = static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
    }
  }
  if (i < aEnd) return 1;
  if (j < bEnd) return -1;
  return 0;
}

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && IsSeparator(path.back()) && path[path.size() - 2] != ':') {
    path.pop_back();
  }
  return path;
}

CollectResult Failed(const std::string& error) {
  CollectResult result;
  result.Ok = false;
  result.Error = error;
  return result;
}

}  // namespace

std::string LeafName(const std::string& path) {
  const size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool EntryNameLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  int tie = 0;
  for (;;) {
    const bool aDone = i >= a.size(), bDone = j >= b.size();
    if (aDone && bDone) return tie < 0;
    if (aDone || bDone) return aDone;
    size_t iEnd = i, jEnd = j;
    while (iEnd < a.size() && !IsSeparator(a[iEnd])) ++iEnd;
    while (jEnd < b.size() && !IsSeparator(b[jEnd])) ++jEnd;
    if (const int c = ComparePart(a, i, iEnd, b, j, jEnd, tie); c != 0) return c < 0;
    i = iEnd + 1;
    j = jEnd + 1;
  }
}

CollectResult CollectSources(const std::vector<std::string>& sources,
                             std::vector<PackItem>& items) {
  CollectResult result;
  const size_t firstNew = items.size();
  for (const std::string& given : sources) {
    const std::string source = WithoutTrailingSeparators(given);
    if (source.empty()) return Failed("an empty source path");
    if (!platform::DirectoryExists(source)) {
      if (!platform::FileExists(source)) return Failed(given + ": no such file or folder");
      items.push_back({LeafName(source), source, -1});
      continue;
    }
    // Folders still to list, with the entry name prefix of their files. A stack, not
    // recursion: a deep tree must not exhaust the stack.
    std::vector<std::pair<std::string, std::string>> folders;
    const std::string root = support::NormalizeDir(source);
    folders.emplace_back(root, "");
    std::vector<platform::DirEntry> listing;
    while (!folders.empty()) {
      auto [folder, prefix] = std::move(folders.back());
      folders.pop_back();
      if (!platform::ListDirectory(folder + "*", listing)) {
        return Failed(folder + ": cannot list the folder");
      }
      for (const platform::DirEntry& entry : listing) {
        if (entry.name == "." || entry.name == "..") continue;
        const std::string path = folder + entry.name;
        // Natively "\" is a file name character; here it would split the name.
        if (entry.name.find('\\') != std::string::npos) {
          return Failed(path + ": a backslash in a file name");
        }
        if (entry.attributes & platform::kAttrDirectory) {
          if (entry.attributes & platform::kAttrReparsePoint) {
            result.Skipped.push_back(path);
          } else {
            folders.emplace_back(path + "\\", prefix + entry.name + "\\");
          }
          continue;
        }
        // A link's listing may give the link's own size; the file system is asked later.
        const bool link = entry.attributes & platform::kAttrReparsePoint;
        items.push_back({prefix + entry.name, path, link ? -1 : entry.size});
      }
    }
  }
  for (size_t i = firstNew; i < items.size(); ++i) {
    if (std::string why = CheckEntryName(items[i].Name); !why.empty()) {
      return Failed(items[i].SourcePath + ": cannot be an entry name (" + why + ")");
    }
  }
  std::stable_sort(
      items.begin() + static_cast<std::ptrdiff_t>(firstNew), items.end(),
      [](const PackItem& a, const PackItem& b) { return EntryNameLess(a.Name, b.Name); });
  // Names equal without regard to case sort next to each other; Windows holds one of them.
  for (size_t i = firstNew + 1; i < items.size(); ++i) {
    if (support::LowerCase(items[i - 1].Name) == support::LowerCase(items[i].Name)) {
      return Failed(items[i - 1].SourcePath + " and " + items[i].SourcePath +
                    " give the same entry " + items[i].Name);
    }
  }
  return result;
}

}  // namespace archive

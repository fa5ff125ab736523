#include "archive/entry_names.h"

#include <algorithm>

#include "support/file_names.h"

namespace archive {
namespace {

bool IsSafeSegment(std::string_view segment) {
  if (segment.find_first_not_of(". ") == std::string_view::npos) return false;  // also ""
  return !support::IsDeviceName(segment);
}

}  // namespace

std::string EntryPath(std::string_view name) {
  std::string path(name);
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

bool IsSafeEntryName(std::string_view name) {
  if (name.empty() || name.front() == '\\' || name.front() == '/') return false;
  if (name.find_first_of(std::string_view(":\0", 2)) != std::string_view::npos) return false;
  for (size_t start = 0;;) {
    const size_t end = name.find_first_of("\\/", start);
    if (!IsSafeSegment(name.substr(start, end - start))) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

bool ListHolds(std::string_view list, std::string_view name) {
  const std::string wanted = support::WindowsName(name);
  for (size_t start = 0; start < list.size();) {
    size_t end = list.find(';', start);
    if (end == std::string_view::npos) end = list.size();
    if (end > start && support::WindowsName(list.substr(start, end - start)) == wanted) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace archive

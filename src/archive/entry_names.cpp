#include "archive/entry_names.h"

#include <algorithm>

#include "support/text_fields.h"

namespace archive {
namespace {

// Digits that make COMn and LPTn devices: 1-9, and the Windows-1252 superscripts 1, 2, 3.
bool IsDeviceDigit(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (c >= '1' && c <= '9') || u == 0xB9 || u == 0xB2 || u == 0xB3;
}

bool IsDeviceName(std::string_view segment) {
  // Windows ignores everything from the first dot and trailing blanks before it.
  std::string_view base = segment.substr(0, segment.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (support::SameText(base, device)) return true;
  return base.size() == 4 &&
         (support::SameText(base.substr(0, 3), "COM") ||
          support::SameText(base.substr(0, 3), "LPT")) &&
         IsDeviceDigit(base[3]);
}

bool IsSafeSegment(std::string_view segment) {
  if (segment.find_first_not_of(". ") == std::string_view::npos) return false;  // also ""
  return !IsDeviceName(segment);
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

}  // namespace archive

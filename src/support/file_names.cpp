#include "support/file_names.h"

#include "support/text_fields.h"

namespace support {
namespace {

// Digits that make COMn and LPTn devices: 1-9, and the Windows-1252 superscripts 1, 2, 3.
bool IsDeviceDigit(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (c >= '1' && c <= '9') || u == 0xB9 || u == 0xB2 || u == 0xB3;
}

}  // namespace

bool IsDeviceName(std::string_view name) {
  // Windows ignores everything from the first dot, and the blanks before it.
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (SameText(base, device)) return true;
  return base.size() == 4 &&
         (SameText(base.substr(0, 3), "COM") || SameText(base.substr(0, 3), "LPT")) &&
         IsDeviceDigit(base[3]);
}

std::string WindowsName(std::string_view path) {
  std::string out;
  for (size_t start = 0;;) {
    const size_t end = path.find_first_of("\\/", start);
    const bool last = end == std::string_view::npos;
    std::string_view name = path.substr(start, last ? end : end - start);
    if (name.find_first_not_of('.') != std::string_view::npos) {
      if (last)
        while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
      else if (name.back() == '.')
        name.remove_suffix(1);
    }
    out += LowerCase(name);
    if (last) return out;
    out += '\\';
    start = end + 1;
  }
}

}  // namespace support

// Windows-1252, as Windows maps it: the five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of
// the same value, so every byte survives a round trip.
#include "platform/codepage.h"

#include <cstdint>

namespace platform {
namespace {

// Characters of the bytes 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

char ToByte(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == c) return static_cast<char>(0x80 + i);
  return '?';
}

}  // namespace

std::u16string AnsiToWide(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (char ch : text) {
    const auto byte = static_cast<uint8_t>(ch);
    wide.push_back(byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : char16_t{byte});
  }
  return wide;
}

std::string WideToAnsi(std::u16string_view text) {
  std::string ansi;
  WideToAnsiExact(text, ansi);
  return ansi;
}

bool WideToAnsiExact(std::u16string_view text, std::string& ansi) {
  ansi.clear();
  ansi.reserve(text.size());
  bool exact = true;
  for (char16_t c : text) {
    ansi.push_back(ToByte(c));
    if (ansi.back() == '?' && c != u'?') exact = false;
  }
  return exact;
}

}  // namespace platform

#include "xml/xml_text.h"

#include <algorithm>

#include "platform/codepage.h"
#include "support/text_fields.h"

namespace support {
namespace {

bool HasHighByte(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// The text at `at` starts with `word` (lower case) in any letter case.
bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (LowerChar(text[at + i]) != word[i]) return false;
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A 32-bit integer as character references write it: leading blanks, an
// optional sign, decimal digits or hexadecimal ones after "$", "x" or "X",
// nothing else. Stops at the first character that cannot belong to it, so a
// failed reading costs no more than the characters it looked at.
bool ReadReferenceNumber(std::string_view text, uint32_t& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const bool hex = i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X');
  if (hex) ++i;
  if (i == text.size()) return false;
  const uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int digit =
        hex ? HexValue(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) return false;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (magnitude > limit) return false;
  }
  value = static_cast<uint32_t>(negative ? 0u - magnitude : magnitude);
  return true;
}

struct NamedReference {
  std::string_view name;  // after "&", with the ";"
  char character;
};
constexpr NamedReference kNamedReferences[] = {
    {"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''}, {"lt;", '<'}, {"gt;", '>'}, {"nbsp;", ' '},
};

void AppendUtf8(std::string& out, char16_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::u16string Utf8ToWide(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  for (std::size_t i = 0; i < text.size();) {
    const unsigned lead = byte(i++);
    if (lead < 0x80) {
      wide.push_back(static_cast<char16_t>(lead));
      continue;
    }
    unsigned code = lead & 0x3F;
    if (lead & 0x20) {
      if (i >= text.size()) break;
      code = (code << 6) | (byte(i++) & 0x3F);
    }
    if (i >= text.size()) break;
    code = (code << 6) | (byte(i++) & 0x3F);
    // A three-byte lead keeps its low four bits: the rest falls out of 16 bits.
    wide.push_back(static_cast<char16_t>(code & 0xFFFF));
  }
  return wide;
}

}  // namespace

std::string AnsiToUtf8(std::string_view text) {
  const std::u16string wide = platform::AnsiToWide(text);
  std::string out;
  out.reserve(wide.size() + wide.size() / 2);
  for (char16_t c : wide) AppendUtf8(out, c);
  return out;
}

std::string Utf8ToAnsi(std::string_view text) {
  return platform::WideToAnsi(Utf8ToWide(text));
}

std::string EncodeXMLEntities(std::string_view text, bool keepAnsi) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out.push_back(c);
    }
  }
  if (!keepAnsi && HasHighByte(out)) return AnsiToUtf8(out);
  return out;
}

std::string DecodeXMLEntities(std::string_view input, bool keepAnsi) {
  std::string converted;
  std::string_view text = input;
  if (!keepAnsi && HasHighByte(input)) {
    converted = Utf8ToAnsi(input);
    text = converted;
  }
  std::string out;
  out.reserve(text.size());
  // The next ";" is remembered: a text full of "&#" without one stays linear.
  std::size_t semicolon = 0;
  bool semicolonKnown = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t amp = text.find('&', i);
    if (amp == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, amp - i));
    i = amp + 1;
    bool replaced = false;
    for (const auto& ref : kNamedReferences) {
      if (StartsWithNoCase(text, i, ref.name)) {
        out.push_back(ref.character);
        i += ref.name.size();
        replaced = true;
        break;
      }
    }
    if (replaced) continue;
    if (i < text.size() && text[i] == '#') {
      if (!semicolonKnown || (semicolon != std::string_view::npos && semicolon < i + 1)) {
        semicolon = text.find(';', i + 1);
        semicolonKnown = true;
      }
      uint32_t value = 0;
      if (semicolon != std::string_view::npos &&
          ReadReferenceNumber(text.substr(i + 1, semicolon - i - 1), value)) {
        out.push_back(static_cast<char>(value & 0xFF));
        i = semicolon + 1;
        continue;
      }
    }
    out.push_back('&');
  }
  return out;
}

std::string XMLBoolToStr(bool value) {
  return value ? "1" : "0";
}

bool XMLStrToBool(std::string_view text) {
  return text == "1" || (text.size() == 4 && StartsWithNoCase(text, 0, "true"));
}

std::string XMLIntToStr(int64_t value) {
  return value == 0 ? std::string() : std::to_string(value);
}

}  // namespace support

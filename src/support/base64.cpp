#include "support/base64.h"

#include <cstdint>

namespace support {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int DigitValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(std::string_view data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < data.size(); i += 3) {
    uint32_t group = static_cast<uint8_t>(data[i]) << 16;
    if (i + 1 < data.size()) group |= static_cast<uint8_t>(data[i + 1]) << 8;
    if (i + 2 < data.size()) group |= static_cast<uint8_t>(data[i + 2]);
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 63];
    out += i + 1 < data.size() ? kAlphabet[(group >> 6) & 63] : '=';
    out += i + 2 < data.size() ? kAlphabet[group & 63] : '=';
  }
  return out;
}

namespace {

// Decodes the digits, skipping characters outside the alphabet unless strict.
// False when strict and such a character was met.
bool DecodeDigits(std::string_view digits, bool strict, std::string& out) {
  uint32_t bits = 0;
  int held = 0;
  for (char c : digits) {
    int value = DigitValue(c);
    if (value < 0) {
      if (strict) return false;
      continue;
    }
    bits = (bits << 6) | static_cast<uint32_t>(value);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out += static_cast<char>((bits >> held) & 0xFF);
    }
  }
  return true;
}

}  // namespace

bool Base64Decode(std::string_view text, std::string& out) {
  out.clear();
  std::size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
  std::string_view digits = text.substr(0, text.size() - padding);
  if (text.size() % 4 != 0 || digits.size() % 4 == 1) return false;
  if (DecodeDigits(digits, true, out)) return true;
  out.clear();
  return false;
}

std::string Base64DecodeLenient(std::string_view text) {
  std::string out;
  DecodeDigits(text, false, out);
  return out;
}

}  // namespace support

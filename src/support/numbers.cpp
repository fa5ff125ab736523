#include "support/numbers.h"

#include <charconv>
#include <cmath>

#include "support/short_string.h"

namespace support {

int64_t StrToIntVal(const std::string& text, bool wide) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < n && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  bool hex = false;
  if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }

  // The magnitude is gathered unsigned; a digit that would overflow ends the
  // number like any other character that does not belong.
  uint64_t value = 0;
  bool complete = true;
  if (hex) {
    const int maxDigits = wide ? 16 : 8;
    for (int digits = 0; i < n; ++i, ++digits) {
      char c = text[i];
      bool isHex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
      if (!isHex || digits == maxDigits) {
        complete = false;
        break;
      }
      value = value * 16 + static_cast<uint64_t>(HexDigitValue(c));
    }
  } else {
    const uint64_t limit = wide ? (negative ? 0x8000000000000000ull : 0x7FFFFFFFFFFFFFFFull)
                                : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    for (; i < n; ++i) {
      char c = text[i];
      uint64_t d = static_cast<uint64_t>(c - '0');
      if (c < '0' || c > '9' || value > (limit - d) / 10) {
        complete = false;
        break;
      }
      value = value * 10 + d;
    }
  }
  if (complete && negative) value = ~value + 1;
  // Two's complement at the chosen width: "$FFFFFFFF" is -1 in 32 bits.
  return wide ? static_cast<int64_t>(value) : static_cast<int32_t>(static_cast<uint32_t>(value));
}

double StrToFloatDot(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = i < text.size() && text[i] == '-';
  if (negative) ++i;
  std::string rest = text.substr(i);
  std::size_t point = rest.find('.');
  if (point == std::string::npos) point = rest.find(',');
  std::string whole = rest.substr(0, point);
  double value = 0;
  // The integer part as the run-time parser reads it; its sign was taken above.
  if (!whole.empty() && whole[0] != '-' && whole[0] != '+')
    value = static_cast<double>(StrToIntVal(whole, true));
  if (point != std::string::npos) {
    double fraction = 0, scale = 1;
    for (std::size_t k = point + 1; k < rest.size() && rest[k] >= '0' && rest[k] <= '9'; ++k) {
      // Digits beyond double precision change nothing but could overflow the scale.
      if (scale > 1e300) continue;
      fraction = fraction * 10 + (rest[k] - '0');
      scale *= 10;
    }
    value += fraction / scale;
  }
  return negative ? -value : value;
}

std::string FloatToStrFixed(double value, int digits) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (digits < 1) {
    value = std::trunc(value) + 0.0;  // + 0.0 turns -0 into 0
    digits = 0;
  }
  if (digits > 40) digits = 40;  // far beyond what a double holds; keeps the buffer bounded
  // to_chars is locale-independent: the separator is always ".".
  char buffer[400];
  auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
  if (result.ec != std::errc()) return "";
  return std::string(buffer, result.ptr);
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

int32_t HexToInt(const std::string& text) {
  uint32_t value = 0;
  for (char c : ShortString(text)) value = value * 16 + static_cast<uint32_t>(HexDigitValue(c));
  return static_cast<int32_t>(value);
}

std::string IntToHexEven(uint64_t value, bool noPadding) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value);
  if (!noPadding && out.size() % 2) out.insert(out.begin(), '0');
  return out;
}

std::string BytesToHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

int64_t IntPower(int64_t base, int exponent) {
  // Squaring keeps a large exponent cheap; unsigned arithmetic wraps instead of overflowing.
  uint64_t result = 1, factor = static_cast<uint64_t>(base);
  for (unsigned e = exponent > 0 ? static_cast<unsigned>(exponent) : 0; e; e >>= 1) {
    if (e & 1) result *= factor;
    factor *= factor;
  }
  return static_cast<int64_t>(result);
}

}  // namespace support

// Number and hexadecimal conversion, independent of the user's locale.
#pragma once

#include <cstdint>
#include <string>

namespace support {

// The run-time parser's reading: leading blanks, optional sign, decimal digits
// or hexadecimal after "$", "x", "X" or "0x". At the first character that does
// not belong, the digits read so far are the value and a minus sign is not
// applied. 32-bit unless wide; "" gives 0.
int64_t StrToIntVal(const std::string& text, bool wide = false);
// Optional "-", integer part, fraction after the first "." (or else the first ",").
double StrToFloatDot(const std::string& text);
// With digits below 1 the value truncated to an integer, else exactly that many
// decimals with "." as separator.
std::string FloatToStrFixed(double value, int digits);

int HexDigitValue(char c);  // 0 for a character that is no hexadecimal digit
// The hexadecimal digits of a short string accumulated (others count as 0), wrapping at 32 bits.
int32_t HexToInt(const std::string& text);
// Lower-case hexadecimal, given an even number of digits unless noPadding.
std::string IntToHexEven(uint64_t value, bool noPadding = false);
std::string BytesToHex(const std::string& bytes);  // two lower-case digits per byte

// base^exponent (wrapping at 64 bits); 1 for an exponent of 0 or less.
int64_t IntPower(int64_t base, int exponent);
inline int64_t MinInt(int64_t a, int64_t b) {
  return a < b ? a : b;
}
inline uint32_t RotateLeft32(uint32_t value, int count) {
  unsigned n = static_cast<unsigned>(count) & 31;
  return n == 0 ? value : (value << n) | (value >> (32 - n));
}
inline uint32_t ByteSwap32(uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0xFF00) | ((value << 8) & 0xFF0000) | (value << 24);
}

}  // namespace support

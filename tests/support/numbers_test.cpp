#include "support/numbers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace support {
namespace {

TEST(StrToIntValTest, Forms) {
  EXPECT_EQ(StrToIntVal("  -42"), -42);
  EXPECT_EQ(StrToIntVal("x1f"), 31);
  EXPECT_EQ(StrToIntVal("0x10"), 16);
  EXPECT_EQ(StrToIntVal("-$10"), -16);
  EXPECT_EQ(StrToIntVal(""), 0);
  EXPECT_EQ(StrToIntVal("$"), 0);
  // At a foreign character the digits so far count and the sign does not.
  EXPECT_EQ(StrToIntVal("25abc"), 25);
  EXPECT_EQ(StrToIntVal("-12 "), 12);
}

TEST(StrToIntValTest, Limits) {
  EXPECT_EQ(StrToIntVal("-2147483648"), -2147483648LL);
  EXPECT_EQ(StrToIntVal("2147483648"), 214748364);  // the overflowing digit ends it
  EXPECT_EQ(StrToIntVal("2147483648", true), 2147483648LL);
  EXPECT_EQ(StrToIntVal("-9223372036854775808", true), INT64_MIN);
  EXPECT_EQ(StrToIntVal("$FFFFFFFF"), -1);
  EXPECT_EQ(StrToIntVal("$FFFFFFFF", true), 0xFFFFFFFFLL);
  EXPECT_EQ(StrToIntVal("$123456789"), 0x12345678);
}

TEST(FloatTextTest, StrToFloatDot) {
  EXPECT_DOUBLE_EQ(StrToFloatDot("3,25"), 3.25);
  EXPECT_DOUBLE_EQ(StrToFloatDot("-0.5"), -0.5);
  EXPECT_DOUBLE_EQ(StrToFloatDot("1,000.5"), 1.5);  // "." wins over ","
  EXPECT_DOUBLE_EQ(StrToFloatDot("7.5kg"), 7.5);
  EXPECT_DOUBLE_EQ(StrToFloatDot("abc"), 0);
  EXPECT_NEAR(StrToFloatDot("1." + std::string(1000, '9')), 2.0, 1e-12);
}

TEST(FloatTextTest, FloatToStrFixed) {
  EXPECT_EQ(FloatToStrFixed(3.14159, 2), "3.14");
  EXPECT_EQ(FloatToStrFixed(2.5, 3), "2.500");
  EXPECT_EQ(FloatToStrFixed(-2.99, 0), "-2");
  EXPECT_EQ(FloatToStrFixed(-0.5, -1), "0");
  EXPECT_EQ(FloatToStrFixed(1e15, 0), "1000000000000000");
  EXPECT_EQ(FloatToStrFixed(std::numeric_limits<double>::infinity(), 2), "INF");
}

TEST(HexTest, Conversions) {
  EXPECT_EQ(HexDigitValue('b'), 11);
  EXPECT_EQ(HexDigitValue('g'), 0);
  EXPECT_EQ(HexToInt("1g"), 16);  // a foreign character is the digit 0
  EXPECT_EQ(HexToInt("FFFFFFFF"), -1);
  EXPECT_EQ(HexToInt(std::string(254, '0') + "1f"), 1);  // only 255 characters count
  EXPECT_EQ(IntToHexEven(0xabc), "0abc");
  EXPECT_EQ(IntToHexEven(0xabc, true), "abc");
  EXPECT_EQ(IntToHexEven(0), "00");
  EXPECT_EQ(BytesToHex(std::string("\x00\x7f\xff", 3)), "007fff");
}

TEST(IntegerHelpersTest, PowerRotateSwap) {
  EXPECT_EQ(IntPower(-3, 3), -27);
  EXPECT_EQ(IntPower(10, -2), 1);
  EXPECT_EQ(IntPower(1, 2000000000), 1);
  EXPECT_EQ(RotateLeft32(0x80000001u, 1), 0x00000003u);
  EXPECT_EQ(RotateLeft32(0x12345678u, 32), 0x12345678u);
  EXPECT_EQ(ByteSwap32(0x12345678u), 0x78563412u);
}

}  // namespace
}  // namespace support

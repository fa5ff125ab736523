#include "support/versions.h"

#include <gtest/gtest.h>

namespace support {
namespace {

TEST(VersionTest, NumbersAndComparison) {
  EXPECT_EQ(VersionNumber("8.9.1"), 8090100);
  EXPECT_EQ(VersionNumber("8.9.1-2"), 8090102);
  EXPECT_EQ(VersionNumber("1.2.150"), 1035000);  // a part of 100 spills over
  EXPECT_EQ(VersionNumber("9.x.1beta-3rc"), 9000103);
  EXPECT_EQ(VersionNumber(""), 0);
  EXPECT_EQ(VersionNumber("99999999999.1"), 999999999010000);  // no 32-bit overflow
  EXPECT_TRUE(VersionAtLeast("8.10", "8.9.1"));
  EXPECT_FALSE(VersionAtLeast("8.9", "8.9.1"));
  EXPECT_FALSE(VersionAtLeast("8.9.1", "8.9.1-1"));
}

}  // namespace
}  // namespace support

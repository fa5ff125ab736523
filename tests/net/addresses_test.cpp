#include "net/addresses.h"

#include <gtest/gtest.h>

#include <string>

namespace support {
namespace {

TEST(IPTest, ToNumber) {
  EXPECT_EQ(IPToNumber("192.168.1.7"), 0xC0A80107u);
  EXPECT_EQ(IPToNumber("10.0"), 0x0A000000u);
  EXPECT_EQ(IPToNumber("1.2.3.300"), 0x0102042Cu);  // overflows into the third part
}

TEST(IPTest, ExactRangesAndStars) {
  EXPECT_TRUE(IPMatches("192.168.1.7", "192.168.1.*"));
  EXPECT_TRUE(IPMatches("192.168.1.7", "192.168.1-2.5-9"));
  EXPECT_FALSE(IPMatches("192.168.1.7", "192.168.1.07"));
  EXPECT_FALSE(IPMatches("192.168.3.7", "192.168.1-2.5-9"));
  EXPECT_FALSE(IPMatches("192.168.1.10", "192.168.1-2.5-9"));
  EXPECT_FALSE(IPMatches("192.168.1.7", "192.168.01.*"));  // other parts compare as text
}

TEST(IPTest, NetworkPatterns) {
  EXPECT_TRUE(IPMatches("10.1.2.3", "10.0.0.0/8"));
  EXPECT_FALSE(IPMatches("11.0.0.0", "10.0.0.0/8"));
  // The base is not masked.
  EXPECT_TRUE(IPMatches("10.0.1.4", "10.0.0.5/24"));
  EXPECT_FALSE(IPMatches("10.0.1.5", "10.0.0.5/24"));
  EXPECT_FALSE(IPMatches("10.0.0.4", "10.0.0.5/24"));
  EXPECT_TRUE(IPMatches("255.255.255.255", "0.0.0.0/0"));
  // A range running past the top ends there instead of wrapping round to 0.
  EXPECT_TRUE(IPMatches("255.255.255.255", "255.255.255.0/8"));
  EXPECT_FALSE(IPMatches("0.0.0.1", "255.255.255.0/8"));
  EXPECT_FALSE(IPMatches("10.0.0.6", "10.0.0.5/99"));
}

struct HostPort {
  std::string address, hostName;
  int port = -1;
};

HostPort Parse(const std::string& text, int defaultPort) {
  HostPort r;
  EXPECT_TRUE(ParseHostPort(text, defaultPort, r.address, r.port, r.hostName));
  return r;
}

TEST(ParseHostPortTest, Forms) {
  HostPort r = Parse("[::1]:25", 110);
  EXPECT_EQ(r.address, "::1");
  EXPECT_EQ(r.port, 25);
  r = Parse("mail:587", 25);
  EXPECT_EQ(r.hostName, "mail");
  EXPECT_EQ(r.address, "");
  EXPECT_EQ(r.port, 587);
  r = Parse("10.0.0.1", 25);
  EXPECT_EQ(r.address, "10.0.0.1");
  EXPECT_EQ(r.hostName, "");
  EXPECT_EQ(r.port, 25);
  r = Parse("127.0.0.1:8080:junk", 80);
  EXPECT_EQ(r.port, 8080);
}

TEST(ParseHostPortTest, BadPortsKeepTheDefault) {
  EXPECT_EQ(Parse("host:", 25).port, 25);
  EXPECT_EQ(Parse("host:99999", 25).port, 25);
  EXPECT_EQ(Parse("host:abc", 25).port, 25);
  HostPort r = Parse("]x[", 25);
  EXPECT_EQ(r.address, "]x[");
  EXPECT_EQ(r.port, 25);
}

}  // namespace
}  // namespace support

#include <gtest/gtest.h>

#include "product/server_modules.h"

#ifndef _WIN32
#include "simulator/simulator.h"
#endif

namespace support {
namespace {

#ifndef _WIN32
TEST(ServiceModeTest, FollowsThePlatformId) {
  simulator::SetPlatformId(1);
  InitServiceMode();
  EXPECT_FALSE(ServiceMode);
  simulator::SetPlatformId(2);
  InitServiceMode();
  EXPECT_TRUE(ServiceMode);
}

#else
TEST(ServiceModeTest, WindowsIsNt) {
  InitServiceMode();
  EXPECT_TRUE(ServiceMode);
}
#endif

}  // namespace
}  // namespace support

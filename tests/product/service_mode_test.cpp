#include <gtest/gtest.h>

#include "product/server_modules.h"

#ifndef _WIN32
#include "platform/posix/posix_platform.h"
#endif

namespace support {
namespace {

#ifndef _WIN32
TEST(ServiceModeTest, FollowsThePlatformId) {
  platform::posix::SetPlatformId(1);
  InitServiceMode();
  EXPECT_FALSE(ServiceMode);
  platform::posix::SetPlatformId(2);
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

// The rules for the installation folder.
#include "setup/core/destination.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "platform/posix/posix_platform.h"
#endif

namespace {

using setup::DestinationFault;

TEST(DestinationTest, OnlyALocalFolderOfItsOwnIsAccepted) {
#ifndef _WIN32
  platform::posix::ClearRegistry();
  platform::posix::SetRemoteDrives("N");
#endif
  const std::string deep(163 - 3, 'x');  // "C:\" + this + "\" is 164 characters
  struct Case {
    std::string dir;
    DestinationFault fault;
  };
  const Case cases[] = {
      {"C:\\Orvik\\", DestinationFault::None},
      {"c:\\program files\\orvik", DestinationFault::None},
      {"D:\\Mail Server\\Orvik 8\\", DestinationFault::None},
      {"Orvik\\", DestinationFault::NotAbsolute},
      {"C:Orvik\\", DestinationFault::NotAbsolute},
      {"C:\\Orvik\\..\\Windows\\", DestinationFault::NotAbsolute},
      {"C:\\Orvik\\\\mail\\", DestinationFault::NotAbsolute},
      {"\\\\server\\share\\Orvik\\", DestinationFault::Network},
      {"C:\\", DestinationFault::DriveRoot},
      {"C:\\Windows\\", DestinationFault::SystemFolder},
      {"c:\\windows\\system32", DestinationFault::SystemFolder},
      {"C:\\Program Files\\", DestinationFault::SystemFolder},
      {"C:\\Or*vik\\", DestinationFault::BadCharacter},
      {"C:\\Orvik\\a:b\\", DestinationFault::BadCharacter},
      {"C:\\Orvik\\a|b\\", DestinationFault::BadCharacter},
      {"C:\\Orvik\ttab\\", DestinationFault::BadCharacter},
      {"C:\\" + deep.substr(1), DestinationFault::None},
      {"C:\\" + deep, DestinationFault::TooLong},
#ifndef _WIN32
      {"N:\\Orvik\\", DestinationFault::Network},  // a mapped network drive
#endif
  };
  for (const Case& c : cases) EXPECT_EQ(setup::CheckDestination(c.dir, 96), c.fault) << c.dir;
#ifndef _WIN32
  platform::posix::SetRemoteDrives("");
#endif
}

}  // namespace

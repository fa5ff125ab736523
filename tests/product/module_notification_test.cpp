// Module notification on the stand-in service manager, windows and pipes.
#ifndef _WIN32
#include "product/module_notification.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "product/server_modules.h"
#include "simulator/simulator.h"
#include "support/system_utils.h"

namespace {

class NotifyModuleTest : public testing::Test {
 protected:
  void SetUp() override {
    simulator::ClearModuleStandins();
    platform::InstallClock(&clock_);
    support::ServiceMode = true;
  }
  void TearDown() override {
    platform::InstallClock(nullptr);
    support::ServiceMode = false;
  }
  static void AddControl(uint32_t state) {
    simulator::StandinService s;
    s.Name = "OrvikControl";
    s.BinaryPath = "\"C:\\Orvik\\control.exe\"";
    s.State = state;
    simulator::AddService(s);
  }
  platform::VirtualClock clock_;
};

TEST_F(NotifyModuleTest, ARunningServiceGetsTwentyLittleEndianBytes) {
  AddControl(platform::kServiceRunning);
  simulator::AddPipe("OrvikControl");
  EXPECT_TRUE(upgrade::NotifyModule(2, 0x500, 0x101, 0x01020304));
  const std::string expected(
      "\x00\x10\x00\x00\x00\x05\x00\x00\x01\x01\x00\x00\x04\x03\x02\x01"
      "\x00\x00\x00\x00",
      20);
  EXPECT_EQ(simulator::PipeMessages("OrvikControl"), std::vector<std::string>{expected});
}

TEST_F(NotifyModuleTest, AStoppedServiceGetsNothing) {
  AddControl(platform::kServiceStopped);
  simulator::AddPipe("OrvikControl");
  EXPECT_FALSE(upgrade::NotifyModule(2, 0x500, 3, 0));
  EXPECT_FALSE(upgrade::NotifyModule(0, 0x500, 3, 0));  // no service at all
  EXPECT_TRUE(simulator::PipeMessages("OrvikControl").empty());
}

TEST_F(NotifyModuleTest, ABusyPipeIsWaitedForAtMostTwoSeconds) {
  AddControl(platform::kServiceRunning);
  struct Case {
    uint32_t busyMs;
    bool sent;
    uint32_t waited;
  };
  for (const Case& c : {Case{1500, true, 1500}, Case{5000, false, 2000}}) {
    simulator::AddPipe("OrvikControl", c.busyMs);
    uint32_t start = clock_.Tick();
    EXPECT_EQ(upgrade::NotifyModule(2, 0x500, 3, 0), c.sent);
    EXPECT_EQ(clock_.Tick() - start, c.waited);
    EXPECT_EQ(simulator::PipeMessages("OrvikControl").size(), c.sent ? 1u : 0u);
  }
}

TEST_F(NotifyModuleTest, DesktopModulesGetTheWindowMessage) {
  support::ServiceMode = false;
  EXPECT_TRUE(upgrade::NotifyModule(1, 0x500, 3, 0));  // no window: nothing to do
  platform::WindowHandle pop3 = simulator::AddWindow("TPOP3Form", "POP3");
  EXPECT_TRUE(upgrade::NotifyModule(1, 0x500, 3, 0));
  EXPECT_EQ(simulator::WindowMessages(pop3), std::vector<std::string>{"0x500 3 0"});
  simulator::AddWindow("TIMForm", "Instant Messaging", /*hung=*/true);
  EXPECT_FALSE(upgrade::NotifyModule(3, 0x500, 3, 0));
}

}  // namespace
#endif

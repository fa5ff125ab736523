#include "support/system_utils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/scratch_dir.h"
#include "platform/clock.h"
#include "platform/system.h"

#ifndef _WIN32
#include "simulator/simulator.h"
#endif

namespace support {
namespace {

using Args = std::vector<std::string>;

TEST(FindSwitchTest, NameEqualsValue) {
  std::string value = "stale";
  const Args args{"setup.dat", "-silent", "--InstallDir=C:\\Orvik Mail\\", "/mode=a=b", "/mode=2"};
  EXPECT_TRUE(FindSwitch(args, "installdir", value));
  EXPECT_EQ(value, "C:\\Orvik Mail\\");
  EXPECT_FALSE(FindSwitch(args, "installdir", value, true));
  EXPECT_EQ(value, "");
  EXPECT_TRUE(FindSwitch(args, "SILENT", value));
  EXPECT_TRUE(FindSwitch(args, "mode", value));  // the first match, split at the first "="
  EXPECT_EQ(value, "a=b");
  EXPECT_FALSE(FindSwitch(args, "setup.dat", value));
  EXPECT_FALSE(FindSwitch(Args{"-", "/"}, "", value));  // too short to be switches
}

TEST(FindSwitchTest, ValueFollows) {
  std::string value;
  const Args args{"-dC:\\x", "-p", "8080", "-q"};
  EXPECT_TRUE(FindSwitch(args, "D", value, false, true));
  EXPECT_EQ(value, "C:\\x");
  EXPECT_TRUE(FindSwitch(args, "p", value, false, true));
  EXPECT_EQ(value, "8080");
  EXPECT_TRUE(FindSwitch(args, "q", value, false, true));  // nothing follows
  EXPECT_EQ(value, "");
  EXPECT_FALSE(FindSwitch(Args{"-port=1"}, "port", value, false, true));
}

TEST(FindSwitchTest, ReadsTheProcessCommandLine) {
  const Args saved = platform::CommandLineArgs();
  const char* argv[] = {"setup.exe", "/UNINSTALL", "-exportlanguage"};
  platform::SetCommandLineArgs(3, const_cast<char**>(argv));
  std::string value;
  EXPECT_TRUE(FindSwitch("ExportLanguage", value));
  EXPECT_FALSE(FindSwitch("silent", value));
  std::vector<char*> restore{const_cast<char*>("program")};
  for (const auto& a : saved) restore.push_back(const_cast<char*>(a.c_str()));
  platform::SetCommandLineArgs(static_cast<int>(restore.size()), restore.data());
}

#ifndef _WIN32
TEST(RunProgramTest, HandsFileToTheShell) {
  testing_support::ScratchDir dir;
  const std::string program = dir.Path() + "smtp.exe";
  ASSERT_TRUE(testing_support::WriteFile(program, "MZ"));
  simulator::ClearShellExecuteLog();
  EXPECT_TRUE(RunProgram(0, "", program, 1, dir.Path(), "-x"));
  EXPECT_FALSE(RunProgram(0, "open", dir.Path() + "missing.exe", 1, dir.Path(), ""));
  EXPECT_EQ(simulator::ShellExecuteLog(),
            std::vector<std::string>{"|" + program + "|-x|" + dir.Path()});
}
#endif

// Runs each test on a virtual clock.
class ClockTest : public testing::Test {
 protected:
  void TearDown() override { platform::InstallClock(nullptr); }
  void Start(uint32_t tick) {
    clock_ = platform::VirtualClock(46000.5, tick);
    platform::InstallClock(&clock_);
  }
  platform::VirtualClock clock_;
};

TEST_F(ClockTest, DeadlineReachedAfterTheGivenTime) {
  Start(1000);
  const Deadline deadline = SetDeadline(10000);
  clock_.Advance(9990);
  EXPECT_FALSE(DeadlineReached(deadline));
  clock_.Advance(20);
  EXPECT_TRUE(DeadlineReached(deadline));
}

TEST_F(ClockTest, DeadlineSurvivesTickWrapAndIgnoresTheDate) {
  Start(0xFFFFF000u);  // the tick wraps 4096 ms from now
  const Deadline deadline = SetDeadline(10000);
  clock_.SetNow(clock_.Now() + 1);  // the system date moves a day ahead
  EXPECT_FALSE(DeadlineReached(deadline));
  clock_.Advance(9999);
  EXPECT_FALSE(DeadlineReached(deadline));
  clock_.Advance(1);
  EXPECT_TRUE(DeadlineReached(deadline));
}

TEST_F(ClockTest, ThrottleSpacesTransfersByRate) {
  Start(1000);
  RateRecord rate;
  rate.NextTick = 999999;
  ThrottleTransfer(1 << 20, rate);  // unlimited: no wait, nothing booked
  EXPECT_EQ(platform::Tick(), 1000u);
  EXPECT_EQ(rate.NextTick, 999999u);

  rate = {1000, 1000};
  ThrottleTransfer(500, rate);  // due now
  EXPECT_EQ(platform::Tick(), 1000u);
  ThrottleTransfer(2000, rate);  // waits out the first 500 bytes
  EXPECT_EQ(platform::Tick(), 1500u);
  EXPECT_EQ(rate.NextTick, 3500u);
  clock_.Advance(3000);  // the caller was slower than the rate
  ThrottleTransfer(1, rate);
  EXPECT_EQ(platform::Tick(), 4500u);
  rate.BytesPerSecond = 3;
  ThrottleTransfer(2, rate);  // 2/3 s, truncated to whole milliseconds
  EXPECT_EQ(rate.NextTick, platform::Tick() + 666u);
}

TEST_F(ClockTest, ThrottleWaitsAcrossTheTickWrap) {
  Start(0xFFFFFF00u);
  RateRecord rate{1000, 0xFFFFFF00u};
  ThrottleTransfer(1000, rate);
  ThrottleTransfer(1, rate);
  EXPECT_EQ(platform::Tick(), 0x2E8u);
  EXPECT_EQ(rate.NextTick, 0x2E9u);
}

TEST_F(ClockTest, ThrottleFreshRecordOnALateTickDoesNotWait) {
  // Past 2^31 a NextTick of 0 looks like a point in the future.
  Start(0x90000000u);
  RateRecord rate{100, 0};
  ThrottleTransfer(100, rate);
  EXPECT_EQ(platform::Tick(), 0x90000000u);
  EXPECT_EQ(rate.NextTick, 0x90000000u + 1000u);
}

}  // namespace
}  // namespace support

// Services, processes, top-level windows and pipes under Wine, with the module
// stand-in of testbed/ as real services and desktop programs. The service
// names are the server's own: the ctest entry holds the wine_scm lock.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <thread>

#include "common/scratch_dir.h"
#include "common/testbed.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/pipes.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/system.h"
#include "platform/top_windows.h"
#include "platform/win32/windows_api.h"

namespace {

using platform::ServiceStatus;

const std::array<std::string, 2> kServices = {"OrvikSMTP", "SMTPSVC"};

// Polls every 20 ms for at most 10 s.
template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) return true;
    platform::Sleep(20);
  }
  return condition();
}

uint32_t State(const std::string& name) {
  ServiceStatus status;
  return platform::QueryServiceStatus(name, status) ? 0 : status.State;
}

bool Listed(uint32_t processId) {
  std::vector<platform::ProcessInfo> processes;
  platform::ListProcesses(processes);
  return std::any_of(processes.begin(), processes.end(),
                     [&](const auto& p) { return p.Id == processId; });
}

// Stops the service, or ends its process when it does not stop, then deletes
// it and waits until the name is free. Wine's manager goes on reporting a
// service running after its process was terminated; its stop control then
// fails (232) and the service is deleted at once.
void RemoveService(const std::string& name) {
  ServiceStatus status;
  if (platform::QueryServiceStatus(name, status) != 0) return;
  if (status.State != platform::kServiceStopped &&
      (platform::StopService(name) != 0 ||
       !Eventually([&] { return State(name) == platform::kServiceStopped; })))
    platform::TerminateProcess(status.ProcessId);
  platform::DeleteService(name);
  Eventually([&] { return platform::QueryServiceStatus(name, status) != 0; });
}

class ModulesTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& name : kServices) RemoveService(name);
    ASSERT_TRUE(platform::CreateDirectory(dir_));
    for (const char* exe : {"smtp.exe", "control.exe"}) {
      std::string built = testing_support::BuildFolder(ORVIK_MODULES_DIR) + exe;
      ASSERT_TRUE(platform::CopyFile(built, dir_ + exe, false)) << built;
    }
    // Port 25 may be taken on this machine: smtp.exe leaves it alone.
    SetBehaviour("smtp.exe", "no-smtp\n");
  }
  void TearDown() override {
    for (const std::string& name : kServices) RemoveService(name);
    for (HANDLE process : processes_) {
      ::TerminateProcess(process, 0);
      WaitForSingleObject(process, 10000);
      CloseHandle(process);
    }
  }

  // Creates the service for a stand-in of the scratch folder, its path quoted.
  void Create(const std::string& name, const std::string& exe) {
    ASSERT_EQ(platform::CreateService({name, name + " test", Quoted(exe)}), 0u);
  }
  std::string Quoted(const std::string& exe) const { return "\"" + dir_ + exe + "\""; }
  void StartRunning(const std::string& name, ServiceStatus& status) {
    ASSERT_EQ(platform::StartService(name), 0u);
    ASSERT_TRUE(Eventually([&] {
      return platform::QueryServiceStatus(name, status) == 0 &&
             status.State == platform::kServiceRunning;
    }));
    EXPECT_NE(status.ProcessId, 0u);
  }
  void SetBehaviour(const std::string& exe, const std::string& words) {
    ASSERT_TRUE(testing_support::WriteFile(dir_ + exe + ".behaviour", words));
  }
  std::string Log(const std::string& exe) const {
    return testing_support::ReadFile(dir_ + exe + ".log");
  }
  bool Logged(const std::string& exe, const std::string& line) const {
    std::string wanted = "\n" + line + "\n";
    return Eventually([&] {
      std::string text = "\n";
      text += Log(exe);
      return text.find(wanted) != std::string::npos;
    });
  }

  // Runs the stand-in as a desktop program; it is ended at the latest by
  // TearDown.
  void StartDesktop(const std::string& exe) {
    std::string commandLine = Quoted(exe) + " /desktop";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info));
    CloseHandle(info.hThread);
    processes_.push_back(info.hProcess);
  }

  testing_support::ScratchDir scratch_;
  std::string dir_ = scratch_.Path() + "Orvik Test\\";
  std::vector<HANDLE> processes_;
};

TEST_F(ModulesTest, ServiceLifeWithQuotedPathAndPipeMessage) {
  Create("OrvikSMTP", "smtp.exe");
  platform::ServiceConfig config;
  ASSERT_EQ(platform::QueryServiceConfig("OrvikSMTP", config), 0u);
  EXPECT_EQ(config.BinaryPath, Quoted("smtp.exe"));
  EXPECT_EQ(config.DisplayName, "OrvikSMTP test");
  EXPECT_EQ(config.ServiceType, 0x10u);  // own process
  EXPECT_EQ(config.StartType, platform::kStartAutomatic);
  EXPECT_EQ(config.ErrorControl, 1u);  // normal
  EXPECT_EQ(platform::CreateService({"OrvikSMTP", "again", Quoted("smtp.exe")}),
            platform::kErrorServiceExists);

  ServiceStatus status;
  StartRunning("OrvikSMTP", status);
  EXPECT_TRUE(Logged("smtp.exe", "start service pid=" + std::to_string(status.ProcessId)));

  const std::string message(
      "\x00\x10\x00\x00\x01\x05\x00\x00\x03\x00\x00\x00\xfe\xff\xff\xff"
      "\x00\x00\x00\x00",
      20);
  ASSERT_TRUE(Eventually([&] { return platform::WritePipeMessage("OrvikSMTP", message) == 0; }));
  EXPECT_TRUE(Logged("smtp.exe", "pipe 001000000105000003000000feffffff00000000"));

  EXPECT_EQ(platform::StopService("OrvikSMTP"), 0u);
  EXPECT_TRUE(Eventually([] { return State("OrvikSMTP") == platform::kServiceStopped; }));
  EXPECT_TRUE(Logged("smtp.exe", "stop"));
  EXPECT_EQ(platform::StopService("OrvikSMTP"), platform::kErrorServiceNotActive);
  EXPECT_EQ(platform::DeleteService("OrvikSMTP"), 0u);
  EXPECT_TRUE(Eventually([&] {
    return platform::QueryServiceStatus("OrvikSMTP", status) == platform::kErrorServiceDoesNotExist;
  }));
}

TEST_F(ModulesTest, CallsOnAMissingServiceOrPipeGiveTheirErrorCodes) {
  ServiceStatus status;
  platform::ServiceConfig config;
  platform::FailureActions actions;
  const uint32_t missing = platform::kErrorServiceDoesNotExist;
  EXPECT_EQ(platform::QueryServiceStatus("SMTPSVC", status), missing);
  EXPECT_EQ(platform::QueryServiceConfig("SMTPSVC", config), missing);
  EXPECT_EQ(platform::ChangeServiceStartType("SMTPSVC", platform::kStartDisabled), missing);
  // The run-time entries are found: the service is what is missing.
  EXPECT_EQ(platform::SetServiceDescription("SMTPSVC", "x"), missing);
  EXPECT_EQ(platform::QueryServiceFailureActions("SMTPSVC", actions), missing);
  EXPECT_EQ(platform::SetServiceFailureActions("SMTPSVC", actions), missing);
  EXPECT_EQ(platform::StartService("SMTPSVC"), missing);
  EXPECT_EQ(platform::StopService("SMTPSVC"), missing);
  EXPECT_EQ(platform::DeleteService("SMTPSVC"), missing);
  EXPECT_EQ(platform::WritePipeMessage("OrvikNoSuchModule", std::string(20, '\0')),
            platform::kErrorFileNotFound);
}

TEST_F(ModulesTest, BusyPipeIsWaitedForOnce) {
  Create("OrvikSMTP", "smtp.exe");
  ServiceStatus status;
  StartRunning("OrvikSMTP", status);
  // The stand-in serves one client at a time: this one keeps the pipe busy.
  auto holdPipe = [] {
    return CreateFileA("\\\\.\\pipe\\OrvikSMTP", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, 0, nullptr);
  };
  HANDLE holder;
  ASSERT_TRUE(Eventually([&] { return (holder = holdPipe()) != INVALID_HANDLE_VALUE; }));
  uint32_t started = platform::Tick();
  EXPECT_EQ(platform::WritePipeMessage("OrvikSMTP", std::string(20, 'a')),
            platform::kErrorPipeBusy);
  EXPECT_LT(platform::Tick() - started, 4000u);
  std::thread release([&] {
    platform::Sleep(500);
    CloseHandle(holder);
  });
  EXPECT_EQ(platform::WritePipeMessage("OrvikSMTP", std::string(20, 'b')), 0u);
  release.join();
  std::string logged = "pipe ";
  for (int i = 0; i < 20; ++i) logged += "62";  // 'b'
  EXPECT_TRUE(Logged("smtp.exe", logged));
}

TEST_F(ModulesTest, StartTypeChangesKeepTheDescription) {
  Create("OrvikSMTP", "smtp.exe");
  ASSERT_EQ(platform::SetServiceDescription("OrvikSMTP", "Provides support for testing."), 0u);
  platform::ServiceConfig config;
  for (uint32_t type : {platform::kStartDisabled, platform::kStartManual}) {
    ASSERT_EQ(platform::ChangeServiceStartType("OrvikSMTP", type), 0u);
    ASSERT_EQ(platform::QueryServiceConfig("OrvikSMTP", config), 0u);
    EXPECT_EQ(config.StartType, type);
    EXPECT_EQ(config.BinaryPath, Quoted("smtp.exe"));  // kept
  }
  platform::RegKey key;
  ASSERT_TRUE(key.Open(platform::RegRoot::LocalMachine,
                       "\\System\\CurrentControlSet\\Services\\OrvikSMTP", false));
  std::string description;
  EXPECT_TRUE(platform::ReadStringValue(key, "Description", description));
  EXPECT_EQ(description, "Provides support for testing.");
}

TEST_F(ModulesTest, ServiceProcessIsListedAndTerminated) {
  Create("OrvikSMTP", "smtp.exe");
  ServiceStatus status;
  StartRunning("OrvikSMTP", status);
  std::vector<platform::ProcessInfo> processes;
  ASSERT_TRUE(platform::ListProcesses(processes));
  auto found = std::find_if(processes.begin(), processes.end(),
                            [&](const auto& p) { return p.Id == status.ProcessId; });
  ASSERT_NE(found, processes.end());
  EXPECT_EQ(found->BaseName, "smtp.exe");
  EXPECT_EQ(found->ImagePath, dir_ + "smtp.exe");

  // Gone from the list: Wine's manager, unlike Windows', still reports the
  // service running with this process id (measured).
  EXPECT_EQ(platform::TerminateProcess(status.ProcessId), 0u);
  EXPECT_TRUE(Eventually([&] { return !Listed(status.ProcessId); }));
}

TEST_F(ModulesTest, ServiceThatIgnoresStopKeepsRunningUntilTerminated) {
  SetBehaviour("smtp.exe", "ignore-stop\nno-smtp\n");
  Create("OrvikSMTP", "smtp.exe");
  ServiceStatus status;
  StartRunning("OrvikSMTP", status);
  EXPECT_EQ(platform::StopService("OrvikSMTP"), 0u);
  EXPECT_TRUE(Logged("smtp.exe", "stop ignored"));
  platform::Sleep(500);
  EXPECT_EQ(State("OrvikSMTP"), platform::kServiceRunning);
  EXPECT_TRUE(Listed(status.ProcessId));

  EXPECT_EQ(platform::TerminateProcess(status.ProcessId), 0u);
  EXPECT_TRUE(Eventually([&] { return !Listed(status.ProcessId); }));
}

class ModuleWindowTest : public ModulesTest {
 protected:
  void SetUp() override {
    if (platform::GetEnvironment("DISPLAY").empty())
      GTEST_SKIP() << "no display: windows need one under Wine (run under xvfb-run -a)";
    ModulesTest::SetUp();
  }
  platform::WindowHandle WaitForWindow() {
    platform::WindowHandle window = 0;
    Eventually([&] { return (window = platform::FindTopWindow("TControlForm", "Control")) != 0; });
    return window;
  }
};

TEST_F(ModuleWindowTest, MessageIsAnsweredAndCloseEndsTheWindow) {
  StartDesktop("control.exe");
  platform::WindowHandle window = WaitForWindow();
  ASSERT_NE(window, 0u);
  EXPECT_TRUE(platform::WindowExists(window));
  EXPECT_TRUE(platform::SendWindowMessage(window, 0x500, 3, 7, 5000));
  EXPECT_TRUE(Logged("control.exe", "message 0x500 3 7"));
  EXPECT_TRUE(platform::PostWindowMessage(window, platform::kCloseMessage, 0, 0));
  EXPECT_TRUE(Eventually([&] { return !platform::WindowExists(window); }));
  EXPECT_TRUE(Logged("control.exe", "stop"));
}

TEST_F(ModuleWindowTest, HungWindowIsNotWaitedForBeyondTheTimeOut) {
  SetBehaviour("control.exe", "hang\n");
  StartDesktop("control.exe");
  platform::WindowHandle window = WaitForWindow();
  ASSERT_NE(window, 0u);
  uint32_t started = platform::Tick();
  EXPECT_FALSE(platform::SendWindowMessage(window, 0x500, 1, 2, 1000));
  EXPECT_LT(platform::Tick() - started, 3000u);
}

}  // namespace

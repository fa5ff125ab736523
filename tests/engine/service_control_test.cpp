// Service control on the stand-in service manager, process table and windows,
// with every wait on the virtual clock.
#ifndef _WIN32
#include "engine/service_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "common/scratch_dir.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "product/messages.h"
#include "product/server_modules.h"
#include "simulator/simulator.h"
#include "support/file_utils.h"
#include "support/system_utils.h"
#include "ui/headless.h"

namespace {

using simulator::StandinService;
using support::kServerModules;

// A virtual clock that does one thing once it has reached a tick.
class ScriptedClock : public platform::VirtualClock {
 public:
  void At(uint32_t tick, std::function<void()> action) {
    at_ = tick;
    action_ = std::move(action);
  }
  void Sleep(uint32_t milliseconds) override {
    Advance(milliseconds);
    if (action_ && Tick() >= at_) std::exchange(action_, nullptr)();
  }

 private:
  uint32_t at_ = 0;
  std::function<void()> action_;
};

class ServiceControlTest : public testing::Test {
 protected:
  void SetUp() override {
    simulator::ClearRegistry();  // held failure actions live under the product key
    simulator::ClearModuleStandins();
    simulator::ClearShellExecuteLog();
    platform::InstallClock(&clock_);
    support::ServiceMode = true;
    state_.InstallDir = scratch_.Path() + "Program Files\\Orvik\\";
    ASSERT_TRUE(support::CreateDirectoryPath(state_.InstallDir));
  }
  void TearDown() override {
    platform::InstallClock(nullptr);
    support::ServiceMode = false;
    setup::RestoreDefaultMessages();
  }

  std::string Path(int index) const {
    return "\"" + state_.InstallDir + kServerModules[index].Executable + "\"";
  }
  // A module's service as an earlier install left it.
  StandinService Module(int index, uint32_t state) const {
    StandinService s;
    s.Name = kServerModules[index].ServiceName;
    s.DisplayName = kServerModules[index].DisplayName;
    s.BinaryPath = Path(index);
    s.State = state;
    return s;
  }
  void AddAll(uint32_t state) {
    for (int i = 0; i < support::kModuleCount; ++i) simulator::AddService(Module(i, state));
  }
  // The call log lines that begin with the verb, without it.
  static std::vector<std::string> Calls(const std::string& verb) {
    std::vector<std::string> out;
    for (const std::string& line : simulator::ServiceCallLog())
      if (line.rfind(verb + " ", 0) == 0) out.push_back(line.substr(verb.size() + 1));
    return out;
  }
  static StandinService Service(const std::string& name) {
    StandinService s;
    EXPECT_TRUE(simulator::FindService(name, s)) << name;
    return s;
  }
  static bool Exists(const std::string& name) {
    StandinService s;
    return simulator::FindService(name, s);
  }
  uint32_t Elapsed(uint32_t since) { return clock_.Tick() - since; }

  ScriptedClock clock_;
  testing_support::ScratchDir scratch_;
  setup::TSetupState state_;
  ui::HeadlessUI ui_;
  engine::TServiceControl control_{state_, ui_};
};

const std::vector<std::string> kAllNames = {"OrvikSMTP", "OrvikPOP3", "OrvikControl", "OrvikIM",
                                            "OrvikCalendar"};

TEST_F(ServiceControlTest, FreshSystemCreatesAllFiveQuotedAndStartsThemInOrder) {
  uint32_t start = clock_.Tick();
  EXPECT_TRUE(control_.StopRunningServices());
  EXPECT_EQ(Elapsed(start), 0u);  // nothing was running: no pause
  EXPECT_TRUE(std::all_of(std::begin(state_.MustCreate), std::end(state_.MustCreate),
                          [](bool b) { return b; }));
  control_.InstallServices();
  EXPECT_EQ(Calls("Create"), kAllNames);
  EXPECT_EQ(Calls("Start"), (std::vector<std::string>{"OrvikSMTP", "OrvikPOP3", "OrvikIM",
                                                      "OrvikCalendar", "OrvikControl"}));
  for (int i = 0; i < support::kModuleCount; ++i) {
    StandinService s = Service(kServerModules[i].ServiceName);
    EXPECT_EQ(s.BinaryPath, Path(i));
    EXPECT_EQ(s.Description, kServerModules[i].Description);
    EXPECT_EQ(s.StartType, platform::kStartAutomatic);
    EXPECT_EQ(s.Failure, (platform::FailureActions{0, "", "", {{platform::kActionRestart, 0}}}));
    EXPECT_EQ(s.State, platform::kServiceRunning);
  }
  EXPECT_EQ(ui_.StatusHistory(), (std::vector<std::string>{setup::cChecking, setup::cInstalling,
                                                           setup::cStarting, setup::cFinishing}));
  control_.CheckStartedServices();
  EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(ServiceControlTest, RunningModulesStopInOrderAndAreNotCreatedAgain) {
  AddAll(platform::kServiceRunning);
  uint32_t start = clock_.Tick();
  EXPECT_TRUE(control_.StopRunningServices());
  EXPECT_GE(Elapsed(start), 1500u);  // the modules' processes let go of their files
  start = clock_.Tick();
  EXPECT_TRUE(control_.StopRunningServices());  // the install run's second pass
  EXPECT_LT(Elapsed(start), 1500u);             // nothing left running: no pause
  EXPECT_EQ(Calls("Stop"), (std::vector<std::string>{"OrvikControl", "OrvikSMTP", "OrvikPOP3",
                                                     "OrvikIM", "OrvikCalendar"}));
  EXPECT_TRUE(std::none_of(std::begin(state_.MustCreate), std::end(state_.MustCreate),
                           [](bool b) { return b; }));
  control_.InstallServices();
  EXPECT_TRUE(Calls("Create").empty());
  EXPECT_EQ(Calls("Start").size(), 5u);
}

TEST_F(ServiceControlTest, AModuleThatIgnoresStopLosesItsOwnProcessOnly) {
  StandinService control = Module(support::kModuleControl, platform::kServiceRunning);
  control.IgnoresStop = true;
  simulator::AddService(control);
  uint32_t pid = Service("OrvikControl").ProcessId;
  // Windows' own control.exe, and one of another installation.
  uint32_t windows = simulator::AddProcess("C:\\Windows\\System32\\control.exe");
  uint32_t other = simulator::AddProcess("D:\\Orvik\\control.exe");

  uint32_t start = clock_.Tick();
  EXPECT_FALSE(control_.StopServer(support::kModuleControl));
  EXPECT_EQ(Elapsed(start), 12000u);  // the 10 s deadline, then 2000 ms
  EXPECT_EQ(Calls("Terminate"), std::vector<std::string>{std::to_string(pid)});
  std::vector<platform::ProcessInfo> processes;
  ASSERT_TRUE(platform::ListProcesses(processes));
  ASSERT_EQ(processes.size(), 2u);
  EXPECT_EQ(processes[0].Id, windows);
  EXPECT_EQ(processes[1].Id, other);
  EXPECT_EQ(Service("OrvikControl").State, platform::kServiceStopped);
  EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(ServiceControlTest, AProcessIdTakenOverByAnotherProgramIsNotEnded) {
  StandinService control = Module(support::kModuleControl, platform::kServiceRunning);
  control.IgnoresStop = true;
  control.DeletePendingMs = 60000;
  simulator::AddService(control);
  uint32_t pid = Service("OrvikControl").ProcessId;
  // While setup waits, the manager stops answering for the service, its
  // process ends and another program gets the id setup last read.
  clock_.At(clock_.Tick() + 5000, [&] {
    platform::DeleteService("OrvikControl");
    simulator::ReuseProcessId(pid, "C:\\Windows\\notepad.exe");
  });
  EXPECT_FALSE(control_.StopServer(support::kModuleControl));
  std::vector<platform::ProcessInfo> processes;
  ASSERT_TRUE(platform::ListProcesses(processes));
  ASSERT_EQ(processes.size(), 1u);
  EXPECT_EQ(processes[0].ImagePath, "C:\\Windows\\notepad.exe");
  EXPECT_FALSE(simulator::PrivilegeEnabled("SeDebugPrivilege"));
}

TEST_F(ServiceControlTest, FailureActionsAreClearedWhileStoppedAndPutBack) {
  const platform::FailureActions admin{86400, "", "", {{platform::kActionRestart, 60000}}};
  StandinService smtp = Module(support::kModuleSMTP, platform::kServiceRunning);
  smtp.Failure = admin;
  simulator::AddService(smtp);
  control_.StopRunningServices();
  control_.StopRunningServices();
  EXPECT_TRUE(Service("OrvikSMTP").Failure.Actions.empty());
  control_.InstallServices();
  EXPECT_EQ(Service("OrvikSMTP").Failure, admin);
}

TEST_F(ServiceControlTest, DeselectedComponentsAreRemovedAndNeitherCreatedNorStarted) {
  AddAll(platform::kServiceStopped);
  state_.Components.NoInstallMail = true;
  state_.Components.NoInstallIM = true;
  control_.StopRunningServices();
  EXPECT_FALSE(Exists("OrvikSMTP"));
  EXPECT_FALSE(Exists("OrvikPOP3"));
  EXPECT_FALSE(Exists("OrvikIM"));
  EXPECT_TRUE(Exists("OrvikControl"));
  control_.InstallServices();
  EXPECT_TRUE(Calls("Create").empty());
  EXPECT_EQ(Calls("Start"), (std::vector<std::string>{"OrvikCalendar", "OrvikControl"}));
  control_.CheckStartedServices();
  EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(ServiceControlTest, GroupWareOfAVersionBefore817IsMadeAnew) {
  AddAll(platform::kServiceStopped);
  ASSERT_TRUE(testing_support::WriteFile(state_.InstallDir + "calendar.exe", "old"));
  state_.PreviousVersion = "8.1.6";
  control_.StopRunningServices();
  EXPECT_EQ(Calls("Delete"), std::vector<std::string>{"OrvikCalendar"});
  EXPECT_FALSE(platform::FileExists(state_.InstallDir + "calendar.exe"));
  control_.InstallServices();
  EXPECT_EQ(Calls("Create"), std::vector<std::string>{"OrvikCalendar"});

  // 8.1.7 itself keeps its service and file.
  simulator::ClearModuleStandins();
  AddAll(platform::kServiceStopped);
  ASSERT_TRUE(testing_support::WriteFile(state_.InstallDir + "calendar.exe", "old"));
  state_.PreviousVersion = "8.1.7";
  control_.StopRunningServices();
  EXPECT_TRUE(Calls("Delete").empty());
  EXPECT_TRUE(platform::FileExists(state_.InstallDir + "calendar.exe"));
}

TEST_F(ServiceControlTest, ServicesOfAnotherRegisteredFolderAreMadeAnew) {
  struct Case {
    std::string registered;
    bool remade;
  };
  std::string same = state_.InstallDir;
  std::transform(same.begin(), same.end(), same.begin(), ::tolower);
  same.pop_back();  // no trailing backslash, other case: the same folder
  for (const Case& c : {Case{"D:\\Old Orvik\\", true}, Case{same, false}}) {
    simulator::ClearModuleStandins();
    AddAll(platform::kServiceStopped);
    state_.PreviousInstallDir = c.registered;
    control_.StopRunningServices();
    EXPECT_EQ(Calls("Delete").size(), c.remade ? 5u : 0u) << c.registered;
    EXPECT_EQ(state_.PreviousInstallDir.empty(), c.remade);
    control_.InstallServices();
    EXPECT_EQ(Calls("Create").size(), c.remade ? 5u : 0u);
  }
}

TEST_F(ServiceControlTest, StopAndCreateRacesNeedNoWarning) {
  // Stopped meanwhile (1062): stopped, no box.
  simulator::AddService(Module(support::kModuleSMTP, platform::kServiceStopped));
  EXPECT_TRUE(control_.StopServer(support::kModuleSMTP));
  // Already stopping (1061): waited for, not ended by force.
  StandinService pop3 = Module(support::kModulePOP3, platform::kServiceRunning);
  pop3.StopPendingMs = 3000;
  simulator::AddService(pop3);
  ASSERT_EQ(platform::StopService("OrvikPOP3"), 0u);
  uint32_t start = clock_.Tick();
  EXPECT_TRUE(control_.StopServer(support::kModulePOP3));
  EXPECT_EQ(Elapsed(start), 3000u);
  EXPECT_TRUE(Calls("Terminate").empty());
  // Marked for delete (1072) while a handle is open: created once it is gone.
  StandinService im = Module(support::kModuleIM, platform::kServiceStopped);
  im.DeletePendingMs = 400;
  simulator::AddService(im);
  control_.RemoveService("OrvikIM");
  control_.InstallService(support::kModuleIM);
  EXPECT_EQ(Calls("Create"), std::vector<std::string>{"OrvikIM"});
  // Exists already (1073): kept, and pointed at this folder.
  StandinService control = Module(support::kModuleControl, platform::kServiceStopped);
  control.BinaryPath = "\"D:\\Old\\control.exe\"";
  control.Description = "kept";
  simulator::AddService(control);
  control_.InstallService(support::kModuleControl);
  EXPECT_EQ(Service("OrvikControl").BinaryPath, Path(support::kModuleControl));
  EXPECT_EQ(Service("OrvikControl").Description, "kept");
  EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(ServiceControlTest, FailuresShowTheServiceWarningWithTheirOwnCode) {
  StandinService smtp = Module(support::kModuleSMTP, platform::kServiceStopped);
  smtp.StartError = platform::kErrorAccessDenied;
  simulator::AddService(smtp);
  control_.StartServer(support::kModuleSMTP);
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_EQ(ui_.Boxes()[0].text, setup::ServiceWarningText(platform::kErrorAccessDenied));
  EXPECT_EQ(ui_.Boxes()[0].caption, "Warning");
  EXPECT_EQ(ui_.Boxes()[0].flags, ui::kOk | ui::kIconWarning | ui::kTaskModal);
}

TEST_F(ServiceControlTest, StartTypeIsReadAndChangedAlone) {
  simulator::AddService(Module(support::kModuleIM, platform::kServiceStopped));
  EXPECT_EQ(control_.ServiceStartType("OrvikIM", true, -1), -1);
  EXPECT_EQ(control_.ServiceStartType("OrvikIM", true, 4), 2);
  EXPECT_EQ(control_.ServiceStartType("OrvikIM", false, 2), 4);
  EXPECT_EQ(control_.ServiceStartType("Missing", false, 0), -1);
  EXPECT_EQ(Calls("StartType"), std::vector<std::string>{"OrvikIM 4"});
}

TEST_F(ServiceControlTest, IISSMTPGivesWayOnlyToAStoppedOrvikSMTP) {
  StandinService iis;
  iis.Name = "SMTPSVC";
  iis.BinaryPath = "C:\\Windows\\System32\\inetsrv\\inetinfo.exe";
  iis.State = platform::kServiceRunning;
  iis.IgnoresStop = true;  // and it is not ended by force
  StandinService smtp = Module(support::kModuleSMTP, platform::kServiceStopped);
  smtp.StartError = 1053;
  // OrvikSMTP is not meant to run when it is not chosen or when the
  // administrator disabled it (an upgrade sets it to automatic for a while).
  struct Case {
    uint32_t startPendingMs;  // OrvikSMTP still starting when looked at
    int savedStartType;
    uint32_t startType;
    bool noMail;
    bool iisDisabled;
  };
  const uint32_t automatic = platform::kStartAutomatic, disabled = platform::kStartDisabled;
  for (const Case& c :
       {Case{0, -1, automatic, false, true}, Case{3000, -1, automatic, false, false},
        Case{0, int(disabled), automatic, false, false}, Case{0, -1, disabled, false, false},
        Case{0, -1, automatic, true, false}}) {
    simulator::ClearModuleStandins();
    simulator::AddService(iis);
    smtp.StartError = c.startPendingMs ? 0 : 1053;
    smtp.StartPendingMs = c.startPendingMs;
    smtp.StartType = c.startType;
    simulator::AddService(smtp);
    state_.SavedStartTypes[support::kModuleSMTP] = c.savedStartType;
    state_.Components.NoInstallMail = c.noMail;
    control_.StartServer(support::kModuleSMTP);
    control_.CheckStartedServices();
    EXPECT_EQ(Service("SMTPSVC").StartType == platform::kStartDisabled, c.iisDisabled);
    EXPECT_EQ(Calls("Stop").empty(), !c.iisDisabled);
    EXPECT_EQ(Calls("Start").size(), c.iisDisabled ? 2u : 1u);
    EXPECT_TRUE(Calls("Terminate").empty());
  }
}

TEST_F(ServiceControlTest, NotRunningWarningNamesModulesThatAreNotUp) {
  AddAll(platform::kServiceStopped);
  StandinService pop3 = Module(support::kModulePOP3, platform::kServiceStopped);
  pop3.StartError = 1053;
  simulator::AddService(pop3);
  StandinService im = Module(support::kModuleIM, platform::kServiceStopped);
  im.StartError = 1053;
  simulator::AddService(im);
  StandinService smtp = Module(support::kModuleSMTP, platform::kServiceStopped);
  smtp.StartType = platform::kStartDisabled;  // disabled by the administrator
  simulator::AddService(smtp);
  state_.SavedStartTypes[support::kModuleSMTP] = platform::kStartDisabled;
  setup::cNotRunning = "100%d sure: %s%x";  // a translation with other % sequences

  control_.StopRunningServices();
  control_.InstallServices();
  EXPECT_EQ(Calls("Start"), (std::vector<std::string>{"OrvikPOP3 -> 1053", "OrvikIM -> 1053",
                                                      "OrvikCalendar", "OrvikControl"}));
  size_t warnings = ui_.Boxes().size();
  control_.CheckStartedServices();
  ASSERT_EQ(ui_.Boxes().size(), warnings + 1);
  EXPECT_EQ(ui_.Boxes().back().text, "100%d sure: Orvik POP3 / IMAP\r\nOrvik IM / VoIP\r\n%x");
  EXPECT_EQ(ui_.Boxes().back().caption, "Warning");
}

TEST_F(ServiceControlTest, DesktopProgramsAreClosedStartedAndChecked) {
  support::ServiceMode = false;
  platform::WindowHandle smtp = simulator::AddWindow("TSMTPForm", "SMTP");
  simulator::AddWindow("TControlForm", "Control", /*hung=*/true);
  uint32_t start = clock_.Tick();
  EXPECT_FALSE(control_.StopRunningServices());   // Control does not close
  EXPECT_EQ(Elapsed(start), 2 * 10000u + 1500u);  // two tries on Control
  EXPECT_EQ(simulator::WindowMessages(smtp), std::vector<std::string>{"0x10 0 0"});
  EXPECT_FALSE(platform::WindowExists(smtp));

  ASSERT_TRUE(testing_support::WriteFile(state_.InstallDir + "pop3.exe", "MZ"));
  control_.InstallServices();
  EXPECT_EQ(simulator::ShellExecuteLog(),
            std::vector<std::string>{"|" + state_.InstallDir + "pop3.exe||" + state_.InstallDir});
  EXPECT_TRUE(simulator::ServiceCallLog().empty());

  simulator::AddWindow("TPOP3Form", "POP3");
  control_.CheckStartedServices();
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_NE(ui_.Boxes()[0].text.find("\r\nOrvik SMTP\r\nOrvik IM / VoIP\r\n\r\n"),
            std::string::npos);
}

}  // namespace
#endif

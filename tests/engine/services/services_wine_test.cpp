// Service control on Wine's real service control manager, with the module
// stand-in of testbed/ running as the five services.
#include <gtest/gtest.h>

#include "common/scratch_dir.h"
#include "common/testbed.h"
#include "engine/service_control.h"
#include "net/smtp_client.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "product/module_notification.h"
#include "product/product.h"
#include "product/server_modules.h"
#include "serverconfig/config_store.h"
#include "serverconfig/scramble.h"
#include "support/file_utils.h"
#include "support/system_utils.h"
#include "ui/headless.h"
#include "upgrade/upgrade_tasks.h"
// clang-format off
// After the headers above, which declare names that <windows.h> takes as macros.
#include <winsock2.h>
#include "platform/win32/windows_api.h"
// clang-format on

namespace {

using support::kServerModules;

constexpr char kIIS[] = "SMTPSVC";

// Waits at most ten seconds, polling every 20 ms.
template <typename Done>
bool WaitFor(Done done) {
  for (int i = 0; i < 500; ++i, platform::Sleep(20))
    if (done()) return true;
  return done();
}

uint32_t StateOf(const std::string& name) {
  platform::ServiceStatus status;
  return platform::QueryServiceStatus(name, status) == 0 ? status.State : 0;
}

// Stops, ends and deletes a service left by an earlier run.
void RemoveLeftover(const std::string& name) {
  platform::ServiceStatus status;
  if (platform::QueryServiceStatus(name, status) != 0) return;
  if (status.State != platform::kServiceStopped) {
    platform::StopService(name);
    if (!WaitFor([&] { return StateOf(name) == platform::kServiceStopped; }) &&
        platform::QueryServiceStatus(name, status) == 0 && status.ProcessId != 0)
      platform::TerminateProcess(status.ProcessId);
  }
  platform::DeleteService(name);
  WaitFor([&] { return platform::QueryServiceStatus(name, status) != 0; });
}

// The exit code a service reported with its state.
DWORD ExitCodeOf(const char* name) {
  SERVICE_STATUS status = {};
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager ? OpenServiceA(manager, name, SERVICE_QUERY_STATUS) : nullptr;
  if (service) QueryServiceStatus(service, &status);
  if (service) CloseServiceHandle(service);
  if (manager) CloseServiceHandle(manager);
  return status.dwWin32ExitCode;
}

// 127.0.0.1 port 25 held by the test, as another mail server would hold it.
class Port25 {
 public:
  Port25() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(25);
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(socket_, 1) != 0)
      Release();
  }
  ~Port25() {
    Release();
    WSACleanup();
  }
  bool Held() const { return socket_ != INVALID_SOCKET; }
  void Release() {
    if (Held()) closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }

 private:
  SOCKET socket_;
};

constexpr char kNoPort25[] = "127.0.0.1 port 25 cannot be bound here (in use, or not allowed)";

std::string StandinFolder() {
  return testing_support::BuildFolder(ORVIK_MODULES_DIR);
}

class WineServicesTest : public testing::Test {
 protected:
  void SetUp() override {
    support::InitServiceMode();
    ASSERT_TRUE(support::ServiceMode);
    Cleanup();
    state_.InstallDir = scratch_.Path() + "Orvik Test\\";
    ASSERT_TRUE(Deploy(state_.InstallDir));
    // Port 25 may be taken on this machine: the mail stand-ins leave it alone
    // unless a test asks for it.
    for (const char* exe : {"smtp.exe", "smtpsvc.exe"}) Behave(exe, "no-smtp\n");
  }
  void TearDown() override { Cleanup(); }
  // Services and the failure actions a test left held.
  static void Cleanup() {
    for (const auto& module : kServerModules) RemoveLeftover(module.ServiceName);
    RemoveLeftover(kIIS);
    platform::RegDeleteKeyTree(platform::RegRoot::LocalMachine,
                               std::string(setup::kProductKeyArea) + "\\" +
                                   setup::kProductKeySection + "\\" +
                                   engine::kHeldFailureActionsKey);
  }
  // The five stand-ins and the IIS one into a folder.
  static bool Deploy(const std::string& folder) {
    if (!support::CreateDirectoryPath(folder)) return false;
    for (const char* exe :
         {"smtp.exe", "pop3.exe", "control.exe", "im.exe", "cal.exe", "smtpsvc.exe"})
      if (!platform::CopyFile(StandinFolder() + exe, folder + exe, false)) return false;
    return true;
  }
  void Behave(const std::string& exe, const std::string& behaviour) {
    ASSERT_TRUE(testing_support::WriteFile(state_.InstallDir + exe + ".behaviour", behaviour));
  }
  std::string Log(const std::string& exe) {
    return testing_support::ReadFile(state_.InstallDir + exe + ".log");
  }
  static std::string Path(const std::string& folder, int index) {
    return "\"" + folder + kServerModules[index].Executable + "\"";
  }
  static std::string BinaryPath(const std::string& name) {
    platform::ServiceConfig config;
    return platform::QueryServiceConfig(name, config) == 0 ? config.BinaryPath : "";
  }
  bool AllRunning() {
    for (const auto& module : kServerModules)
      if (StateOf(module.ServiceName) != platform::kServiceRunning) return false;
    return true;
  }

  testing_support::ScratchDir scratch_;
  setup::TSetupState state_;
  ui::HeadlessUI ui_;
  engine::TServiceControl control_{state_, ui_};
};

TEST_F(WineServicesTest, FiveServicesAreCreatedQuotedStartedNotifiedAndStopped) {
  EXPECT_TRUE(control_.StopRunningServices());
  for (bool must : state_.MustCreate) EXPECT_TRUE(must);
  control_.InstallServices();
  for (int i = 0; i < support::kModuleCount; ++i)
    EXPECT_EQ(BinaryPath(kServerModules[i].ServiceName), Path(state_.InstallDir, i));
  ASSERT_TRUE(WaitFor([&] { return AllRunning(); }));
  control_.CheckStartedServices();
  EXPECT_TRUE(ui_.Boxes().empty());

  ASSERT_TRUE(upgrade::NotifyModule(support::kModuleControl, 0x500, 3, 7));
  EXPECT_TRUE(WaitFor([&] {
    return Log("control.exe").find("pipe 0010000000050000030000000700000000000000") !=
           std::string::npos;
  })) << Log("control.exe");

  EXPECT_TRUE(control_.StopRunningServices());
  for (const auto& module : kServerModules)
    EXPECT_EQ(StateOf(module.ServiceName), platform::kServiceStopped) << module.ServiceName;
  for (bool must : state_.MustCreate) EXPECT_FALSE(must);
  EXPECT_FALSE(upgrade::NotifyModule(support::kModuleControl, 0x500, 3, 7));  // stopped
  control_.RemoveAllStoppedServices();
  for (const auto& module : kServerModules) EXPECT_EQ(StateOf(module.ServiceName), 0u);
  EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(WineServicesTest, AModuleThatIgnoresStopIsEndedAndNoOtherControlExe) {
  // Another control.exe, of another folder, runs as a service of its own.
  std::string other = scratch_.Path() + "Other Folder\\";
  ASSERT_TRUE(Deploy(other));
  ASSERT_EQ(platform::CreateService({kIIS, "Other", "\"" + other + "control.exe\""}), 0u);
  ASSERT_EQ(platform::StartService(kIIS), 0u);
  Behave("control.exe", "ignore-stop\r\n");
  control_.InstallService(support::kModuleControl);
  control_.StartServer(support::kModuleControl);
  ASSERT_TRUE(WaitFor([] { return StateOf("OrvikControl") == platform::kServiceRunning; }));
  platform::ServiceStatus status;
  ASSERT_EQ(platform::QueryServiceStatus("OrvikControl", status), 0u);

  EXPECT_FALSE(control_.StopServer(support::kModuleControl));
  // Its process is gone (Wine's manager goes on reporting the service running),
  // and the other control.exe runs on.
  auto listed = [](uint32_t id) {
    std::vector<platform::ProcessInfo> processes;
    platform::ListProcesses(processes);
    for (const platform::ProcessInfo& p : processes)
      if (p.Id == id) return true;
    return false;
  };
  EXPECT_TRUE(WaitFor([&] { return !listed(status.ProcessId); }));
  platform::ServiceStatus survivor;
  ASSERT_EQ(platform::QueryServiceStatus(kIIS, survivor), 0u);
  EXPECT_EQ(survivor.State, platform::kServiceRunning);
  EXPECT_TRUE(listed(survivor.ProcessId));
  EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(WineServicesTest, ComponentsVersionAndStartTypesDecideWhatIsMadeAndStarted) {
  for (int i = 0; i < support::kModuleCount; ++i)
    ASSERT_EQ(platform::CreateService({kServerModules[i].ServiceName, kServerModules[i].DisplayName,
                                       Path(state_.InstallDir, i)}),
              0u);
  ASSERT_TRUE(testing_support::WriteFile(state_.InstallDir + "calendar.exe", "old"));
  state_.Components.NoInstallMail = true;
  state_.PreviousVersion = "8.1.6";
  state_.SavedStartTypes[support::kModuleIM] = platform::kStartDisabled;
  Behave("control.exe", "exit-at-start\r\n");

  EXPECT_TRUE(control_.StopRunningServices());
  for (const char* gone : {"OrvikSMTP", "OrvikPOP3", "OrvikCalendar"}) EXPECT_EQ(StateOf(gone), 0u);
  EXPECT_FALSE(platform::FileExists(state_.InstallDir + "calendar.exe"));
  control_.InstallServices();
  EXPECT_EQ(StateOf("OrvikSMTP"), 0u);
  EXPECT_EQ(StateOf("OrvikPOP3"), 0u);
  EXPECT_TRUE(WaitFor([] { return StateOf("OrvikCalendar") == platform::kServiceRunning; }));
  EXPECT_EQ(StateOf("OrvikIM"), platform::kServiceStopped);  // disabled before the upgrade
  size_t before = ui_.Boxes().size();
  control_.CheckStartedServices();
  ASSERT_EQ(ui_.Boxes().size(), before + 1);
  EXPECT_NE(ui_.Boxes().back().text.find("\r\nOrvik Control / Web / FTP\r\n\r\n"),
            std::string::npos)
      << ui_.Boxes().back().text;
  EXPECT_EQ(ui_.Boxes().back().text.find("Orvik IM"), std::string::npos);
}

TEST_F(WineServicesTest, AnotherRegisteredFolderMakesAllFiveAnew) {
  std::string old = scratch_.Path() + "Old Orvik\\";
  for (int i = 0; i < support::kModuleCount; ++i)
    ASSERT_EQ(platform::CreateService(
                  {kServerModules[i].ServiceName, kServerModules[i].DisplayName, Path(old, i)}),
              0u);
  state_.PreviousInstallDir = old;
  EXPECT_TRUE(control_.StopRunningServices());
  for (bool must : state_.MustCreate) EXPECT_TRUE(must);
  control_.InstallServices();
  for (int i = 0; i < support::kModuleCount; ++i)
    EXPECT_EQ(BinaryPath(kServerModules[i].ServiceName), Path(state_.InstallDir, i));
  EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(WineServicesTest, IISSMTPIsStoppedAndDisabledWhenOrvikSMTPCannotStart) {
  ASSERT_EQ(platform::CreateService({kIIS, "IIS SMTP", "\"" + state_.InstallDir + "smtpsvc.exe\""}),
            0u);
  ASSERT_EQ(platform::StartService(kIIS), 0u);
  ASSERT_TRUE(WaitFor([] { return StateOf(kIIS) == platform::kServiceRunning; }));
  Behave("smtp.exe", "exit-at-start\r\n");
  control_.InstallService(support::kModuleSMTP);
  control_.StartServer(support::kModuleSMTP);
  ASSERT_TRUE(WaitFor([] { return StateOf("OrvikSMTP") == platform::kServiceStopped; }));

  control_.CheckStartedServices();
  EXPECT_EQ(StateOf(kIIS), platform::kServiceStopped);
  EXPECT_EQ(control_.ServiceStartType(kIIS, false, 0), 4);
  // OrvikSMTP was started once more after IIS gave way.
  std::string log = Log("smtp.exe");
  EXPECT_NE(log.find("start"), log.rfind("start")) << log;
}

// An upgrade from 8.9.0: every version test reaches the five running modules
// through their pipes, and the last task's request reaches the web
// administration (control.exe), whose answer is deleted unread.
TEST_F(WineServicesTest, UpgradeTasksReachEveryModuleAndTheWebAdministration) {
  Behave("control.exe", "web-admin\n");
  EXPECT_TRUE(control_.StopRunningServices());
  control_.InstallServices();
  ASSERT_TRUE(WaitFor([&] { return AllRunning(); }));
  std::string port;
  ASSERT_TRUE(WaitFor([&] {
    const std::string log = Log("control.exe");
    const std::size_t at = log.find("web-admin port=");
    if (at != std::string::npos) port = log.substr(at + 15, log.find('\n', at) - at - 15);
    return !port.empty();
  })) << Log("control.exe");
  serverconfig::TFixedRecord settings(serverconfig::settings::kRecordSize);
  settings.SetWord(serverconfig::settings::kWebAdminPort, static_cast<uint16_t>(std::stoi(port)));
  ASSERT_TRUE(support::CreateDirectoryPath(state_.InstallDir + "config\\"));
  ASSERT_TRUE(testing_support::WriteFile(state_.InstallDir + "config\\settings.cfg",
                                         serverconfig::ScrambledCopy(settings)));
  auto answers = [] {
    std::vector<platform::DirEntry> entries;
    platform::ListDirectory(support::GetTempDirectory() + "*.tmp", entries);
    return entries.size();
  };
  const std::size_t answersBefore = answers();

  serverconfig::TConfigStore store;
  upgrade::RunUpgradeTasks(store, "8.9.0", state_.InstallDir);

  const std::string reload = "pipe 0010000000050000010100000000000000000000\n";
  for (const auto& module : kServerModules) {
    auto reloads = [&] {
      const std::string log = Log(module.Executable);
      int count = 0;
      for (std::size_t at = log.find(reload); at != std::string::npos;
           at = log.find(reload, at + 1))
        ++count;
      return count;
    };
    EXPECT_TRUE(WaitFor([&] { return reloads() == 26; }))
        << module.Executable << ": " << reloads() << " reloads";
  }
  EXPECT_NE(Log("control.exe")
                .find("http GET /admin/tools/convert_imap_rules.html HTTP/1.1 host=localhost:" +
                      port + "\n"),
            std::string::npos)
      << Log("control.exe");
  EXPECT_EQ(answers(), answersBefore);
  EXPECT_TRUE(control_.StopRunningServices());
}

// The demonstration message of a fresh installation goes to OrvikSMTP on
// 127.0.0.1 port 25; the stand-in keeps each message as it arrived.
TEST_F(WineServicesTest, OrvikSMTPTakesMailOnLoopbackPort25) {
  if (!Port25().Held()) GTEST_SKIP() << kNoPort25;
  Behave("smtp.exe", "");
  control_.InstallService(support::kModuleSMTP);
  control_.StartServer(support::kModuleSMTP);
  ASSERT_TRUE(WaitFor([] { return StateOf("OrvikSMTP") == platform::kServiceRunning; }));
  // Lines that begin with "." are doubled on the wire and come back as sent;
  // the shorter second message replaces the first. The data's end adds CR LF.
  for (const std::string message :
       {"Subject: dots\r\n\r\n.\r\n.one\r\n..two\r\nlast", "Subject: hi\r\n\r\nhi\r\n"}) {
    std::string error;
    ASSERT_TRUE(support::SendMail(error, "127.0.0.1:25", message, "", "", "",
                                  "admin@demo.test; postmaster@demo.test",
                                  "Demo User <user@demo.test>"))
        << error;
    EXPECT_EQ(testing_support::ReadFile(state_.InstallDir + "smtp.exe.eml"), message + "\r\n");
    EXPECT_NE(Log("smtp.exe")
                  .find("smtp from=user@demo.test to=admin@demo.test;postmaster@demo.test "
                        "bytes=" +
                        std::to_string(message.size() + 2) + "\n"),
              std::string::npos)
        << Log("smtp.exe");
  }
}

// Another mail server holds port 25: OrvikSMTP stops at once with that error,
// as setup's check after the start must see; once the port is free it starts.
TEST_F(WineServicesTest, OrvikSMTPStopsWhilePort25IsTaken) {
  Port25 taken;
  if (!taken.Held()) GTEST_SKIP() << kNoPort25;
  Behave("smtp.exe", "");
  control_.InstallService(support::kModuleSMTP);
  control_.StartServer(support::kModuleSMTP);
  EXPECT_TRUE(WaitFor([&] {
    return Log("smtp.exe").find("smtp port 25 in use\n") != std::string::npos;
  })) << Log("smtp.exe");
  EXPECT_TRUE(WaitFor([] { return StateOf("OrvikSMTP") == platform::kServiceStopped; }));
  EXPECT_EQ(ExitCodeOf("OrvikSMTP"), static_cast<DWORD>(WSAEADDRINUSE));

  taken.Release();
  control_.StartServer(support::kModuleSMTP);
  EXPECT_TRUE(WaitFor([] { return StateOf("OrvikSMTP") == platform::kServiceRunning; }));
  EXPECT_TRUE(ui_.Boxes().empty());
}

}  // namespace

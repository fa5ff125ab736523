// The install run on the stand-in machine: services, registry and shell held in
// memory, a virtual clock, a small package made here, and the demo message
// delivered to the test SMTP peer.
#ifndef _WIN32
#include "engine/install_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>

#include "archive/archive_builder.h"
#include "common/directory_link.h"
#include "common/file_faults.h"
#include "common/peers.h"
#include "common/scratch_dir.h"
#include "engine/file_deployment.h"
#include "engine/rollback.h"
#include "engine/uninstall.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/posix/posix_platform.h"
#include "platform/registry.h"
#include "product/destination.h"
#include "product/messages.h"
#include "product/server_modules.h"
#include "serverconfig/new_objects.h"
#include "simulator/simulator.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "support/system_utils.h"
#include "support/text_fields.h"
#include "translations/message_table.h"
#include "ui/headless.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;
using Files = std::map<std::string, std::string>;
namespace settings = serverconfig::settings;
namespace account = serverconfig::account;

constexpr char kProductKey[] = "\\Software\\Kestrun\\Orvik Mail Server";
constexpr char kDemoDomain[] = "demo.orvik.example";
constexpr char kProtectedLine[] =
    "Installation folder protected: owner Administrators, SYSTEM and Administrators full "
    "control, Users read and execute";

std::string Archive(const Files& files) {
  archive_test::ArchiveBuilder builder(3);
  for (const auto& [name, content] : files) builder.Add(name, content);
  return builder.AddEndMarker().Bytes();
}

// The files of a folder tree, by their names below it.
void Collect(const std::string& root, const std::string& sub, Files& files) {
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(root + sub + "*", entries);
  for (const auto& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    if (e.attributes & platform::kAttrDirectory)
      Collect(root, sub + e.name + "\\", files);
    else
      files[sub + e.name] = ReadFile(root + sub + e.name);
  }
}

std::string RegistryValue(const std::string& name) {
  platform::RegKey key;
  platform::RegValue value;
  if (!key.Open(platform::RegRoot::LocalMachine, kProductKey, false) || !key.ReadValue(name, value))
    return "";
  return value.data;
}

// The setup log's lines without their time stamps ("yyyy-mm-dd hh:nn:ss ").
std::vector<std::string> LogLines(const std::string& file) {
  std::vector<std::string> lines;
  const std::string text = ReadFile(file);
  for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    std::string line = text.substr(at, end - at);
    lines.push_back(line.empty() ? line : line.substr(20));
  }
  return lines;
}

// What the boxes said, for a failure's message.
std::string Said(const ui::HeadlessUI& ui) {
  std::string said;
  for (const auto& box : ui.Boxes()) said += box.caption + ": " + box.text + "\n";
  return said;
}

class InstallRunTest : public testing::Test {
 protected:
  void SetUp() override {
    platform::InstallClock(&clock_);
    support::ServiceMode = true;
    Reset("run");
  }
  // A machine without the server, and the package in a folder of its own.
  void Reset(const std::string& folder) {
    simulator::ClearRegistry();
    simulator::ClearModuleStandins();
    state_ = setup::TSetupState();
    root_ = scratch_.Path() + folder + "\\";
    package_ = root_ + "package\\";
    dir_ = root_ + "Orvik\\";
    // The journal lies in the Windows folder.
    simulator::SetSystemDirectories(root_ + "Temp\\", root_ + "Windows", "C:\\Windows\\System32");
    for (const char* folder : {"Temp\\", "Windows\\"})
      ASSERT_TRUE(support::CreateDirectoryPath(root_ + folder));
    MakePackage();
  }
  void TearDown() override {
    support::ServiceMode = false;
    platform::InstallClock(nullptr);
    simulator::SetSystemDirectories("", "C:\\Windows", "C:\\Windows\\System32");
    support::InitLog("", nullptr, 0, 0);
  }

  // The demo data as the package carries it: one domain with two users and a group.
  std::string DemoData() {
    const std::string stage = root_ + "stage\\";
    support::DeleteDirectory(stage, "", true);
    serverconfig::TConfigStore store;
    store.Dirs.InstallDir = stage;
    store.Dirs.ConfigDir = stage + "config\\";
    support::CreateDirectoryPath(store.Dirs.ConfigDir);
    store.LoadServerConfig(false, false);
    EXPECT_EQ(serverconfig::CreateDomain(store, kDemoDomain,
                                         serverconfig::NewDomainRecord("admin@demo"), ""),
              0);
    for (auto [user, kind] : {std::pair{"user", account::kUser}, std::pair{"admin", account::kUser},
                              std::pair{"staff", account::kGroup}}) {
      auto record = serverconfig::NewAccountRecord(kDemoDomain, user, "demo", kind);
      int index = -1;
      EXPECT_TRUE(store.Accounts.SaveAccount(kDemoDomain, record, index, ""));
    }
    store.SaveServerConfig(false);
    Files files;
    Collect(store.Dirs.ConfigDir, "", files);
    return Archive(files);
  }
  void MakePackage(const Files& extra = {}) {
    Files main = {{"kestruncom.dll", "com"},
                  {"cert.pem", "cert"},
                  {"webserver.dat", "<WEB/>"},
                  {"demo.dat", DemoData()},
                  {"im.exe", "im"},
                  {"cal.exe", "cal"},
                  {"spam\\challenge.mdb", "new challenge"},
                  {"spam\\rules\\local.cf", "new local"},
                  {"spam\\rules\\10.cf", "rules"},
                  {"calendar\\calendar.xml", "<CALENDAR/>"},
                  {"calendar\\calendar.mdb", "calendar"}};
    for (const char* name : engine::kCoreFiles) main[name] = name;
    main.insert(extra.begin(), extra.end());
    ASSERT_TRUE(support::CreateDirectoryPath(package_));
    ASSERT_TRUE(WriteFile(package_ + "setup.exe", "MZ setup"));
    ASSERT_TRUE(WriteFile(package_ + "setup.Dat", Archive(main)));
    ASSERT_TRUE(WriteFile(package_ + "setupweb.dat", Archive({{"html\\index.html", "<html/>"}})));
  }
  // An installation an earlier version left: configuration, services in the
  // given start types, and its registration.
  void Installed(const std::string& version, uint32_t imStartType, uint32_t smtpStartError = 0) {
    ASSERT_TRUE(support::CreateDirectoryPath(dir_ + "config\\"));
    for (int i = 0; i < support::kModuleCount; ++i) {
      simulator::StandinService s;
      if (i == support::kModuleSMTP) s.StartError = smtpStartError;
      s.Name = support::kServerModules[i].ServiceName;
      s.BinaryPath = "\"" + dir_ + support::kServerModules[i].Executable + "\"";
      s.StartType = i == support::kModuleIM ? imStartType : platform::kStartAutomatic;
      s.State = i == support::kModuleIM ? platform::kServiceStopped : platform::kServiceRunning;
      simulator::AddService(s);
    }
    platform::RegKey key;
    ASSERT_TRUE(key.Open(platform::RegRoot::LocalMachine, kProductKey, true));
    key.WriteString("Version", version);
    key.WriteString("InstallDir", dir_);
    state_.PreviousVersion = version;
    state_.PreviousInstallDir = dir_;
  }
  engine::Outcome Run(ui::UserInterface& ui, const std::string& destination = "") {
    engine::TInstallRun run(state_, ui, config_, package_ + "setup.exe");
    int port = testing_support::PeerPort("smtp-open");
    run.MailServer = "127.0.0.1:" + std::to_string(port ? port : 9);
    return run.Run(destination.empty() ? dir_ : destination);
  }
  uint32_t StartType(int module) {
    simulator::StandinService s;
    simulator::FindService(support::kServerModules[module].ServiceName, s);
    return s.StartType;
  }
  std::vector<std::string> Log() { return LogLines(dir_ + "logs\\setup\\setup.log"); }
  // Setup's own folders left in the installation folder.
  std::vector<std::string> OwnFolders() {
    std::vector<platform::DirEntry> entries;
    std::vector<std::string> own;
    platform::ListDirectory(dir_ + "~orvik-*", entries);
    for (const platform::DirEntry& entry : entries) own.push_back(entry.name);
    return own;
  }
  bool Logged(const std::string& start) {
    for (const std::string& line : Log())
      if (line.rfind(start, 0) == 0) return true;
    return false;
  }

  testing_support::ScratchDir scratch_;
  testing_support::FileFaults faults_;
  platform::VirtualClock clock_;
  std::string root_, package_, dir_;
  setup::TSetupState state_;
  serverconfig::TConfigStore config_;
  ui::HeadlessUI ui_;
};

TEST_F(InstallRunTest, AFreshInstallationLogsEveryStepAndSetsUpTheDemoServer) {
  const std::string mail = testing_support::PeerFile("smtp-mail/smtp-open.eml");
  const size_t mailBefore = ReadFile(mail).size();
  state_.FooterText = "Sent by Orvik";
  state_.Mode = setup::InterfaceMode::Basic;
  ASSERT_EQ(Run(ui_), engine::Outcome::Done) << Said(ui_);

  std::vector<std::string> log = Log();
  ASSERT_GT(log.size(), 8u);
  // The staging folder carries the run's identity.
  const std::string extractDir = log[2].substr(24, log[2].size() - 25);
  EXPECT_EQ(extractDir.rfind(dir_ + "~orvik-staging-", 0), 0u) << log[2];
  EXPECT_EQ(log[9].rfind("Point of no return: ", 0), 0u) << log[9];
  log.erase(log.begin() + 9);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "Started \"Orvik Mail Server\" 8.9.1 \"" + dir_ + "\"", kProtectedLine,
                     "Data file extracted to \"" + extractDir + "\"", "Checking running services",
                     "Services stopped", "Copying files...", "Copying files done",
                     "Creating demo accounts", "Installing services",
                     "Extracted data deleted \"" + extractDir + "\"", "Starting services",
                     "Finished", ""}));
  EXPECT_EQ(ui_.Progress(), ui::HeadlessUI::kProgressMax);
  EXPECT_TRUE(ui_.Boxes().empty());
  EXPECT_FALSE(platform::DirectoryExists(extractDir));
  EXPECT_EQ(RegistryValue("Version"), "8.9.1");
  EXPECT_EQ(RegistryValue(engine::kUpgradeFromValue), "");

  serverconfig::TConfigStore check;
  check.Dirs.InstallDir = dir_;
  check.Dirs.ConfigDir = dir_ + "config\\";
  ASSERT_TRUE(check.LoadServerConfig(false, false));
  EXPECT_EQ(check.Settings.Str(settings::kMailDir, settings::kDirSize), dir_ + "mail\\");
  EXPECT_EQ(check.Settings.Str(settings::kConsoleProfile, settings::kConsoleProfileSize),
            "basic.xml");
  EXPECT_EQ(check.Settings.Byte(settings::kFooterSwitch), 1);
  EXPECT_EQ(ReadFile(dir_ + "config\\footervalue.txt"), "Sent by Orvik");
  EXPECT_EQ(ReadFile(dir_ + "config\\tags.dat"), "\r\nfootervalue.txt\r\n\r\n\r\n10\r\n");
  // Users become demo accounts for a month; the group is left alone.
  serverconfig::TFixedRecord record(account::kRecordSize);
  for (int i = 0; i < 3; ++i) {
    check.Accounts.ReadAccount(kDemoDomain, record, i);
    bool user = record.Byte(account::kKind) == account::kUser;
    EXPECT_EQ(record.Byte(account::kDemoAccount), user ? 1 : 0) << i;
    EXPECT_EQ(record.Double(account::kDemoExpiry), user ? 46030 : 0) << i;
  }
  if (testing_support::PeerPort("smtp-open")) {
    const std::string received = ReadFile(mail).substr(mailBefore);
    EXPECT_NE(received.find("From: user@demo.orvik.example"), std::string::npos) << received;
    EXPECT_NE(received.find("To: admin@demo.orvik.example"), std::string::npos);
    EXPECT_NE(received.find("Subject: " + setup::DemoMsgSubject), std::string::npos);
  }
}

TEST_F(InstallRunTest, AnUpgradeKeepsTheServerAndItsDisabledServiceAndRunsTheProcedures) {
  Installed("8.5.3", platform::kStartDisabled);
  ASSERT_EQ(Run(ui_), engine::Outcome::Done) << Said(ui_);
  std::vector<std::string> log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Creating demo accounts"), 0);
  EXPECT_NE(std::find(log.begin(), log.end(), "Running upgrade procedures 8.5.3 -> 8.9.1"),
            log.end());
  // Enabled for the run, disabled again after it, and never started.
  EXPECT_EQ(StartType(support::kModuleIM), platform::kStartDisabled);
  for (const std::string& call : simulator::ServiceCallLog()) EXPECT_NE(call, "Start OrvikIM");
  EXPECT_TRUE(ui_.Boxes().empty());
  EXPECT_EQ(RegistryValue(engine::kUpgradeFromValue), "");
}

TEST_F(InstallRunTest, AModuleThatDoesNotStartIsReportedAndEndsTheRunWithItsOwnCode) {
  Installed("8.8.0", platform::kStartAutomatic, 1053);
  EXPECT_EQ(Run(ui_), engine::Outcome::ModulesDown);
  // The start's own warning, then the list of modules that are not running.
  ASSERT_EQ(ui_.Boxes().size(), 2u) << Said(ui_);
  EXPECT_EQ(ui_.Boxes()[1].text, support::FillMessage(setup::cNotRunning, {"Orvik SMTP\r\n"}));
  EXPECT_EQ(Log().end()[-2], "Finished");
}

TEST_F(InstallRunTest, ProceduresRunOnlyOverAnExistingConfiguration) {
  Installed("8.5.3", platform::kStartAutomatic);
  const std::string other = root_ + "Elsewhere\\";
  ASSERT_EQ(Run(ui_, other), engine::Outcome::Done) << Said(ui_);
  dir_ = other;
  for (const std::string& line : Log()) EXPECT_EQ(line.find("Running upgrade"), std::string::npos);
}

// Each way the run can end early: its exit, and the server as it was, its
// modules running again.
TEST_F(InstallRunTest, AnEndBeforeTheFinishLeavesTheServerAsItWas) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::vector<int> answers;
    engine::Outcome outcome;
    bool touched;  // services were stopped before the end
  };
  const Case cases[] = {
      {"damaged package",
       [this] { WriteFile(package_ + "setup.Dat", "ILDS broken"); },
       {},
       engine::Outcome::Fatal,
       false},
      {"missing web mail package",
       [this] { platform::DeleteFile(package_ + "setupweb.dat"); },
       {},
       engine::Outcome::Fatal,
       false},
      {"newer version registered",
       [this] { state_.PreviousVersion = "9.0.1"; },
       {ui::kIdNo},
       engine::Outcome::Fatal,
       false},
      // The program file replaced cannot be moved aside: another program holds it.
      {"copy error cancelled",
       [this] { faults_.Hold(dir_ + "db.dll"); },
       {ui::kIdCancel},
       engine::Outcome::Cancelled,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Reset(c.what);
    Installed("8.5.3", platform::kStartDisabled);
    WriteFile(dir_ + "db.dll", "old db");
    c.arrange();
    simulator::ClearServiceCallLog();
    ui::HeadlessUI ui;
    ui.ScriptAnswers(c.answers);
    EXPECT_EQ(Run(ui), c.outcome) << Said(ui);
    faults_.Clear();
    EXPECT_EQ(StartType(support::kModuleIM), platform::kStartDisabled);
    EXPECT_EQ(OwnFolders(), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(dir_ + "db.dll"), "old db");
    bool stopped = false;
    for (const std::string& call : simulator::ServiceCallLog())
      stopped |= call.rfind("Stop", 0) == 0;
    EXPECT_EQ(stopped, c.touched);
    for (int module = 0; module < support::kModuleCount; ++module) {
      simulator::StandinService service;
      ASSERT_TRUE(simulator::FindService(support::kServerModules[module].ServiceName, service));
      EXPECT_EQ(service.State, module == support::kModuleIM ? platform::kServiceStopped
                                                            : platform::kServiceRunning)
          << service.Name;
    }
    EXPECT_EQ(RegistryValue("Version"), "8.5.3");
    EXPECT_EQ(RegistryValue(engine::kUpgradeFromValue), "");
    const std::vector<std::string> log = Log();
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::string& line) {
                             return line.rfind("Error: Setup aborted", 0) == 0;
                           }),
              log.end());
    if (c.touched) {
      ASSERT_FALSE(log.empty());
      EXPECT_EQ(log.back().rfind("Previous installation restored", 0), 0u) << log.back();
    }
  }
}

// A run killed while it held the failure actions of the modules it stopped left
// them under the product key: the next run puts them back at its start, also
// when it then ends early.
TEST_F(InstallRunTest, FailureActionsAnEndedRunHeldArePutBack) {
  const platform::FailureActions admin{
      86400, "Restarting; soon", "C:\\fix.cmd /a", {{platform::kActionRestart, 60000}, {}}};
  Installed("8.5.3", platform::kStartAutomatic);
  ASSERT_EQ(platform::SetServiceFailureActions("OrvikSMTP", admin), 0u);
  {
    setup::TSetupState ended = state_;
    ended.InstallDir = dir_;
    engine::TServiceControl(ended, ui_).StopRunningServices();
  }
  platform::FailureActions actions;
  platform::QueryServiceFailureActions("OrvikSMTP", actions);
  ASSERT_TRUE(actions.Actions.empty());
  WriteFile(package_ + "setup.Dat", "ILDS broken");
  EXPECT_EQ(Run(ui_), engine::Outcome::Fatal);
  platform::QueryServiceFailureActions("OrvikSMTP", actions);
  EXPECT_EQ(actions, admin);
  EXPECT_FALSE(
      platform::RegKeyExists(platform::RegRoot::LocalMachine,
                             std::string(kProductKey) + "\\" + engine::kHeldFailureActionsKey));
}

TEST_F(InstallRunTest, AFolderThatBreaksTheRulesIsRefusedBeforeAnythingIsWritten) {
  for (const std::string& destination : {std::string("C:\\"), std::string("relative\\Orvik\\")}) {
    ui::HeadlessUI ui;
    EXPECT_EQ(Run(ui, destination), engine::Outcome::Fatal) << destination;
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_EQ(ui.Boxes()[0].caption, setup::cError);
  }
  EXPECT_FALSE(platform::DirectoryExists("C:\\logs\\"));
  EXPECT_FALSE(platform::RegKeyExists(platform::RegRoot::LocalMachine, kProductKey));
}

// A link could lead the installation anywhere: neither the folder nor one on
// its way may be one.
TEST_F(InstallRunTest, AFolderThatIsOrLiesBelowALinkIsRefusedWithNothingWritten) {
  const std::string target = root_ + "target\\";
  ASSERT_TRUE(support::CreateDirectoryPath(target + "Orvik\\"));
  if (!testing_support::MakeDirectoryLink(root_ + "link", root_ + "target"))
    GTEST_SKIP() << "no directory links here";
  for (const std::string& destination : {root_ + "link\\", root_ + "link\\Orvik\\"}) {
    ui::HeadlessUI ui;
    EXPECT_EQ(Run(ui, destination), engine::Outcome::Fatal) << destination;
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_NE(ui.Boxes()[0].text.find(destination), std::string::npos) << ui.Boxes()[0].text;
  }
  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDirectory(target + "Orvik\\*", entries));
  EXPECT_EQ(entries.size(), 2u);  // "." and ".."
  EXPECT_FALSE(platform::RegKeyExists(platform::RegRoot::LocalMachine, kProductKey));
}

// Checked while it did not exist, a folder on the way turns into a link while
// the installation folder is made: the folder as opened is somewhere else.
TEST_F(InstallRunTest, AFolderThatLeadsElsewhereOnceMadeIsRefused) {
  const std::string base = root_ + "base", elsewhere = root_ + "elsewhere";
  const std::string destination = base + "\\Orvik\\";
  ASSERT_TRUE(platform::CreateDirectory(elsewhere));
  bool swapped = false;
  platform::posix::SetFileFault(
      [&](platform::posix::FileChange change, const std::string& path, const std::string&) {
        if (change == platform::posix::FileChange::Create && !swapped &&
            setup::ComparableFolder(path) == setup::ComparableFolder(destination)) {
          swapped = rename(platform::posix::MapPath(base).c_str(),
                           platform::posix::MapPath(base + "-was").c_str()) == 0 &&
                    symlink(platform::posix::MapPath(elsewhere).c_str(),
                            platform::posix::MapPath(base).c_str()) == 0;
        }
        return 0;
      });
  ui::HeadlessUI ui;
  EXPECT_EQ(Run(ui, destination), engine::Outcome::Fatal);
  platform::posix::SetFileFault(nullptr);
  ASSERT_TRUE(swapped);
  ASSERT_EQ(ui.Boxes().size(), 1u);
  EXPECT_NE(ui.Boxes()[0].text.find("now leads to"), std::string::npos) << ui.Boxes()[0].text;
  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDirectory(elsewhere + "\\Orvik\\*", entries));
  EXPECT_EQ(entries.size(), 2u);  // made, but nothing written into it
  EXPECT_FALSE(platform::RegKeyExists(platform::RegRoot::LocalMachine, kProductKey));
}

TEST_F(InstallRunTest, ADeselectedComponentGoesButTheAntispamDataStays) {
  Installed("8.8.0", platform::kStartAutomatic);
  ASSERT_TRUE(support::CreateDirectoryPath(dir_ + "spam\\rules\\"));
  ASSERT_TRUE(WriteFile(dir_ + "spam\\challenge.mdb", "edited challenge"));
  ASSERT_TRUE(WriteFile(dir_ + "spam\\rules\\local.cf", "edited local"));
  state_.Components.NoInstallIAS = true;
  state_.Components.NoInstallIM = true;
  ASSERT_EQ(Run(ui_), engine::Outcome::Done) << Said(ui_);
  EXPECT_EQ(ReadFile(dir_ + "spam\\challenge.mdb"), "edited challenge");
  EXPECT_EQ(ReadFile(dir_ + "spam\\rules\\local.cf"), "edited local");
  EXPECT_FALSE(platform::FileExists(dir_ + "spam\\rules\\10.cf"));
  EXPECT_FALSE(platform::FileExists(dir_ + "im.exe"));
  EXPECT_TRUE(platform::FileExists(dir_ + "cal.exe"));
}

// A setup that finds the journal of a run that was killed rolls it back
// before anything else and says so in one box; without one it says nothing.
TEST_F(InstallRunTest, TheNextSetupRollsBackARunThatWasKilled) {
  Installed("8.5.3", platform::kStartAutomatic);
  WriteFile(dir_ + "db.dll", "old db");
  ui::HeadlessUI quiet;
  EXPECT_TRUE(engine::RecoverInterruptedRun(state_, quiet));
  EXPECT_TRUE(quiet.Boxes().empty());
  {
    engine::TInstallJournal killed(engine::TInstallJournal::DefaultPath());
    ASSERT_TRUE(killed.Begin(dir_));
    platform::RegKey key;
    ASSERT_TRUE(key.Open(platform::RegRoot::LocalMachine, kProductKey, true));
    key.WriteString("Version", "8.9.1");
    ASSERT_TRUE(killed.Replacing(dir_ + "db.dll"));
    WriteFile(dir_ + "db.dll", "new db");
  }  // no Finish: as a kill leaves it
  EXPECT_TRUE(engine::RecoverInterruptedRun(state_, ui_));
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_EQ(ui_.Boxes()[0].text, setup::cRestored);
  EXPECT_EQ(RegistryValue("Version"), "8.5.3");
  EXPECT_EQ(ReadFile(dir_ + "db.dll"), "old db");
  EXPECT_FALSE(platform::FileExists(engine::TInstallJournal::DefaultPath()));
}

// An administrator's page beside a package page that another program holds:
// the folder cannot be swapped, the page carried into the staged folder comes
// back file by file, the run is cancelled at the held page, and its rollback
// gives the page back.
TEST_F(InstallRunTest, ACarriedFileSurvivesTheFileByFileFallbackAndItsRollback) {
  Installed("8.5.3", platform::kStartAutomatic);
  ASSERT_TRUE(support::CreateDirectoryPath(dir_ + "html\\mail\\"));
  ASSERT_TRUE(WriteFile(dir_ + "html\\mail\\index.html", "old index"));
  ASSERT_TRUE(WriteFile(dir_ + "html\\mail\\custom.html", "the administrator's page"));
  faults_.Hold(dir_ + "html\\mail\\index.html");
  ui::HeadlessUI ui;
  ui.ScriptAnswers({ui::kIdCancel});
  EXPECT_EQ(Run(ui), engine::Outcome::Cancelled) << Said(ui);
  EXPECT_EQ(ReadFile(dir_ + "html\\mail\\custom.html"), "the administrator's page");
  EXPECT_EQ(ReadFile(dir_ + "html\\mail\\index.html"), "old index");
  EXPECT_TRUE(Logged("Previous installation restored"));
}

// A run cancelled at a held file whose rollback cannot undo everything (by
// then a program holds a file of the swapped-in html folder) deletes nothing,
// ends with 4, not 5, and keeps the journal and the run's folders; the next
// setup completes the rollback.
TEST_F(InstallRunTest, AnIncompleteRollbackEndsWithFourAndTheNextSetupCompletesIt) {
  MakePackage({{"html\\index.html", "new index"}});
  Installed("8.5.3", platform::kStartAutomatic);
  const Files before = {{"html\\index.html", "old index"},
                        {"html\\custom.html", "the administrator's page"},
                        {"calendar\\calendar.xml", "old calendar"}};
  for (const auto& [name, content] : before) {
    ASSERT_TRUE(support::CreateFileDirectory(dir_ + name));
    ASSERT_TRUE(WriteFile(dir_ + name, content));
  }
  faults_.StartAt(dir_ + "calendar\\calendar.xml");
  faults_.Hold(dir_ + "calendar\\calendar.xml");
  faults_.Hold(dir_ + "html\\index.html");
  ui::HeadlessUI ui;
  ui.ScriptAnswers({ui::kIdCancel});
  EXPECT_EQ(Run(ui), engine::Outcome::Fatal) << Said(ui);
  EXPECT_TRUE(Logged("Error: Rollback incomplete"));
  EXPECT_EQ(ReadFile(dir_ + "html\\custom.html"), "the administrator's page");
  EXPECT_EQ(ReadFile(dir_ + "html\\index.html"), "new index");
  EXPECT_TRUE(engine::TInstallJournal::Unfinished(engine::TInstallJournal::DefaultPath()));
  EXPECT_FALSE(OwnFolders().empty());
  faults_.Clear();
  ui::HeadlessUI next;
  EXPECT_TRUE(engine::RecoverInterruptedRun(state_, next)) << Said(next);
  for (const auto& [name, content] : before) EXPECT_EQ(ReadFile(dir_ + name), content) << name;
  EXPECT_EQ(OwnFolders(), std::vector<std::string>{});
}

// The disk fills up as the configuration is about to change in place: the
// original stays, the run ends with 4 and rolls back.
TEST_F(InstallRunTest, AFullDiskWhileTheConfigurationIsKeptEndsWithFourAndLosesNothing) {
  Installed("8.5.3", platform::kStartAutomatic);
  ASSERT_TRUE(WriteFile(dir_ + "config\\settings.cfg", "settings"));
  ASSERT_TRUE(WriteFile(dir_ + "config\\domains.cfg", "the domain list"));
  faults_.StartAt(dir_ + "config\\domains.cfg");
  faults_.FillDisk();
  EXPECT_EQ(Run(ui_), engine::Outcome::Fatal) << Said(ui_);
  faults_.Clear();
  EXPECT_EQ(ReadFile(dir_ + "config\\domains.cfg"), "the domain list");
  EXPECT_EQ(ReadFile(dir_ + "config\\settings.cfg"), "settings");
  EXPECT_TRUE(Logged("Error: Setup aborted - Setup cannot keep a copy of"));
  EXPECT_TRUE(Logged("Previous installation restored"));
  EXPECT_EQ(RegistryValue("Version"), "8.5.3");
}

// Folders an administrator named like setup's own are theirs: an upgrade, a
// rolled-back upgrade and the uninstall leave them alone.
TEST_F(InstallRunTest, FoldersNamedLikeSetupsOwnAreLeftAlone) {
  Installed("8.5.3", platform::kStartAutomatic);
  const Files mine = {{"~backup\\keep.txt", "kept backup"}, {"~staging\\keep.txt", "kept staging"}};
  for (const auto& [name, content] : mine) {
    ASSERT_TRUE(support::CreateFileDirectory(dir_ + name));
    ASSERT_TRUE(WriteFile(dir_ + name, content));
  }
  auto same = [&] {
    for (const auto& [name, content] : mine) EXPECT_EQ(ReadFile(dir_ + name), content) << name;
  };
  ASSERT_EQ(Run(ui_), engine::Outcome::Done) << Said(ui_);
  same();
  faults_.Hold(dir_ + "db.dll");
  ui::HeadlessUI cancel;
  cancel.ScriptAnswers({ui::kIdCancel});
  EXPECT_EQ(Run(cancel), engine::Outcome::Cancelled) << Said(cancel);
  faults_.Clear();
  same();
  engine::TUninstall uninstall(state_, ui_, dir_);
  uninstall.Uninstall(dir_);
  same();
}

// The uninstall link runs the installation's setup.exe, which a killed run had
// replaced: its recovery cannot delete the program it runs from, so it moves it
// aside, and the uninstall goes on in the same run.
TEST_F(InstallRunTest, ARecoveryRunFromTheSetupProgramItPutsBackCompletes) {
  Installed("8.5.3", platform::kStartAutomatic);
  ASSERT_TRUE(WriteFile(dir_ + "setup.exe", "MZ old setup"));
  {
    engine::TInstallJournal killed(engine::TInstallJournal::DefaultPath());
    ASSERT_TRUE(killed.Begin(dir_));
    ASSERT_TRUE(killed.Replacing(dir_ + "setup.exe"));
    ASSERT_TRUE(WriteFile(dir_ + "setup.exe", "MZ new setup"));
  }
  faults_.Run(dir_ + "setup.exe");
  EXPECT_TRUE(engine::RecoverInterruptedRun(state_, ui_)) << Said(ui_);
  EXPECT_EQ(ReadFile(dir_ + "setup.exe"), "MZ old setup");
  EXPECT_EQ(engine::TUninstall(state_, ui_, dir_).Uninstall(dir_), engine::Outcome::Done)
      << Said(ui_);
}

}  // namespace
#endif

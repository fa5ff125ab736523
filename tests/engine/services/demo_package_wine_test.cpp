// Deployment and registration of the demo package under Wine: the package that
// scripts/build.sh makes, the real file system, registry and shell. The run
// writes and removes the product's own key, where the service control keeps
// its held failure actions: these tests share the services tests' lock.
#include <gtest/gtest.h>

#include <functional>

#include "common/scratch_dir.h"
#include "common/shell_link_reader.h"
#include "common/testbed.h"
#include "engine/file_deployment.h"
#include "engine/system_registration.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "product/messages.h"
#include "product/server_modules.h"
#include "support/file_utils.h"
#include "support/system_utils.h"
#include "support/text_fields.h"
#include "ui/headless.h"

namespace {

using testing_support::ReadFile;

constexpr char kUninstallKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvik";
constexpr char kProductKey[] = "\\Software\\Kestrun\\Orvik Mail Server";

std::string DemoFolder() {
  return testing_support::BuildFolder(ORVIK_DEMO_DIR);
}

class CallbackUI : public ui::HeadlessUI {
 public:
  std::function<int()> onBox;
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    ui::HeadlessUI::MessageBox(text, caption, flags);
    return onBox();
  }
};

class DemoPackageTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::FileExists(DemoFolder() + "setup.Dat"))
        << "no demo package in " << DemoFolder() << ": scripts/build.sh all makes it";
    support::InitServiceMode();
    state_.InstallDir = scratch_.Path() + "Program Files\\Orvik\\";
    state_.ExtractDir = state_.InstallDir + "~orvik-staging-0\\";
    Cleanup();
  }
  void TearDown() override { Cleanup(); }
  void Cleanup() {
    platform::RegDeleteKeyTree(platform::RegRoot::LocalMachine, kUninstallKey);
    platform::RegDeleteKeyTree(platform::RegRoot::LocalMachine, kProductKey);
    std::string common = platform::SpecialFolderPath(platform::SpecialFolder::CommonPrograms);
    support::DeleteDirectory(common + "\\" + setup::cName + "\\", "", true);
    platform::DeleteFile(engine::GetDesktopFolder() + engine::LinkDescLine(0) + ".lnk");
  }
  // Stages the package, then deploys it, as the install run does.
  engine::Outcome Deploy(ui::UserInterface& ui) {
    engine::TInstallJournal journal("");  // not begun: nothing journaled
    engine::TFileDeployment deployment(state_, ui, DemoFolder() + "setup.exe", journal);
    engine::Outcome staged = deployment.StagePackage();
    return staged == engine::Outcome::Done ? deployment.DeployFiles() : staged;
  }
  std::string Installed(const std::string& name) { return ReadFile(state_.InstallDir + name); }

  testing_support::ScratchDir scratch_;
  setup::TSetupState state_;
  ui::HeadlessUI ui_;
};

TEST_F(DemoPackageTest, FreshDeploymentAndUpgradeKeepWhatTheInstallationOwns) {
  ASSERT_EQ(Deploy(ui_), engine::Outcome::Done);
  EXPECT_TRUE(ui_.Boxes().empty());
  for (const char* name : engine::kCoreFiles)
    EXPECT_TRUE(platform::FileExists(state_.InstallDir + name)) << name;
  for (const char* name :
       {"setup.exe", "kestruncom.dll", "im.exe", "cal.exe", "config\\cert.pem", "xml\\info.xml",
        "doc\\license.txt", "html\\mail\\index.html", "ldap\\slapd.conf", "php\\php.dll",
        "spam\\rules\\local.cf", "calendar\\calendar.mdb", "tutorial\\index.html",
        "avast\\setup\\setiface.dll", "control.exe.local"})
    EXPECT_TRUE(platform::FileExists(state_.InstallDir + name)) << name;
  std::string webServer = Installed("config\\webserver.dat");
  EXPECT_NE(webServer.find(state_.InstallDir), std::string::npos);
  EXPECT_EQ(webServer.find("%%"), std::string::npos);
  EXPECT_EQ(Installed("webmail\\config\\settings.dat").find("%%installpath%%"), std::string::npos);

  // The upgrade: what the installation owns stays byte for byte.
  const char* const owned[] = {"config\\cert.pem",       "config\\webserver.dat",
                               "spam\\challenge.mdb",    "spam\\rules\\local.cf",
                               "calendar\\calendar.mdb", "webmail\\config\\settings.dat",
                               "ldap\\slapd.conf",       "ldap\\ldbm\\id2entry.dbb"};
  for (const char* name : owned)
    ASSERT_TRUE(testing_support::WriteFile(state_.InstallDir + name, std::string("mine: ") + name));
  ASSERT_EQ(Deploy(ui_), engine::Outcome::Done);
  for (const char* name : owned) EXPECT_EQ(Installed(name), std::string("mine: ") + name);
  EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(DemoPackageTest, ATargetHeldOpenAsksRetryOrCancel) {
  ASSERT_EQ(Deploy(ui_), engine::Outcome::Done);
  // Held without sharing, as a running program of another kind would.
  std::string target = state_.InstallDir + "sendmail.exe";
  HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  CallbackUI ui;
  ui.onBox = [&] {
    CloseHandle(held);
    return ui::kIdRetry;
  };
  EXPECT_EQ(Deploy(ui), engine::Outcome::Done);
  ASSERT_EQ(ui.Boxes().size(), 1u);
  EXPECT_NE(ui.Boxes()[0].text.find("sendmail.exe"), std::string::npos);

  held = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ui.onBox = [] { return ui::kIdCancel; };
  engine::Outcome cancelled = Deploy(ui);
  CloseHandle(held);
  EXPECT_EQ(cancelled, engine::Outcome::Cancelled);
  EXPECT_EQ(engine::ExitCodeOf(cancelled), 5);
}

TEST_F(DemoPackageTest, RegistrationMakesOneGroupOfLinksAndAQuotedUninstallEntry) {
  ASSERT_EQ(Deploy(ui_), engine::Outcome::Done);
  state_.AddDesktop = true;
  engine::TInstallJournal journal("");  // not begun: nothing journaled
  engine::TSystemRegistration registration(state_, ui_, DemoFolder() + "setup.exe", journal);
  ASSERT_EQ(registration.RegisterSystem(0), engine::Outcome::Done);
  ASSERT_EQ(registration.RegisterSystem(0), engine::Outcome::Done);  // a second run

  std::string group = platform::SpecialFolderPath(platform::SpecialFolder::CommonPrograms) + "\\" +
                      setup::cName + "\\";
  std::vector<platform::DirEntry> links;
  ASSERT_TRUE(platform::ListDirectory(group + "*.lnk", links));
  EXPECT_EQ(links.size(), 9u);
  struct Expected {
    std::string link, target, arguments;
    int icon;
  };
  const std::string setupCopy = state_.InstallDir + "setup.exe";
  const Expected expected[] = {
      {engine::LinkDescLine(0), state_.InstallDir + "config.exe", "", 0},
      {setup::UninstallDesc, setupCopy, "/UNINSTALL", 1},
      {setup::cOrvikWebmail, setupCopy, "/WEBMAILLOGON", 2},
      {setup::cOrvikWebAdmin, setupCopy, "/WEBADMINLOGON", 2},
  };
  for (const Expected& e : expected) {
    testing_support::LinkFields fields;
    ASSERT_TRUE(testing_support::ReadLink(group + e.link + ".lnk", fields)) << e.link;
    EXPECT_TRUE(support::SameText(fields.target, e.target)) << fields.target;
    EXPECT_EQ(fields.arguments, e.arguments);
    EXPECT_EQ(fields.iconIndex, e.icon);
  }
  EXPECT_TRUE(platform::FileExists(engine::GetDesktopFolder() + engine::LinkDescLine(0) + ".lnk"));

  platform::RegKey entry;
  ASSERT_TRUE(entry.Open(platform::RegRoot::LocalMachine, kUninstallKey, false));
  for (const char* name :
       {"DisplayName", "UninstallString", "DisplayIcon", "DisplayVersion", "InstallLocation",
        "NoModify", "NoRepair", "Publisher", "URLInfoAbout"}) {
    platform::RegValue value;
    ASSERT_TRUE(entry.ReadValue(name, value)) << name;
    EXPECT_EQ(value.type, platform::RegType::String) << name;
  }
  platform::RegValue uninstall;
  ASSERT_TRUE(entry.ReadValue("UninstallString", uninstall));
  EXPECT_EQ(uninstall.data, "\"" + setupCopy + "\" /UNINSTALL");

  // A group name that would leave its folder deletes and creates nothing.
  setup::cName = "..";
  EXPECT_EQ(registration.RegisterSystem(0), engine::Outcome::Done);
  setup::RestoreDefaultMessages();
  EXPECT_TRUE(platform::FileExists(group + setup::UninstallDesc + ".lnk"));
  EXPECT_TRUE(platform::DirectoryExists(
      platform::SpecialFolderPath(platform::SpecialFolder::CommonPrograms)));
}

}  // namespace

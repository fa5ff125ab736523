// Start-up and the run modes of the application, on the stand-in registry and
// shell, with the package beside a program in a scratch folder.
#ifndef _WIN32
#include "setup/startup.h"

#include <gtest/gtest.h>

#include "common/scratch_dir.h"
#include "engine/install_run.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "product/messages.h"
#include "setup/application.h"
#include "simulator/simulator.h"
#include "support/log_writer.h"
#include "ui/forms.h"
#include "ui/headless.h"

namespace setup {
namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr char kProductKey[] = "\\Software\\Kestrun\\Orvik Mail Server";

void WriteProductKey(const std::vector<std::pair<std::string, std::string>>& values) {
  platform::RegKey key;
  ASSERT_TRUE(key.Open(platform::RegRoot::LocalMachine, kProductKey, true));
  for (const auto& [name, value] : values) key.WriteString(name, value);
}

class StartupTest : public testing::Test {
 protected:
  void SetUp() override {
    simulator::ClearRegistry();
    simulator::ClearShellExecuteLog();
    simulator::ReleaseSingleInstances();
    for (const char* file : {"setup.Dat", "setupweb.dat"})
      ASSERT_TRUE(WriteFile(folder_ + file, "ILDS"));
  }
  void TearDown() override { support::CopySetupLogTo(""); }

  int RunApplication(const std::vector<std::string>& args) {
    return application_.Run(args, ui_, folder_ + "setup.exe");
  }
  // Start-up alone, as far as its presets.
  std::optional<int> RunStartup(const std::vector<std::string>& args) {
    application_.CreateForms();
    TStartup startup(application_.State, ui_, application_.Config, *application_.MainForm,
                     folder_ + "setup.exe");
    return startup.Run(ParseCommandLine(args));
  }

  testing_support::ScratchDir scratch_;
  std::string folder_ = scratch_.Path();
  TSetupApplication application_;
  ui::HeadlessUI ui_;
};

// How each command line ends when there is nothing to install.
TEST_F(StartupTest, EveryRunModeEndsWithItsExitCode) {
  struct Case {
    std::vector<std::string> args;
    std::vector<int> answers;
    int exitCode;
    size_t boxes;
  };
  const Case cases[] = {
      {{"/bogus"}, {}, 0, 0},
      {{"/VERYSILENT", "/bogus"}, {}, 2, 0},
      {{"/COMPONENTS=mail,fax"}, {}, 2, 0},
      {{"/?"}, {}, 0, 1},
      {{}, {ui::kIdNo}, 0, 1},                    // the install question answered No
      {{"/UNINSTALL"}, {ui::kIdNo}, 0, 1},        // the uninstall question answered No
      {{"/UNINSTALL", "/VERYSILENT"}, {}, 4, 1},  // not an installation: refused
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(none)"
                                : c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    SetUp();
    ui_ = ui::HeadlessUI();
    ui_.ScriptAnswers(c.answers);
    EXPECT_EQ(RunApplication(c.args), c.exitCode);
    EXPECT_EQ(ui_.Boxes().size(), c.boxes);
    EXPECT_FALSE(platform::RegKeyExists(platform::RegRoot::LocalMachine, kProductKey));
  }
}

// Without a screen a question would take its default unseen: only what asks
// nothing runs; the rest ends with 4 and tells to use /VERYSILENT.
TEST_F(StartupTest, WithoutAScreenOnlyWhatAsksNothingRuns) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
  } cases[] = {
      {{}, 4},     {{"/SILENT"}, 4},       {{"/UNINSTALL"}, 4}, {{"/DIR=C:\\Orvik\\"}, 4},
      {{"/?"}, 0}, {{"/WEBMAILLOGON"}, 0}, {{"/bogus"}, 0},     {{"-exportlanguage"}, 0},
  };
  const std::string log = folder_ + "run.log";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
    SetUp();
    ui_ = ui::HeadlessUI();
    platform::DeleteFile(log);
    std::vector<std::string> args = c.args;
    args.push_back("/LOG=" + log);
    application_.WithoutScreen = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunApplication(args), c.exitCode);
    const std::string error = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ui_.Boxes().empty());
    const bool told = c.exitCode == 4;
    EXPECT_EQ(error.find("use /VERYSILENT") != std::string::npos, told) << error;
    EXPECT_EQ(ReadFile(log).find("use /VERYSILENT") != std::string::npos, told);
    EXPECT_FALSE(platform::RegKeyExists(platform::RegRoot::LocalMachine, kProductKey));
  }
}

TEST_F(StartupTest, AnUnknownArgumentEndsBeforeTheRegistryIsMigrated) {
  platform::RegKey old;
  ASSERT_TRUE(
      old.Open(platform::RegRoot::LocalMachine, "\\Software\\Orvik\\Orvik Mail Server", true));
  ASSERT_TRUE(old.WriteString("Version", "7.0"));
  EXPECT_EQ(RunApplication({"/bogus"}), 0);
  EXPECT_FALSE(platform::RegKeyExists(platform::RegRoot::LocalMachine, "\\Software\\Kestrun"));
}

TEST_F(StartupTest, ABadUnattendedCommandLineIsLoggedToTheLogFile) {
  const std::string log = folder_ + "run.log";
  EXPECT_EQ(RunApplication({"/VERYSILENT", "/LOG=" + log, "/DIR=C:\\Orvik\\", "/FORCE"}), 2);
  EXPECT_NE(ReadFile(log).find("Error: Setup aborted - bad command line: unknown switch: /FORCE"),
            std::string::npos)
      << ReadFile(log);
}

TEST_F(StartupTest, AMissingPackageIsFatal) {
  platform::DeleteFile(folder_ + "setupweb.dat");
  EXPECT_EQ(RunApplication({"/VERYSILENT"}), 4);
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_EQ(ui_.Boxes()[0].text, cSetupError);
}

TEST_F(StartupTest, ASecondSetupEndsAtOnce) {
  ASSERT_TRUE(platform::ClaimSingleInstance(kSingleInstanceName));
  EXPECT_EQ(RunApplication({"/SILENT"}), 4);
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_NE(ui_.Boxes()[0].text.find("already running"), std::string::npos);
}

TEST_F(StartupTest, WebLogOnOpensTheConfiguredAddress) {
  EXPECT_EQ(RunApplication({"/webmaillogon"}), 0);
  EXPECT_EQ(RunApplication({"/WEBADMINLOGON"}), 0);
  EXPECT_EQ(simulator::ShellExecuteLog(),
            (std::vector<std::string>{"open|http://localhost:32000/mail/||",
                                      "open|http://localhost:32000/admin/||"}));
}

TEST_F(StartupTest, AFreshInstallationGoesUnderTheProgramFolder) {
  ASSERT_TRUE(WriteFile(folder_ + "info.xml",
                        "<INFO><FOOTERVALUE>Footer</FOOTERVALUE><INTEFACEMODE>2</INTEFACEMODE>"
                        "<PREFIX>demo</PREFIX></INFO>"));
  EXPECT_EQ(RunStartup({"/SILENT"}), std::nullopt);
  const TSetupState& state = application_.State;
  EXPECT_EQ(state.InstallDir, "C:\\Program Files\\Orvik\\");
  EXPECT_EQ(application_.MainForm->Get("PathEdit").Caption(), state.InstallDir);
  EXPECT_EQ(state.FooterText, "Footer");
  EXPECT_EQ(application_.Config.ProductPrefix, "demo");
  EXPECT_EQ(state.Mode, InterfaceMode::Advanced);
  EXPECT_TRUE(state.AddDesktop);
  EXPECT_EQ(state.PreviousVersion, "");
  EXPECT_EQ(state.WindowCaption, "Orvik Mail Server 8.9.1 Setup");
}

TEST_F(StartupTest, AnUpgradeTakesTheRegisteredInstallation) {
  struct Case {
    std::string version, pending;
    std::string previous;
    bool pre827;
  };
  const Case cases[] = {{"8.2.6", "", "8.2.6", true},
                        {"8.2.7-1", "", "8.2.7-1", false},
                        // A run that ended early left its procedures due.
                        {"8.9.1", "8.5.3", "8.5.3", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    SetUp();
    std::vector<std::pair<std::string, std::string>> values = {{"Version", c.version},
                                                               {"InstallDir", "D:\\Mail\\"}};
    if (!c.pending.empty()) values.push_back({engine::kUpgradeFromValue, c.pending});
    WriteProductKey(values);
    support::TAdvancedRegistry product = ProductRegistry();
    product.WriteBool("NoInstallIM", true);
    application_.State = TSetupState();
    EXPECT_EQ(RunStartup({"/SILENT"}), std::nullopt);
    const TSetupState& state = application_.State;
    EXPECT_EQ(state.InstallDir, "D:\\Mail\\");
    EXPECT_EQ(state.PreviousVersion, c.previous);
    EXPECT_EQ(state.UpgradeFromPre827, c.pre827);
    EXPECT_TRUE(state.Components.NoInstallIM);
    EXPECT_FALSE(state.Components.NoInstallMail);
    EXPECT_FALSE(state.AddDesktop);
  }
}

}  // namespace
}  // namespace setup
#endif

// The run mode and the unattended switches of the command line.
#include "setup/command_line.h"

#include <gtest/gtest.h>

namespace {

using setup::RunMode;

TEST(CommandLineTest, TheFirstArgumentThatIsNoUnattendedSwitchSelectsTheMode) {
  struct Case {
    std::vector<std::string> args;
    RunMode mode;
  };
  const Case cases[] = {
      {{}, RunMode::Wizard},
      {{"/silent"}, RunMode::Silent},
      {{"/x", "/SILENT"}, RunMode::Unknown},  // only the first counts
      {{"/UnInstall"}, RunMode::Uninstall},
      {{"/WEBMAILLOGON"}, RunMode::WebMailLogOn},
      {{"/webadminlogon", "more"}, RunMode::WebAdminLogOn},
      {{"/?"}, RunMode::Help},
      {{"setup.Dat"}, RunMode::Unknown},
      {{"/NOICONS", "/UNINSTALL"}, RunMode::Uninstall},
      {{"/SILENT", "-EXPORTLANGUAGE"}, RunMode::ExportLanguage},
      {{"/exportLanguage"}, RunMode::ExportLanguage},
      {{"exportlanguage"}, RunMode::Unknown},
      {{"/VERYSILENT"}, RunMode::Wizard},
      {{"/UNINSTALL", "/VERYSILENT"}, RunMode::Uninstall},
      {{"/VERYSILENT", "/typo"}, RunMode::BadCommandLine},
      {{"/VERYSILENT", "/SILENT", "/typo"}, RunMode::BadCommandLine},
      {{"/DIR="}, RunMode::BadCommandLine},
      {{"/LOG="}, RunMode::BadCommandLine},
      {{"/COMPONENTS=mail,web"}, RunMode::BadCommandLine},
      {{"/COMPONENTS="}, RunMode::BadCommandLine},
      {{"/VERYSILENT", "/Config=C:\\a.ini"}, RunMode::Wizard},
      {{"/CONFIG=C:\\a.ini"}, RunMode::BadCommandLine},  // only without questions
      {{"/VERYSILENT", "/CONFIG="}, RunMode::BadCommandLine},
      {{"/UNINSTALL", "/VERYSILENT", "/CONFIG=C:\\a.ini"}, RunMode::BadCommandLine},
      // What deployment tools pass beside /VERYSILENT is understood.
      {{"/VERYSILENT", "/SUPPRESSMSGBOXES", "/norestart", "/SP-", "/CLOSEAPPLICATIONS"},
       RunMode::Wizard},
      {{"/UNINSTALL", "/VERYSILENT", "/SUPPRESSMSGBOXES", "/NORESTART"}, RunMode::Uninstall},
      {{"/VERYSILENT", "/SP"}, RunMode::BadCommandLine},
  };
  for (const Case& c : cases) {
    setup::CommandLine line = setup::ParseCommandLine(c.args);
    std::string args;
    for (const std::string& a : c.args) args += a + " ";
    EXPECT_EQ(line.Mode, c.mode) << args;
    EXPECT_EQ(line.Error.empty(), c.mode != RunMode::BadCommandLine) << args;
  }
}

// A word that held a character the code page cannot hold is not what was
// typed ("?" stands for it): the command line is bad, whatever it asks.
TEST(CommandLineTest, AnUnconvertibleArgumentMakesAnyCommandLineBad) {
  const std::vector<std::string> lines[] = {
      {"/VERYSILENT", "/DIR=C:\\x?"}, {"/SILENT", "/LOG=?"}, {"/x?"}, {"/exportlanguage", "?"}};
  for (const std::vector<std::string>& args : lines) {
    const setup::CommandLine line = setup::ParseCommandLine(args, {args.back()});
    EXPECT_EQ(line.Mode, RunMode::BadCommandLine) << args.back();
    EXPECT_NE(line.Error.find(args.back()), std::string::npos) << line.Error;
  }
}

TEST(CommandLineTest, UnattendedSwitchesCarryTheirValues) {
  setup::CommandLine line = setup::ParseCommandLine(
      {"/verysilent", "/Dir=C:\\Mail Server\\", "/COMPONENTS=Mail, im,antispam", "/NOICONS",
       "/LOG=C:\\setup log.txt", "/CONFIG=C:\\answers.ini"});
  ASSERT_EQ(line.Mode, RunMode::Wizard);
  const setup::UnattendedOptions& o = line.Unattended;
  EXPECT_TRUE(o.VerySilent);
  EXPECT_TRUE(o.NoIcons);
  EXPECT_EQ(o.Dir, "C:\\Mail Server\\");
  EXPECT_EQ(o.LogFile, "C:\\setup log.txt");
  EXPECT_EQ(o.AnswersFile, "C:\\answers.ini");
  ASSERT_TRUE(o.Components.has_value());
  const setup::ComponentFlags& f = *o.Components;
  EXPECT_FALSE(f.NoInstallMail || f.NoInstallIM || f.NoInstallIAS);
  EXPECT_TRUE(f.NoInstallControl && f.NoInstallAV && f.NoInstallCalendar);
  // Without the switch the preset choice stays.
  EXPECT_FALSE(setup::ParseCommandLine({"/VERYSILENT"}).Unattended.Components.has_value());
}

}  // namespace

// File deployment on the real file layer: a package beside the setup program,
// staged below the installation folder and moved into place, message boxes
// scripted.
#include "engine/file_deployment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "archive/archive_builder.h"
#ifndef _WIN32
#include "simulator/simulator.h"
#endif
#include "common/directory_link.h"
#include "common/scratch_dir.h"
#include "common/testbed.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "product/messages.h"
#include "registration/odbc_data_sources.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "translations/message_table.h"
#include "ui/headless.h"

namespace {

using testing_support::ReadFile;
using Files = std::map<std::string, std::string>;

void Write(const std::string& root, const Files& files) {
  for (const auto& [name, content] : files) {
    ASSERT_TRUE(support::CreateFileDirectory(root + name)) << name;
    ASSERT_TRUE(testing_support::WriteFile(root + name, content)) << name;
  }
}

std::string Archive(const Files& files) {
  archive_test::ArchiveBuilder builder(3);
  for (const auto& [name, content] : files) builder.Add(name, content);
  return builder.AddEndMarker().Bytes();
}

// Answers every box through a callback, which may also change the world.
class CallbackUI : public ui::HeadlessUI {
 public:
  std::function<int()> onBox;
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    ui::HeadlessUI::MessageBox(text, caption, flags);
    return onBox ? onBox() : ui::kIdCancel;
  }
};

class FileDeploymentTest : public testing::Test {
 protected:
  void SetUp() override {
    state_.InstallDir = scratch_.Path() + "Program Files\\Orvik\\";
    state_.ExtractDir = state_.InstallDir + "~orvik-staging-0\\";
    setupFolder_ = scratch_.Path() + "package\\";
    log_ = scratch_.Path() + "setup.log";
    support::InitLog(log_, nullptr, 0, 0);
    Files package = {{"kestruncom.dll", "com"},
                     {"cert.pem", "package cert"},
                     {"webserver.dat", "<root>%%installpath%%</root>\n<temp>%%temppath%%</temp>"},
                     {"doc\\manual.chm", "manual"},
                     {"spam\\challenge.mdb", "package challenge"},
                     {"spam\\template\\t.txt", "template"},
                     {"spam\\rules\\1base.cf", "package rules"},
                     {"spam\\rules\\local.cf", "package local"},
                     {"calendar\\calendar.xml", "package calendar.xml"},
                     {"calendar\\calendar.mdb", "package calendar"},
                     {"calendar\\holidays\\h.txt", "holidays"},
                     {"xml\\basic.xml", "<basic/>"}};
    for (const char* name : engine::kCoreFiles) package[name] = std::string("new ") + name;
    Write(setupFolder_, {{"setup.exe", "MZ setup"},
                         {"setup.Dat", Archive(package)},
                         {"setupweb.dat", Archive({{"settings.dat", "path=%%installpath%%"},
                                                   {"html\\index.html", "<html/>"},
                                                   {"web.php", "php"}})}});
  }
  void TearDown() override { support::InitLog("", nullptr, 0, 0); }

  engine::TFileDeployment Deployment(ui::UserInterface& ui) {
    return engine::TFileDeployment(state_, ui, setupFolder_ + "setup.exe", journal_);
  }
  // Stages the package, then deploys it, as the install run does.
  engine::Outcome Deploy(ui::UserInterface& ui) {
    engine::TFileDeployment deployment = Deployment(ui);
    engine::Outcome staged = deployment.StagePackage();
    return staged == engine::Outcome::Done ? deployment.DeployFiles() : staged;
  }
  std::string Installed(const std::string& name) { return ReadFile(state_.InstallDir + name); }

  testing_support::ScratchDir scratch_;
  setup::TSetupState state_;
  engine::TInstallJournal journal_{scratch_.Path() + "journal"};  // not begun: nothing journaled
  std::string setupFolder_;
  std::string log_;
  ui::HeadlessUI ui_;
};

TEST_F(FileDeploymentTest, AFreshInstallationGetsEveryPartInItsPlace) {
  EXPECT_EQ(Deploy(ui_), engine::Outcome::Done);
  EXPECT_TRUE(ui_.Boxes().empty());
  for (const char* name : engine::kCoreFiles)
    EXPECT_EQ(Installed(name), std::string("new ") + name);
  EXPECT_EQ(Installed("setup.exe"), "MZ setup");
  EXPECT_EQ(Installed("config\\cert.pem"), "package cert");
  EXPECT_EQ(Installed("config\\webserver.dat"), "<root>" + state_.InstallDir + "</root>\r\n<temp>" +
                                                    support::GetWindowsDirectoryPath() +
                                                    "temp\\</temp>\r\n");
  EXPECT_EQ(Installed("webmail\\config\\settings.dat"), "path=" + state_.InstallDir + "\r\n");
  EXPECT_EQ(Installed("html\\mail\\index.html"), "<html/>");
  EXPECT_EQ(Installed("webmail\\web.php"), "php");
  EXPECT_FALSE(platform::FileExists(state_.InstallDir + "webmail\\settings.dat"));
  EXPECT_FALSE(platform::DirectoryExists(state_.ExtractDir + "webmail"));
  // Moved, not copied: folders the installation lacked went over whole.
  EXPECT_FALSE(platform::FileExists(state_.ExtractDir + "smtp.exe"));
  EXPECT_FALSE(platform::DirectoryExists(state_.ExtractDir + "calendar"));
  EXPECT_TRUE(platform::FileExists(state_.InstallDir + "control.exe.local"));
  EXPECT_EQ(Installed("spam\\rules\\local.cf"), "package local");
  EXPECT_EQ(Installed("spam\\rules\\1base.cf"), "package rules");
  EXPECT_EQ(Installed("calendar\\holidays\\h.txt"), "holidays");
  EXPECT_EQ(ui_.Progress(), engine::TFileDeployment::kStagingSteps + 2);
  EXPECT_TRUE(state_.WebMailDeployed);
  EXPECT_EQ(ui_.StatusHistory(),
            (std::vector<std::string>{setup::cInstallFiles, setup::cInstallingWeb}));
  // Unpacking shows its archive, and its bytes out of those of every staged archive.
  ASSERT_FALSE(ui_.WorkShown().empty());
  EXPECT_EQ(ui_.WorkShown()[0].Item, "setup.Dat");
  for (const ui::HeadlessUI::Work& work : ui_.WorkShown())
    if (work.Total != 0) {
      EXPECT_EQ(work.Total, Deployment(ui_).PackedBytes());
      EXPECT_LE(work.Done, work.Total);
    }
}

TEST_F(FileDeploymentTest, AnUpgradeKeepsWhatTheInstallationOwns) {
  const Files owned = {{"config\\cert.pem", "my cert"},
                       {"config\\webserver.dat", "my web server"},
                       {"spam\\challenge.mdb", "my challenges"},
                       {"spam\\rules\\local.cf", "my rules"},
                       {"spam\\rules\\7mine.cf", "my seventh"},
                       {"calendar\\calendar.mdb", "my calendar"},
                       {"webmail\\config\\settings.dat", "my web mail"}};
  Write(state_.InstallDir, owned);
  Write(state_.InstallDir, {{"spam\\rules\\2old.cf", "old rules"},
                            {"db.ini", "old layout"},
                            {"smtp.exe", "old"},
                            {"doc\\notes.txt", "the administrator's"}});
  ASSERT_TRUE(platform::SetFileAttributes(state_.InstallDir + "smtp.exe", platform::kAttrReadOnly));

  EXPECT_EQ(Deploy(ui_), engine::Outcome::Done);
  EXPECT_TRUE(ui_.Boxes().empty());
  for (const auto& [name, content] : owned) EXPECT_EQ(Installed(name), content) << name;
  EXPECT_FALSE(platform::FileExists(state_.InstallDir + "spam\\rules\\2old.cf"));
  EXPECT_EQ(Installed("spam\\rules\\1base.cf"), "package rules");
  EXPECT_EQ(Installed("config\\db.ini"), "old layout");
  EXPECT_EQ(Installed("smtp.exe"), "new smtp.exe");  // read-only, replaced without a box
  EXPECT_EQ(Installed("calendar\\calendar.xml"), "package calendar.xml");
  // Moved into a folder the installation has: its other files stay.
  EXPECT_EQ(Installed("doc\\manual.chm"), "manual");
  EXPECT_EQ(Installed("doc\\notes.txt"), "the administrator's");
}

// doc\ swapped for a link to another folder: the link goes, the package's
// folder takes its place, and nothing moves in from, or out of, the folder it
// pointed to.
TEST_F(FileDeploymentTest, AProgramFolderThatIsALinkIsSetAsideNotWalked) {
  const std::string outside = scratch_.Path() + "Documents\\";
  Write(outside, {{"secret.txt", "the administrator's"}, {"manual.chm", "theirs"}});
  ASSERT_TRUE(support::CreateDirectoryPath(state_.InstallDir));
  if (!testing_support::MakeDirectoryLink(state_.InstallDir + "doc", outside))
    GTEST_SKIP() << "no directory links here";
  EXPECT_EQ(Deploy(ui_), engine::Outcome::Done);
  EXPECT_EQ(ReadFile(outside + "secret.txt"), "the administrator's");
  EXPECT_EQ(ReadFile(outside + "manual.chm"), "theirs");
  EXPECT_FALSE(platform::GetFileAttributes(state_.InstallDir + "doc") &
               platform::kAttrReparsePoint);
  EXPECT_EQ(Installed("doc\\manual.chm"), "manual");
  EXPECT_FALSE(platform::FileExists(state_.InstallDir + "doc\\secret.txt"));
}

TEST_F(FileDeploymentTest, ACopyErrorAsksRetryOrCancel) {
  // A folder where the file should go: the copy fails until it is gone.
  std::string blocker = state_.InstallDir + "pop3.exe\\";
  ASSERT_TRUE(support::CreateDirectoryPath(blocker));
  CallbackUI ui;
  ui.onBox = [&] {
    platform::RemoveDirectory(blocker);
    return ui::kIdRetry;
  };
  EXPECT_EQ(Deploy(ui), engine::Outcome::Done);
  ASSERT_EQ(ui.Boxes().size(), 1u);
  std::string reason = platform::SystemErrorText(5);
  EXPECT_EQ(ui.Boxes()[0].text, support::FillMessage(setup::cErrorFile, {"pop3.exe", reason}));
  EXPECT_EQ(ui.Boxes()[0].flags, ui::kRetryCancel | ui::kIconError | ui::kTaskModal);
  EXPECT_EQ(Installed("pop3.exe"), "new pop3.exe");

  ASSERT_TRUE(platform::DeleteFile(state_.InstallDir + "pop3.exe"));
  ASSERT_TRUE(platform::DeleteFile(state_.InstallDir + "control.exe.local"));
  ASSERT_TRUE(support::CreateDirectoryPath(blocker));
  ui.onBox = [] { return ui::kIdCancel; };
  EXPECT_EQ(Deploy(ui), engine::Outcome::Cancelled);
  EXPECT_FALSE(platform::FileExists(state_.InstallDir + "control.exe.local"));  // stopped there
  std::string log = ReadFile(log_);
  EXPECT_NE(log.find("Error: File \"" + state_.InstallDir + "pop3.exe\" - " + reason + "\r\n" +
                     "Error: Setup aborted\r\n"),
            std::string::npos)
      << log;
}

TEST_F(FileDeploymentTest, FatalEndsAreShownLoggedAndReturned) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::string logLine;
  };
  const Case cases[] = {
      {"installation folder under a file",
       [&] {
         ASSERT_TRUE(testing_support::WriteFile(scratch_.Path() + "file", "x"));
         state_.InstallDir = scratch_.Path() + "file\\Orvik\\";
       },
       "Error: Setup aborted - " + setup::cErrorDir},
      {"setup.Dat damaged",
       [&] { ASSERT_TRUE(testing_support::WriteFile(setupFolder_ + "setup.Dat", "ILDS damaged")); },
       "Error: Setup aborted - " + setup::cErrorDataFile + " setup.Dat\r\n"},
      {"setupweb.dat missing", [&] { platform::DeleteFile(setupFolder_ + "setupweb.dat"); },
       "Error: Setup aborted - " + setup::cErrorDataFile + " setupweb.dat\r\n"},
      {"setupav.dat damaged",
       [&] { ASSERT_TRUE(testing_support::WriteFile(setupFolder_ + "setupav.dat", "damaged")); },
       "Error: Setup aborted - " + setup::cErrorDataFile + " setupav.dat\r\n"},
      {"a staged file that cannot be written",
       [&] {
         platform::DeleteFile(state_.ExtractDir +
                              "smtp.exe");  // staged by an earlier case; last, as it stays
         ASSERT_TRUE(support::CreateDirectoryPath(state_.ExtractDir + "smtp.exe\\"));
       },
       "Error: Setup aborted - Setup cannot write \"" + state_.ExtractDir + "smtp.exe\": "},
  };
  for (const Case& c : cases) {
    SetUp();
    c.arrange();
    ui::HeadlessUI ui;
    EXPECT_EQ(Deploy(ui), engine::Outcome::Fatal) << c.what;
    ASSERT_EQ(ui.Boxes().size(), 1u) << c.what;
    EXPECT_EQ(ui.Boxes()[0].caption, setup::cError);
    EXPECT_NE(ReadFile(log_).find(c.logLine), std::string::npos) << c.what << "\n"
                                                                 << ReadFile(log_);
  }
}

TEST_F(FileDeploymentTest, OptionalPartsAreNeitherRequiredNorOpenedWhenNotChosen) {
  // Anti-virus not chosen: its archive is not even opened.
  ASSERT_TRUE(testing_support::WriteFile(setupFolder_ + "setupav.dat", "damaged"));
  state_.Components.NoInstallAV = true;
  // Started from the installation folder itself: no copy onto itself.
  Write(state_.InstallDir, {{"setup.exe", "MZ installed setup"},
                            {"setup.Dat", ReadFile(setupFolder_ + "setup.Dat")},
                            {"setupweb.dat", ReadFile(setupFolder_ + "setupweb.dat")}});
  engine::TFileDeployment deployment(state_, ui_, state_.InstallDir + "setup.exe", journal_);
  EXPECT_EQ(deployment.StagePackage(), engine::Outcome::Done);
  EXPECT_EQ(deployment.DeployFiles(), engine::Outcome::Done);
  EXPECT_TRUE(ui_.Boxes().empty());
  EXPECT_EQ(Installed("setup.exe"), "MZ installed setup");
}

TEST_F(FileDeploymentTest, TheAntivirusEngineIsInstalledOnceAndUpdatedEveryTime) {
  std::string library = ReadFile(testing_support::TestbedLibrary("setiface"));
  ASSERT_FALSE(library.empty());
  Write(setupFolder_,
        {{"setupav.dat", Archive({{"setiface.dll", library}, {"avastoem.exe", "engine"}})}});
  std::string setupDir = state_.InstallDir + "avast\\setup\\";
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(Deploy(ui_), engine::Outcome::Done);
    EXPECT_EQ(ui_.StatusHistory().back(), setup::cInstallingWeb);
    EXPECT_FALSE(platform::DirectoryExists(state_.ExtractDir + "avast"));
    // The engine's installer ran once, into InstallDir + "avast": it copied itself there.
    EXPECT_EQ(platform::FileExists(setupDir + "avastoem.exe"), run == 0);
    platform::DeleteFile(setupDir + "avastoem.exe");
  }
  std::string log = ReadFile(setupDir + "setiface.log");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
  EXPECT_EQ(log.rfind("setifaceUpdateFiles\tKestrun\t/overwrite\t2\t", 0), 0u) << log;
  EXPECT_NE(std::find(ui_.StatusHistory().begin(), ui_.StatusHistory().end(), setup::cInstallingAV),
            ui_.StatusHistory().end());
}

#ifndef _WIN32
TEST_F(FileDeploymentTest, DataSourcesPointAtTheInstalledDatabases) {
  platform::RegKey drivers, access;
  ASSERT_TRUE(drivers.Open(platform::RegRoot::LocalMachine,
                           "\\SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers", true));
  ASSERT_TRUE(drivers.WriteString("Microsoft Access Driver (*.mdb)", "Installed"));
  ASSERT_TRUE(access.Open(platform::RegRoot::LocalMachine,
                          "\\SOFTWARE\\ODBC\\ODBCINST.INI\\Microsoft Access Driver (*.mdb)", true));
  ASSERT_TRUE(access.WriteString("Driver", "C:\\Windows\\system32\\odbcjt32.dll"));
  EXPECT_EQ(Deploy(ui_), engine::Outcome::Done);
  for (const auto& source : registration::kAccessDataSources) {
    EXPECT_TRUE(registration::DataSourceExists(source.name)) << source.name;
    platform::RegKey key;
    platform::RegValue dbq;
    ASSERT_TRUE(key.Open(platform::RegRoot::LocalMachine,
                         std::string("\\SOFTWARE\\ODBC\\ODBC.INI\\") + source.name, false));
    ASSERT_TRUE(key.ReadValue("DBQ", dbq));
    EXPECT_EQ(dbq.data, state_.InstallDir + source.file);
  }
  simulator::ClearRegistry();
}
#endif

TEST_F(FileDeploymentTest, LdapKeepsItsConfigurationAndDatabase) {
  Write(state_.InstallDir, {{"ldap\\slapd.conf", "my slapd"},
                            {"ldap\\ldbm\\id2entry.dbb", "my db"},
                            {"ldap\\schema\\extra.schema", "old extra"}});
  Write(setupFolder_, {{"setupldap.dat", Archive({{"slapd.conf", "package slapd"},
                                                  {"ldbm\\id2entry.dbb", "package db"},
                                                  {"schema\\extra.schema", "new extra"}})}});
  EXPECT_EQ(Deploy(ui_), engine::Outcome::Done);
  EXPECT_EQ(Installed("ldap\\slapd.conf"), "my slapd");
  EXPECT_EQ(Installed("ldap\\ldbm\\id2entry.dbb"), "my db");
  EXPECT_EQ(Installed("ldap\\schema\\extra.schema"), "new extra");
}

// Windows drops a name's trailing dots and blanks: these entries are the kept
// files, and neither the journal nor the unpacking may replace them.
TEST_F(FileDeploymentTest, AnEntryNamingAKeptFileAsWindowsFindsItDoesNotReplaceIt) {
  Write(state_.InstallDir,
        {{"ldap\\slapd.conf", "my slapd"}, {"ldap\\ldbm\\id2entry.dbb", "my db"}});
  Write(setupFolder_, {{"setupldap.dat", Archive({{"slapd.conf.", "package slapd"},
                                                  {"SLAPD.CONF ", "package SLAPD"},
                                                  {"ldbm.\\id2entry.dbb. .", "package db"}})}});
  ASSERT_TRUE(journal_.Begin(state_.InstallDir));
  EXPECT_EQ(Deploy(ui_), engine::Outcome::Done);
  EXPECT_EQ(Installed("ldap\\slapd.conf"), "my slapd");
  EXPECT_EQ(Installed("ldap\\ldbm\\id2entry.dbb"), "my db");
}

// An archive unpacked in place was verified before the run, but lies in the
// setup folder: an entry changed since to leave the installation folder ends
// the deployment before its journal note moves anything aside.
TEST_F(FileDeploymentTest, AnInPlaceEntryOutsideTheInstallationEndsTheRunAndMovesNothing) {
  const std::string victim = scratch_.Path() + "victim.txt";
  Write(scratch_.Path(), {{"victim.txt", "not the installation's"}});
  Write(setupFolder_, {{"other.dat", Archive({{"..\\..\\victim.txt", "hostile"}})}});
  ASSERT_TRUE(journal_.Begin(state_.InstallDir));
  EXPECT_EQ(Deploy(ui_), engine::Outcome::Fatal);
  EXPECT_EQ(ReadFile(victim), "not the installation's");
}

TEST_F(FileDeploymentTest, WriteWithPathsReplacesTheFirstPlaceholderOfEachLine) {
  Write(state_.ExtractDir, {{"paths.txt",
                             "a=%%installpath%% b=%%installpath%%\n"
                             "%%temppath%%%%temppath%%\r\rlast"}});
  Deployment(ui_).WriteWithPaths("paths.txt", scratch_.Path() + "out\\");
  std::string temp = support::GetWindowsDirectoryPath() + "temp\\";
  EXPECT_EQ(
      ReadFile(scratch_.Path() + "out\\paths.txt"),
      "a=" + state_.InstallDir + " b=%%installpath%%\r\n" + temp + "%%temppath%%\r\n\r\nlast\r\n");
  EXPECT_TRUE(platform::DirectoryExists(temp + "cache"));
}

TEST_F(FileDeploymentTest, WebFilterIsAddedOnceInItsSections) {
  struct Case {
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      {"[Filter]\r\n=modules\\a.dll|[a]\r\n\r\n[Virtual-Host]\r\n/a/"
       "=[a]\r\n\r\n[X]\r\nwebmail\\WEB.dll\r\n",
       "[Filter]\r\n=modules\\a.dll|[a]\r\n=modules\\wcs.dll|[wcs]\r\n\r\n[Virtual-Host]\r\n/wcs/"
       "=[wcs]\r\n"
       "/a/=[a]\r\n\r\n[X]\r\nphp\\php.dll\r\n"},
      {"[filter]\n=modules\\a.dll|[a]\n\n[virtual-host]\n/a/=[a]\n",
       "[filter]\n=modules\\a.dll|[a]\n=modules\\wcs.dll|[wcs]\r\n\n[virtual-host]\n/wcs/"
       "=[wcs]\r\n/a/=[a]\n"},
      {"  [Other]\r\nx=1\r\n\r\n",
       "[Other]\r\nx=1\r\n\r\n[Filter]\r\n=modules\\wcs.dll|[wcs]\r\n\r\n[Virtual-Host]\r\n/wcs/"
       "=[wcs]\r\n"},
      // A section without an empty line before the next one.
      {"[Filter]\r\n=modules\\a.dll|[a]\r\n[Virtual-Host]\r\n/a/=[a]\r\n\r\n[X]\r\n",
       "[Filter]\r\n=modules\\a.dll|[a]\r\n=modules\\wcs.dll|[wcs]\r\n[Virtual-Host]\r\n/wcs/"
       "=[wcs]\r\n/a/=[a]\r\n\r\n[X]\r\n"},
      {"[Virtual-Host]\r\n/a/=[a]\r\n\r\n[Filter]\r\n=modules\\a.dll|[a]",
       "[Virtual-Host]\r\n/wcs/=[wcs]\r\n/a/=[a]\r\n\r\n[Filter]\r\n=modules\\a.dll|[a]\r\n"
       "=modules\\wcs.dll|[wcs]\r\n"},
  };
  std::string file = state_.InstallDir + "config\\webserver.cfg";
  for (const Case& c : cases) {
    Write(state_.InstallDir, {{"config\\webserver.cfg", c.before}});
    Deployment(ui_).RegisterWebFilter();
    EXPECT_EQ(ReadFile(file), c.after) << c.before;
    Deployment(ui_).RegisterWebFilter();
    EXPECT_EQ(ReadFile(file), c.after) << "second run: " << c.before;
  }
}

}  // namespace

// The uninstall on the stand-in service manager, shell and registry, over an
// installation that system registration has registered.
#ifndef _WIN32
#include "engine/uninstall.h"

#include <gtest/gtest.h>

#include <functional>

#include "common/directory_link.h"
#include "common/scratch_dir.h"
#include "common/testbed.h"
#include "engine/antivirus_setup.h"
#include "engine/file_deployment.h"
#include "engine/system_registration.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "product/messages.h"
#include "product/server_modules.h"
#include "simulator/simulator.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "support/system_utils.h"
#include "translations/strings_file.h"
#include "ui/headless.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr char kShellFolders[] =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

class UninstallTest : public testing::Test {
 protected:
  void SetUp() override {
    simulator::ClearRegistry();
    simulator::ClearModuleStandins();
    platform::InstallClock(&clock_);
    support::ServiceMode = true;
    root_ = scratch_.Path();
    dir_ = state_.InstallDir = root_ + "Orvik\\";
    for (const char* folder : {"Common\\", "Desktop\\"})
      ASSERT_TRUE(support::CreateDirectoryPath(root_ + folder));
    platform::RegKey key;
    ASSERT_TRUE(key.Open(platform::RegRoot::LocalMachine, kShellFolders, true));
    ASSERT_TRUE(key.WriteString("Common Programs", root_ + "Common"));
    simulator::SetSpecialFolders(root_ + "Desktop", "", "");
    for (const std::string& file : Installed()) ASSERT_TRUE(Write(file, "x"));
    ASSERT_TRUE(
        Write("avast\\setup\\setiface.dll", ReadFile(testing_support::TestbedLibrary("setiface"))));
    for (const auto& module : support::kServerModules) {
      simulator::StandinService service;
      service.Name = module.ServiceName;
      service.BinaryPath = "\"" + dir_ + module.Executable + "\"";
      service.State = platform::kServiceRunning;
      simulator::AddService(service);
    }
    state_.AddDesktop = true;
    engine::TInstallJournal journal("");  // not begun: nothing journaled
    ASSERT_EQ(
        engine::TSystemRegistration(state_, ui_, dir_ + "setup.exe", journal).RegisterSystem(0),
        engine::Outcome::Done);
  }
  void TearDown() override {
    support::InitLog("", nullptr, 0, 0);  // the uninstall's log lies in the scratch folder
    support::ServiceMode = false;
    platform::InstallClock(nullptr);
    simulator::SetSpecialFolders("", "", "");
    setup::RestoreDefaultMessages();
  }
  // cName as a setup.lng beside the installed setup program sets it: through
  // the message table.
  void TranslateName(const std::string& name) {
    support::TMessageTable table;
    setup::RegisterSetupMessages(&table);
    support::SetMessage("cName", name, &table);
    ASSERT_EQ(setup::cName, name);
  }
  bool Write(const std::string& file, const std::string& content) {
    return support::CreateDirectoryPath(support::FolderOfPath(dir_ + file)) &&
           WriteFile(dir_ + file, content);
  }
  // What the uninstall removes: programs and the folders of the components.
  static std::vector<std::string> Installed() {
    std::vector<std::string> files(std::begin(engine::kCoreFiles), std::end(engine::kCoreFiles));
    for (const char* f : {"kestruncom.dll", "cal.exe", "im.exe", "doc\\readme.txt", "wizards\\w",
                          "modules\\m", "spam\\rules\\1.cf", "html\\index.html", "api\\a",
                          "tutorial\\index.html", "examples\\e", "xml\\basic.xml", "php\\php.dll"})
      files.push_back(f);
    return files;
  }
  // What stays: the server's data, the setup program and the anti-spam data.
  static std::vector<std::string> Kept() {
    return {"config\\settings.cfg",
            "mail\\_outgoing\\m.eml",
            "logs\\smtp.log",
            "temp\\t",
            "setup.exe",
            "setup.Dat",
            "spam\\challenge.mdb",
            "spam\\rules\\local.cf"};
  }
  engine::Outcome Uninstall(const std::string& registered) {
    return engine::TUninstall(state_, ui_, dir_).Uninstall(registered);
  }

  testing_support::ScratchDir scratch_;
  platform::VirtualClock clock_;
  std::string root_, dir_;
  setup::TSetupState state_;
  ui::HeadlessUI ui_;
};

TEST_F(UninstallTest, RemovesProgramsServicesAndShortcutsAndKeepsTheData) {
  for (const std::string& file : Kept()) ASSERT_TRUE(Write(file, "kept " + file));
  ASSERT_TRUE(platform::FileExists(root_ + "Desktop\\Orvik Mail Server Administration.lnk"));

  EXPECT_EQ(Uninstall("c:" + dir_.substr(2)), engine::Outcome::Done);  // spelled otherwise

  for (const auto& module : support::kServerModules) {
    simulator::StandinService service;
    EXPECT_FALSE(simulator::FindService(module.ServiceName, service)) << module.ServiceName;
  }
  for (const std::string& file : Installed())
    EXPECT_FALSE(platform::FileExists(dir_ + file)) << file;
  for (const char* folder : {"doc", "html", "wizards", "avast"})
    EXPECT_FALSE(platform::DirectoryExists(dir_ + folder)) << folder;
  for (const std::string& file : Kept()) EXPECT_EQ(ReadFile(dir_ + file), "kept " + file);
  EXPECT_FALSE(platform::DirectoryExists(engine::ProgramGroupFolder()));
  EXPECT_FALSE(platform::FileExists(root_ + "Desktop\\Orvik Mail Server Administration.lnk"));
  EXPECT_FALSE(platform::RegKeyExists(platform::RegRoot::LocalMachine,
                                      std::string(engine::kUninstallKey) + "\\Orvik"));
  EXPECT_TRUE(platform::RegKeyExists(platform::RegRoot::LocalMachine,
                                     "\\Software\\Kestrun\\Orvik Mail Server"));
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_EQ(ui_.Boxes()[0].text, setup::cCompleteRemove);
}

// A program folder that an ordinary user made a link goes as the link: what it
// points to is not the installation's, whichever removal meets it.
TEST_F(UninstallTest, AProgramFolderThatIsALinkGoesAsTheLink) {
  const std::string outside = root_ + "Outside\\";
  ASSERT_TRUE(support::CreateDirectoryPath(outside + "deep"));
  ASSERT_TRUE(WriteFile(outside + "precious.txt", "p") &&
              WriteFile(outside + "deep\\more.txt", "m"));
  const struct {
    const char* folder;
    std::function<std::vector<std::string>()> remove;
  } cases[] = {{"doc", [&] { return engine::DeleteFolderKeeping(dir_, "doc\\"); }},
               {"spam", [&] { return engine::RemoveAntispam(dir_); }}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    ASSERT_TRUE(support::DeleteDirectory(dir_ + c.folder));
    ASSERT_TRUE(testing_support::MakeDirectoryLink(dir_ + c.folder, outside));
    EXPECT_TRUE(c.remove().empty());
    EXPECT_EQ(platform::GetFileAttributes(dir_ + c.folder), platform::kInvalidAttributes);
    EXPECT_EQ(ReadFile(outside + "precious.txt"), "p");
    EXPECT_EQ(ReadFile(outside + "deep\\more.txt"), "m");
  }
}

TEST_F(UninstallTest, AnotherFolderRemovesNothing) {
  for (const char* registered : {"C:\\Other\\", ""}) {
    EXPECT_EQ(Uninstall(registered), engine::Outcome::Fatal) << registered;
    for (const std::string& file : Installed())
      EXPECT_TRUE(platform::FileExists(dir_ + file)) << file;
    EXPECT_TRUE(platform::DirectoryExists(engine::ProgramGroupFolder()));
    EXPECT_TRUE(simulator::ServiceCallLog().empty());
  }
  EXPECT_EQ(ui_.Boxes().size(), 2u);
  // With nothing registered, a folder that holds a configuration is the installation.
  ASSERT_TRUE(Write("config\\settings.cfg", "settings"));
  EXPECT_EQ(Uninstall(""), engine::Outcome::Done);
  EXPECT_FALSE(platform::FileExists(dir_ + "smtp.exe"));
}

// A folder no installation may have (here: below the Windows folder) is left
// alone, even when it is the registered one.
TEST_F(UninstallTest, ARefusedFolderRemovesNothing) {
  simulator::SetSystemDirectories("", root_, root_ + "System32");
  EXPECT_EQ(Uninstall(dir_), engine::Outcome::Fatal);
  simulator::SetSystemDirectories("", "C:\\Windows", "C:\\Windows\\System32");
  for (const std::string& file : Installed())
    EXPECT_TRUE(platform::FileExists(dir_ + file)) << file;
  EXPECT_TRUE(platform::DirectoryExists(engine::ProgramGroupFolder()));
  EXPECT_TRUE(simulator::ServiceCallLog().empty());
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_NE(ui_.Boxes()[0].text.find("Nothing was removed"), std::string::npos);
}

// Desktop modules are asked to close; no service is touched.
TEST_F(UninstallTest, WithoutServiceModeNoServiceIsDeleted) {
  support::ServiceMode = false;
  EXPECT_EQ(Uninstall(dir_), engine::Outcome::Done);
  EXPECT_TRUE(simulator::ServiceCallLog().empty());
}

// What was to go but stayed ends the uninstall with the fatal code, each named
// in the installation's setup log; the anti-spam data kept on purpose does not count.
TEST_F(UninstallTest, WhatStayedIsLoggedAndEndsAsFatal) {
  for (const std::string& file : Kept()) ASSERT_TRUE(Write(file, "kept"));
  simulator::StandinService stuck;
  ASSERT_TRUE(simulator::FindService("OrvikIM", stuck));
  stuck.DeletePendingMs = 3600 * 1000;  // its handles stay open
  simulator::AddService(stuck);
  // A program file that cannot be deleted: a folder with something in it.
  ASSERT_TRUE(platform::DeleteFile(dir_ + "pop3.exe"));
  ASSERT_TRUE(Write("pop3.exe\\open", "x"));
  EXPECT_EQ(Uninstall(dir_), engine::Outcome::Fatal);
  const std::string lines = ReadFile(dir_ + "logs\\setup\\setup.log");
  for (const std::string& named : {std::string("the service OrvikIM"), dir_ + "pop3.exe"})
    EXPECT_NE(lines.find("Error: Not removed: " + named + "\r\n"), std::string::npos) << named;
  EXPECT_EQ(lines.find("spam"), std::string::npos) << lines;
}

// Setup's links go and the group's folder stays for what else is in it; a
// translated name that names the Startup folder aims at nothing there.
TEST_F(UninstallTest, OnlySetupsOwnLinksGo) {
  const std::string group = engine::ProgramGroupFolder(), startup = root_ + "Common\\Startup\\";
  ASSERT_TRUE(support::CreateDirectoryPath(startup));
  for (const std::string& file : {group + "notes.txt", startup + "run.lnk"})
    ASSERT_TRUE(WriteFile(file, "another program's"));
  TranslateName("Startup");
  EXPECT_EQ(Uninstall(dir_), engine::Outcome::Done);
  for (const std::string& file : {group + "notes.txt", startup + "run.lnk"})
    EXPECT_EQ(ReadFile(file), "another program's") << file;
  std::vector<platform::DirEntry> links;
  EXPECT_FALSE(platform::ListDirectory(group + "*.lnk", links) && !links.empty());
}

// An installation made before the group was recorded: setup's own link names
// in the folder the name rules give, which "Startup" is not.
TEST_F(UninstallTest, AnUnrecordedGroupLosesOnlySetupsOwnLinks) {
  const std::string group = engine::ProgramGroupFolder(), startup = root_ + "Common\\Startup\\";
  platform::RegKey product;
  ASSERT_TRUE(product.Open(platform::RegRoot::LocalMachine,
                           "\\Software\\Kestrun\\Orvik Mail Server", false));
  for (const char* value : {engine::kProgramGroupValue, engine::kProgramGroupLinksValue})
    ASSERT_TRUE(product.DeleteValue(value));
  ASSERT_TRUE(support::CreateDirectoryPath(startup) && WriteFile(startup + "run.lnk", "x"));
  TranslateName("Startup");
  EXPECT_EQ(Uninstall(dir_), engine::Outcome::Done);
  EXPECT_EQ(ReadFile(startup + "run.lnk"), "x");
  EXPECT_FALSE(platform::DirectoryExists(group));
}

// The server's strings.dat is read before the uninstall; it reaches the
// server's messages only, never setup's texts.
TEST_F(UninstallTest, AStringsFileCannotSetSetupsTexts) {
  setup::RegisterSetupMessages();  // as start-up does, into the default table
  ASSERT_TRUE(Write("config\\strings.dat", "cName='Startup'\r\nstRelayed='Weitergeleitet'\r\n"));
  EXPECT_TRUE(support::LoadStringsFile(dir_ + "config\\"));
  EXPECT_EQ(setup::cName, "Orvik Mail Server");
  EXPECT_EQ(support::ServerMessage("stRelayed"), "Weitergeleitet");
  support::ClearMessages();
  support::RestoreServerMessageDefaults();
}

TEST(AntivirusSetupTest, TheEngineUninstallsItselfFromItsOwnFolder) {
  testing_support::ScratchDir scratch;
  const std::string setupDir = scratch.Path() + "avast\\setup\\";
  ASSERT_TRUE(support::CreateDirectoryPath(setupDir));
  ASSERT_TRUE(
      WriteFile(setupDir + "setiface.dll", ReadFile(testing_support::TestbedLibrary("setiface"))));
  const std::string before = platform::CurrentDirectory();
  engine::UninstallAntivirusEngine(scratch.Path());
  EXPECT_EQ(platform::CurrentDirectory(), before);
  const std::string log = ReadFile(setupDir + "setiface.log");
  EXPECT_EQ(log.rfind("setifaceUninstallProgram\tKestrun\t\t2\t", 0), 0u) << log;
}

// An avast\ that is a link leads to a library no administrator put there.
TEST(AntivirusSetupTest, ALibraryBehindALinkIsNotLoaded) {
  testing_support::ScratchDir scratch;
  const std::string elsewhere = scratch.Path() + "elsewhere\\";
  ASSERT_TRUE(support::CreateDirectoryPath(elsewhere + "setup") &&
              support::CreateDirectoryPath(scratch.Path() + "Orvik"));
  ASSERT_TRUE(WriteFile(elsewhere + "setup\\setiface.dll",
                        ReadFile(testing_support::TestbedLibrary("setiface"))));
  ASSERT_TRUE(testing_support::MakeDirectoryLink(scratch.Path() + "Orvik\\avast",
                                                 scratch.Path() + "elsewhere"));
  engine::UninstallAntivirusEngine(scratch.Path() + "Orvik\\");
  EXPECT_FALSE(platform::FileExists(elsewhere + "setup\\setiface.log"));
}

TEST(AntivirusSetupTest, ALibraryThatCannotServeIsLoggedAndNeverSearchedFor) {
  testing_support::ScratchDir scratch;
  const std::string good = scratch.Path() + "good\\", bad = scratch.Path() + "bad\\";
  ASSERT_TRUE(support::CreateDirectoryPath(good) && support::CreateDirectoryPath(bad));
  ASSERT_TRUE(
      WriteFile(good + "setiface.dll", ReadFile(testing_support::TestbedLibrary("setiface"))));
  ASSERT_TRUE(WriteFile(bad + "setiface.dll", "not a library"));
  support::InitLog(scratch.Path() + "setup.log", nullptr, 0, 0);
  const std::string before = platform::CurrentDirectory();
  ASSERT_TRUE(platform::SetCurrentDirectory(good));
  const struct {
    std::string folder;
    const char* entry;
    std::string logged;
  } cases[] = {
      {bad, "setifaceUpdateFiles", "Warning: \"" + bad + "setiface.dll\" could not be loaded"},
      {good, "setifaceNoSuchEntry",
       "Warning: \"" + good + "setiface.dll\" has no entry setifaceNoSuchEntry"},
      // Only a full path: a bare name would be searched for, here in the current folder.
      {"", "setifaceUpdateFiles", "Warning: \"setiface.dll\" could not be loaded"},
  };
  for (const auto& c : cases) {
    platform::Library library;
    engine::SetifaceUpdateFiles* entry = nullptr;
    EXPECT_FALSE(engine::BindAntivirusSetup(c.folder, c.entry, library, entry)) << c.logged;
    EXPECT_NE(ReadFile(scratch.Path() + "setup.log").find(c.logged), std::string::npos) << c.logged;
  }
  platform::SetCurrentDirectory(before);
  support::InitLog("", nullptr, 0, 0);
}

}  // namespace
#endif

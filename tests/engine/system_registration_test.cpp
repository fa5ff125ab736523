// System registration on the stand-in shell and the in-memory registry.
#ifndef _WIN32
#include "engine/system_registration.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/scratch_dir.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "product/messages.h"
#include "product/server_modules.h"
#include "simulator/simulator.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "support/system_utils.h"
#include "ui/headless.h"

namespace {

using testing_support::ReadFile;

constexpr char kShellFolders[] =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kUninstall[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvik";

class SystemRegistrationTest : public testing::Test {
 protected:
  void SetUp() override {
    simulator::ClearRegistry();
    support::ServiceMode = true;
    root_ = scratch_.Path();
    state_.InstallDir = root_ + "Program Files\\Orvik\\";
    state_.WebMailDeployed = true;
    state_.AddDesktop = state_.AddQuickLaunch = false;
    for (const char* folder : {"Common\\", "User\\", "Desktop\\", "AppData\\"})
      ASSERT_TRUE(support::CreateDirectoryPath(root_ + folder));
    SetShellFolder(platform::RegRoot::LocalMachine, "Common Programs", root_ + "Common");
    simulator::SetSpecialFolders(root_ + "Desktop", "", "");
    support::InitLog(root_ + "setup.log", nullptr, 0, 0);
  }
  void TearDown() override {
    support::ServiceMode = false;
    setup::RestoreDefaultMessages();
    simulator::SetSpecialFolders("", "", "");
    support::InitLog("", nullptr, 0, 0);
  }
  static void SetShellFolder(platform::RegRoot root, const std::string& name,
                             const std::string& value) {
    platform::RegKey key;
    ASSERT_TRUE(key.Open(root, kShellFolders, true));
    ASSERT_TRUE(key.WriteString(name, value));
  }
  engine::Outcome Register(uint64_t installedBytes = 0) {
    engine::TInstallJournal journal("");  // not begun: nothing journaled
    return engine::TSystemRegistration(state_, ui_, root_ + "package\\setup.exe", journal)
        .RegisterSystem(installedBytes);
  }
  // The links of a folder, sorted.
  static std::vector<std::string> Links(const std::string& folder) {
    std::vector<platform::DirEntry> entries;
    std::vector<std::string> names;
    if (platform::ListDirectory(folder + "*.lnk", entries))
      for (const auto& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Link(const std::string& target, const std::string& arguments = "", int icon = 0) {
    return "Target=" + state_.InstallDir + target + "\r\nArguments=" + arguments +
           "\r\nIconIndex=" + std::to_string(icon) + "\r\n";
  }
  std::string Group() const { return root_ + "Common\\Orvik Mail Server\\"; }

  testing_support::ScratchDir scratch_;
  std::string root_;
  setup::TSetupState state_;
  ui::HeadlessUI ui_;
};

TEST_F(SystemRegistrationTest, OneProgramGroupWithItsLinks) {
  ASSERT_TRUE(support::CreateDirectoryPath(Group()));
  // An older version's service link is setup's own; the administrator's file is not.
  ASSERT_TRUE(testing_support::WriteFile(Group() + "Start Orvik SMTP Service.lnk", "old"));
  ASSERT_TRUE(testing_support::WriteFile(Group() + "notes.txt", "the administrator's"));
  setup::LinkDesc = "Administration\nReadme\r\nHelp\nDNS Query Tool\nTutorial";  // LF alone too
  EXPECT_EQ(Register(), engine::Outcome::Done);
  EXPECT_EQ(Register(), engine::Outcome::Done);
  EXPECT_EQ(Links(Group()),
            (std::vector<std::string>{"Administration.lnk", "DNS Query Tool.lnk", "Help.lnk",
                                      "Kestrun WebMail Documentation.lnk",
                                      "Orvik Mail Server Web Administration.lnk",
                                      "Orvik Mail Server Web Mail.lnk", "Readme.lnk",
                                      "Tutorial.lnk", "Uninstall Orvik Mail Server.lnk"}));
  EXPECT_EQ(ReadFile(Group() + "Readme.lnk"), Link("doc\\readme.txt"));
  EXPECT_EQ(ReadFile(Group() + "Uninstall Orvik Mail Server.lnk"),
            Link("setup.exe", "/UNINSTALL", 1));
  EXPECT_EQ(ReadFile(Group() + "Orvik Mail Server Web Mail.lnk"),
            Link("setup.exe", "/WEBMAILLOGON", 2));
  EXPECT_EQ(ReadFile(Group() + "Kestrun WebMail Documentation.lnk"),
            Link("html\\mail\\help\\index.htm"));
  EXPECT_EQ(ReadFile(Group() + "notes.txt"), "the administrator's");
  EXPECT_EQ(ui_.StatusHistory().front(), setup::cCreatingIcons);
  EXPECT_TRUE(Links(root_ + "Desktop\\").empty());

  // Desktop programs get a link each; the desktop link when ticked.
  support::ServiceMode = false;
  state_.AddDesktop = true;
  EXPECT_EQ(Register(), engine::Outcome::Done);
  // Three of the default names hold "/", which no file name may: it becomes "-".
  EXPECT_EQ(Links(Group()).size(), 14u);
  EXPECT_EQ(ReadFile(Group() + "Start Orvik GroupWare Service.lnk"), Link("cal.exe"));
  EXPECT_EQ(ReadFile(Group() + "Start Orvik POP3 - IMAP Service.lnk"), Link("pop3.exe"));
  EXPECT_EQ(ReadFile(root_ + "Desktop\\Administration.lnk"), Link("config.exe"));
}

TEST_F(SystemRegistrationTest, TheGroupFolderFallsBackToTheShellsFolders) {
  struct Case {
    std::string commonPrograms, shellCommon, shellUser, group;
  };
  const Case cases[] = {
      {"", root_ + "Common", root_ + "User", root_ + "Common\\Orvik Mail Server\\"},
      {"", "", root_ + "User", root_ + "User\\Orvik Mail Server\\"},
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    support::DeleteDirectory(root_ + "Common\\Orvik Mail Server\\", "", true);
    support::DeleteDirectory(root_ + "User\\Orvik Mail Server\\", "", true);
    SetShellFolder(platform::RegRoot::LocalMachine, "Common Programs", c.commonPrograms);
    simulator::SetSpecialFolders("", c.shellCommon, c.shellUser);
    EXPECT_EQ(Register(), engine::Outcome::Done);
    for (const char* folder : {"Common\\", "User\\"}) {
      std::string group = root_ + folder + "Orvik Mail Server\\";
      EXPECT_EQ(Links(group).size(), group == c.group ? 9u : 0u) << group;
    }
  }
}

// A translated group name that is not one plain folder name gives the English
// one; a link name gets "-" for what no file name may hold, or is skipped.
TEST_F(SystemRegistrationTest, NamesStayInsideTheirFolder) {
  for (const char* folder : {"Common\\", "User\\"})
    ASSERT_TRUE(testing_support::WriteFile(root_ + folder + "keep.txt", "other program"));
  SetShellFolder(platform::RegRoot::CurrentUser, "Programs", root_ + "User");
  for (const char* name : {"", ".", "..", ". ", "..\\Common", "a\\b", "C:", "Group.", "NUL"}) {
    setup::cName = name;
    EXPECT_EQ(Register(), engine::Outcome::Done) << name;
    for (const char* folder : {"Common\\", "User\\"})
      EXPECT_EQ(ReadFile(root_ + folder + "keep.txt"), "other program") << name << folder;
    EXPECT_EQ(Links(Group()).size(), 9u) << name;
  }
  EXPECT_NE(ReadFile(root_ + "setup.log").find("\"NUL\" cannot name a folder"), std::string::npos);
  setup::RestoreDefaultMessages();
  setup::UninstallDesc = "..\\..\\Startup\\evil";
  setup::LinkDesc = "Administration\n\nCON\n...";
  state_.AddDesktop = true;
  EXPECT_EQ(Register(), engine::Outcome::Done);
  EXPECT_EQ(Links(Group()),
            (std::vector<std::string>{
                "..-..-Startup-evil.lnk", "Administration.lnk", "Kestrun WebMail Documentation.lnk",
                "Orvik Mail Server Web Administration.lnk", "Orvik Mail Server Web Mail.lnk"}));
  EXPECT_TRUE(Links(root_).empty());
}

TEST_F(SystemRegistrationTest, OnlyAFolderBelowTheProgramsIsDeletedAsAGroup) {
  const std::string programs = root_ + "Common";
  ASSERT_TRUE(support::CreateDirectoryPath(programs + "\\Group\\"));
  ASSERT_TRUE(testing_support::WriteFile(programs + "\\Group\\a.lnk", "link"));
  ASSERT_TRUE(testing_support::WriteFile(root_ + "User\\a.lnk", "link"));
  for (const std::string& group :
       {programs + "\\.\\", programs + "\\Group\\..\\", programs + "/", root_ + "User\\"})
    EXPECT_EQ(engine::DeleteProgramGroup(programs, group, {"a.lnk"}).size(), 1u) << group;
  EXPECT_EQ(ReadFile(root_ + "User\\a.lnk"), "link");
  EXPECT_EQ(ReadFile(programs + "\\Group\\a.lnk"), "link");
  EXPECT_TRUE(engine::DeleteProgramGroup(programs, programs + "/Group/", {"a.lnk"}).empty());
  EXPECT_FALSE(platform::DirectoryExists(programs + "\\Group\\"));
  EXPECT_TRUE(platform::DirectoryExists(programs + "\\"));
}

// Setup's links go, and the folder only when nothing else is in it.
TEST_F(SystemRegistrationTest, AGroupFolderKeepsWhatIsNotSetupsOwn) {
  const std::string group = root_ + "Common\\Group\\";
  for (const char* file : {"a.lnk", "b.lnk", "sub\\a.lnk"})
    ASSERT_TRUE(support::CreateDirectoryPath(support::FolderOfPath(group + file)) &&
                testing_support::WriteFile(group + file, "link"));
  EXPECT_TRUE(engine::DeleteProgramGroup(root_ + "Common", group, {"a.lnk", "c.lnk"}).empty());
  EXPECT_FALSE(platform::FileExists(group + "a.lnk"));
  EXPECT_EQ(ReadFile(group + "b.lnk"), "link");
  EXPECT_EQ(ReadFile(group + "sub\\a.lnk"), "link");
}

// The group's folder and links are recorded; a later run removes the recorded
// links it does not make again, and the recorded folder when nothing else is
// left in it.
TEST_F(SystemRegistrationTest, ALaterRunRemovesOnlyTheRecordedLinks) {
  const std::string translated = root_ + "Common\\Orvik Mailserver\\";
  setup::cName = "Orvik Mailserver";  // names no folder yet: the group is made
  support::ServiceMode = false;
  EXPECT_EQ(Register(), engine::Outcome::Done);
  EXPECT_EQ(Links(translated).size(), 14u);
  support::TAdvancedRegistry product = setup::ProductRegistry();
  EXPECT_EQ(product.ReadString("ProgramGroup"), translated);
  const engine::ProgramGroupRecord record = engine::RecordedProgramGroup();
  EXPECT_EQ(record.links.size(), 14u);
  EXPECT_EQ(record.links.front(), "Orvik Mail Server Administration.lnk");

  // Again with the same name: its own folder is no foreign one; the service links go.
  ASSERT_TRUE(testing_support::WriteFile(translated + "notes.txt", "the administrator's"));
  support::ServiceMode = true;
  EXPECT_EQ(Register(), engine::Outcome::Done);
  EXPECT_EQ(Links(translated).size(), 9u);
  EXPECT_EQ(ReadFile(translated + "notes.txt"), "the administrator's");

  // Another name: the recorded group is emptied of setup's links; what else is
  // there keeps it.
  setup::RestoreDefaultMessages();
  EXPECT_EQ(Register(), engine::Outcome::Done);
  EXPECT_EQ(Links(Group()).size(), 9u);
  EXPECT_TRUE(Links(translated).empty());
  EXPECT_EQ(ReadFile(translated + "notes.txt"), "the administrator's");
  EXPECT_EQ(product.ReadString("ProgramGroup"), Group());
  // Back to a folder of a new name: the recorded one, with nothing else in it, goes.
  ASSERT_TRUE(platform::DeleteFile(translated + "notes.txt") &&
              platform::RemoveDirectory(translated));
  setup::cName = "Orvik Mailserver";
  EXPECT_EQ(Register(), engine::Outcome::Done);
  EXPECT_EQ(Links(translated).size(), 9u);
  EXPECT_FALSE(platform::DirectoryExists(Group()));
}

// A translated group name that names a folder setup did not make (here the
// Startup folders, set through the message table as a setup.lng is applied)
// gives the English one: nothing of those folders is touched, and no link of
// setup's runs at every log-on.
TEST_F(SystemRegistrationTest, ATranslatedNameNeverTakesAnotherFolder) {
  SetShellFolder(platform::RegRoot::CurrentUser, "Programs", root_ + "User");
  for (const char* folder : {"Common\\Startup\\", "User\\Startup\\"})
    ASSERT_TRUE(support::CreateDirectoryPath(root_ + folder) &&
                testing_support::WriteFile(root_ + folder + "run.lnk", "another program"));
  support::TMessageTable table;
  setup::RegisterSetupMessages(&table);
  support::SetMessage("cName", "Startup", &table);
  ASSERT_EQ(setup::cName, "Startup");
  for (int run = 0; run < 2; ++run) EXPECT_EQ(Register(), engine::Outcome::Done);
  for (const char* folder : {"Common\\Startup\\", "User\\Startup\\"}) {
    EXPECT_EQ(ReadFile(root_ + folder + "run.lnk"), "another program") << folder;
    EXPECT_EQ(Links(root_ + folder).size(), 1u) << folder;
  }
  EXPECT_EQ(Links(Group()).size(), 9u);
  EXPECT_NE(ReadFile(root_ + "setup.log").find("\"Startup\" names the folder"), std::string::npos);
}

TEST_F(SystemRegistrationTest, TheUninstallEntryAndProductKeyAreWrittenInOrder) {
  EXPECT_EQ(Register(), engine::Outcome::Done);
  platform::RegKey entry;
  ASSERT_TRUE(entry.Open(platform::RegRoot::LocalMachine, kUninstall, false));
  std::vector<std::string> names;
  ASSERT_TRUE(entry.ValueNames(names));
  EXPECT_EQ(names.size(), 10u);
  const std::pair<const char*, std::string> expected[] = {
      {"DisplayName", "Orvik Mail Server 8.9.1"},
      {"UninstallString", "\"" + state_.InstallDir + "setup.exe\" /UNINSTALL"},
      {"DisplayIcon", state_.InstallDir + "config.exe"},
      {"DisplayVersion", "8.9.1"},
      {"InstallLocation", state_.InstallDir},
      {"NoModify", "1"},
      {"NoRepair", "1"},
      {"Publisher", "Kestrun"},
      {"URLInfoAbout", "https://www.kestrun.example/"}};
  for (const auto& [name, value] : expected) {
    platform::RegValue read;
    ASSERT_TRUE(entry.ReadValue(name, read)) << name;
    EXPECT_EQ(read.type, platform::RegType::String) << name;
    EXPECT_EQ(read.data, value) << name;
  }
  platform::RegValue size;
  ASSERT_TRUE(entry.ReadValue("EstimatedSize", size));
  EXPECT_EQ(size.type, platform::RegType::DWord);
  support::TAdvancedRegistry product = setup::ProductRegistry();
  EXPECT_EQ(product.ReadString("InstallDir"), state_.InstallDir);
  EXPECT_EQ(product.ReadString("Version"), "8.9.1");
}

TEST_F(SystemRegistrationTest, AFailedRegistryWriteIsReportedAndFatal) {
  simulator::SetRegistryKeyReadOnly(platform::RegRoot::LocalMachine,
                                    "\\Software\\Kestrun\\Orvik Mail Server", true);
  EXPECT_EQ(Register(), engine::Outcome::Fatal);
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_EQ(ui_.Boxes()[0].caption, setup::cError);
  EXPECT_EQ(ui_.Boxes()[0].text.rfind(setup::cRegistryError, 0), 0u);
  EXPECT_NE(ui_.Boxes()[0].text.find("\"InstallDir\""), std::string::npos);
  EXPECT_NE(ReadFile(root_ + "setup.log").find("Error: " + setup::cRegistryError),
            std::string::npos);
  EXPECT_EQ(Links(Group()).size(), 9u);  // the links are made all the same
}

// What the package installs, in KiB rounded up; the server's data never counts.
TEST_F(SystemRegistrationTest, TheEstimatedSizeIsWhatThePackageInstalls) {
  for (const auto& [bytes, kib] : {std::pair<uint64_t, uint32_t>{0, 0},
                                   {1, 1},
                                   {3072, 3},
                                   {3073, 4},
                                   {uint64_t{5} << 30, 5u << 20}}) {
    EXPECT_EQ(Register(bytes), engine::Outcome::Done);
    platform::RegKey entry;
    ASSERT_TRUE(entry.Open(platform::RegRoot::LocalMachine, kUninstall, false));
    platform::RegValue size;
    ASSERT_TRUE(entry.ReadValue("EstimatedSize", size));
    EXPECT_EQ(size.dword, kib) << bytes;
  }
}

}  // namespace
#endif

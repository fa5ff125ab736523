// The rules for the installation folder and for names that become files.
#include "product/destination.h"

#include <gtest/gtest.h>

#include "archive/entry_names.h"
#include "common/directory_link.h"
#include "common/scratch_dir.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "support/advanced_registry.h"
#include "support/file_utils.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include "platform/posix/posix_platform.h"
#include "simulator/simulator.h"
#endif

namespace {

using setup::DestinationFault;

// The folders of the machine that may hold an installation but never be one:
// the stand-ins are given them, Windows has its own.
class DestinationTest : public testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    simulator::ClearRegistry();
    simulator::SetRemoteDrives("N");
    simulator::SetSpecialFolder(platform::SpecialFolder::Profile, "C:\\Users\\me");
    simulator::SetSpecialFolder(platform::SpecialFolder::CommonAppData, "C:\\ProgramData");
    simulator::SetSystemDirectories("C:\\Temp\\", "C:\\Windows", "C:\\Windows\\System32");
    support::TAdvancedRegistry(support::hkLOCAL_MACHINE, "\\Software\\Microsoft\\Windows",
                               "CurrentVersion")
        .WriteString("ProgramFilesDir (x86)", "C:\\Program Files (x86)");
#endif
  }
  void TearDown() override {
#ifndef _WIN32
    simulator::SetRemoteDrives("");
    simulator::SetSpecialFolder(platform::SpecialFolder::Profile, "");
    simulator::SetSpecialFolder(platform::SpecialFolder::CommonAppData, "");
    simulator::SetSystemDirectories("", "C:\\Windows", "C:\\Windows\\System32");
#endif
  }
};

struct Case {
  std::string dir;
  DestinationFault fault;
};

void ExpectFaults(const std::vector<Case>& cases) {
  for (const Case& c : cases)
    EXPECT_EQ(setup::CheckDestination(c.dir, 96), c.fault) << "\"" << c.dir << "\"";
}

TEST_F(DestinationTest, OnlyALocalFolderOfItsOwnIsAccepted) {
  const std::string deep(163 - 3, 'x');  // "C:\" + this + "\" is 164 characters
  ExpectFaults({
      {"C:\\Orvik\\", DestinationFault::None},
      {"c:\\program files\\orvik", DestinationFault::None},
      {"D:\\Mail Server\\Orvik 8\\", DestinationFault::None},
      {"C:/Orvik/mail", DestinationFault::None},
      {"Orvik\\", DestinationFault::NotAbsolute},
      {"C:Orvik\\", DestinationFault::NotAbsolute},
      {"C:\\Orvik\\..\\Windows\\", DestinationFault::NotAbsolute},
      {"C:\\x/..\\", DestinationFault::NotAbsolute},
      {"C:\\x\\./", DestinationFault::NotAbsolute},
      {"C:\\Orvik\\\\mail\\", DestinationFault::NotAbsolute},
      {"\\\\server\\share\\Orvik\\", DestinationFault::Network},
      {"//server/share/Orvik/", DestinationFault::Network},
      {"C:\\", DestinationFault::DriveRoot},
      {"C:/", DestinationFault::DriveRoot},
      {"C:\\Windows\\", DestinationFault::WindowsFolder},
      {"c:\\windows\\system32", DestinationFault::WindowsFolder},
      {"C:\\Windows\\Temp\\Orvik\\", DestinationFault::WindowsFolder},
      {"C:/WINDOWS/", DestinationFault::WindowsFolder},
      {"C:\\Program Files\\", DestinationFault::SharedFolder},
      {"C:\\Windows.\\", DestinationFault::BadName},
      {"C:\\Windows \\Orvik\\", DestinationFault::BadName},
      {"C:\\Orvik\\...\\", DestinationFault::BadName},
      {"C:\\Orvik\\NUL\\", DestinationFault::BadName},
      {"C:\\Orvik\\com1.mail\\", DestinationFault::BadName},
      {"C:\\Orvik\\Lpt9\\", DestinationFault::BadName},
      {"C:\\Orvik\\COM10\\", DestinationFault::None},
      {"C:\\Orvik\\Console\\", DestinationFault::None},
      {"C:\\Or*vik\\", DestinationFault::BadCharacter},
      {"C:\\Orvik\\a:b\\", DestinationFault::BadCharacter},
      {"C:\\Orvik\\a|b\\", DestinationFault::BadCharacter},
      {"C:\\Orvik\ttab\\", DestinationFault::BadCharacter},
      {"C:\\" + deep.substr(1), DestinationFault::None},
      {"C:\\" + deep, DestinationFault::TooLong},
#ifndef _WIN32
      {"N:\\Orvik\\", DestinationFault::Network},  // a mapped network drive
#endif
  });
}

// Folders that Windows and every user share are refused themselves; a folder
// of its own below them is fine.
TEST_F(DestinationTest, SharedFoldersThemselvesAreRefused) {
  const std::string profile = platform::SpecialFolderPath(platform::SpecialFolder::Profile);
  const std::string data = platform::SpecialFolderPath(platform::SpecialFolder::CommonAppData);
  const std::string x86 =
      support::TAdvancedRegistry(support::hkLOCAL_MACHINE, "\\Software\\Microsoft\\Windows",
                                 "CurrentVersion")
          .ReadString("ProgramFilesDir (x86)");
  ASSERT_FALSE(profile.empty() || data.empty() || x86.empty());
  const std::string profiles = profile.substr(0, profile.find_last_of('\\') + 1);
  ExpectFaults({
      {profiles, DestinationFault::SharedFolder},
      {profile + "\\", DestinationFault::SharedFolder},
      {profile + "\\Orvik\\", DestinationFault::None},
      {data, DestinationFault::SharedFolder},
      {data + "\\Orvik\\", DestinationFault::None},
      {x86 + "\\", DestinationFault::SharedFolder},
      {x86 + "\\Orvik\\", DestinationFault::None},
      {platform::TempDirectory(), DestinationFault::SharedFolder},
      {setup::ProgramFilesFolder() + "Orvik\\", DestinationFault::None},
  });
#ifdef _WIN32
  // Short names are spelled out before the comparison.
  char brief[MAX_PATH] = {};
  ASSERT_NE(GetShortPathNameA(x86.c_str(), brief, MAX_PATH), 0u);
  ASSERT_NE(std::string(brief), x86);
  ExpectFaults({{brief, DestinationFault::SharedFolder},
                {std::string(brief) + "\\Orvik\\", DestinationFault::None}});
#endif
}

// A link on the way could lead anywhere, and what a user owns the user may
// change: the part of the path that exists is judged as it is.
TEST_F(DestinationTest, WhatExistsOfTheFolderIsJudgedAsItIs) {
  testing_support::ScratchDir dir;
  const std::string real = dir.Path() + "real";
  ASSERT_TRUE(support::CreateDirectoryPath(real + "\\"));
  ExpectFaults({{real + "\\Orvik\\", DestinationFault::None}});
  if (!testing_support::MakeDirectoryLink(dir.Path() + "link", real))
    GTEST_SKIP() << "no directory links here";
  ExpectFaults({{dir.Path() + "link\\", DestinationFault::Link},
                {dir.Path() + "link\\Orvik\\", DestinationFault::Link},
                {dir.Path() + "link\\Orvik\\mail\\", DestinationFault::Link}});
#ifndef _WIN32
  const uid_t other = geteuid() == 4321 ? 4322 : 4321;
  if (chown(platform::posix::MapPath(real).c_str(), other, static_cast<gid_t>(-1)) != 0)
    GTEST_SKIP() << "only root can give a folder away";
  ExpectFaults({{real + "\\", DestinationFault::UserOwned},
                {real + "\\Orvik\\", DestinationFault::UserOwned}});
#endif
}

#ifndef _WIN32
// A drive made with subst is the folder it stands for; one that stands for a
// share is a network drive.
TEST_F(DestinationTest, ASubstDriveIsJudgedAsTheFolderItStandsFor) {
  testing_support::ScratchDir dir;
  ASSERT_TRUE(support::CreateDirectoryPath(dir.Path() + "Data\\"));
  ASSERT_TRUE(simulator::SetSubstDrive('S', "C:\\Windows\\System32"));
  ASSERT_TRUE(simulator::SetSubstDrive('T', "S:\\drivers"));
  ASSERT_TRUE(simulator::SetSubstDrive('Q', dir.Path() + "Data"));
  ASSERT_TRUE(simulator::SetSubstDrive('U', "\\\\server\\share"));
  ExpectFaults({{"S:\\Orvik\\", DestinationFault::WindowsFolder},
                {"T:\\Orvik\\", DestinationFault::WindowsFolder},
                {"U:\\Orvik\\", DestinationFault::Network},
                {"Q:\\Orvik\\", DestinationFault::None}});
  for (char drive : {'S', 'T', 'Q', 'U'}) simulator::SetSubstDrive(drive, "");
}
#endif

TEST(NameTest, OnlyNamesThatStayOneNameAreSafe) {
  struct NameCase {
    std::string name;
    bool safe;
    std::string fileName;  // SafeFileName
  };
  const NameCase cases[] = {
      {"Orvik Mail Server", true, "Orvik Mail Server"},
      {"Start Orvik POP3 / IMAP Service", false, "Start Orvik POP3 - IMAP Service"},
      {"a<b>c:d\"e\\f|g?h*i", false, "a-b-c-d-e-f-g-h-i"},
      {"tab\there", false, "tab-here"},
      {"v1.2 notes", true, "v1.2 notes"},
      {"", false, ""},
      {".", false, ""},
      {"..", false, ""},
      {". .", false, ""},
      {"name.", false, ""},
      {"name ", false, ""},
      {"CON", false, ""},
      {"nul.txt", false, ""},
      {"Com3", false, ""},
      {"LPT1.lnk", false, ""},
      {"aux .x", false, ""},
      {"COM0", true, "COM0"},
      {"connect", true, "connect"},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(setup::IsSafeName(c.name), c.safe) << "\"" << c.name << "\"";
    EXPECT_EQ(setup::SafeFileName(c.name), c.fileName) << "\"" << c.name << "\"";
  }
}

// One device rule for the folders and links setup names and for the entries
// it unpacks: each name below is a device to Windows, or is not, for both.
TEST_F(DestinationTest, DeviceNamesAreOneRuleForFoldersAndArchiveEntries) {
  struct DeviceCase {
    std::string name;
    bool device;
  };
  const DeviceCase cases[] = {
      {"CON", true},     {"nul.txt", true},   {"Com3", true},       {"LPT9.lnk", true},
      {"aux .x", true},  {"prn.a.b", true},   {"CONIN$", true},     {"conout$.log", true},
      {"COM\xB9", true}, {"lpt\xB2.", true},  {"COM\xB3 .x", true}, {"CONIN$ .txt", true},
      {"COM0", false},   {"COM10", false},    {"LPT", false},       {"connect", false},
      {"CONIN", false},  {"CONOUT$x", false}, {"COM\xB4", false},   {"nul2", false},
  };
  for (const DeviceCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(setup::IsSafeName(c.name), !c.device);
    EXPECT_EQ(archive::IsSafeEntryName("sub\\" + c.name), !c.device);
    const DestinationFault fault = setup::CheckDestination("C:\\Orvik\\" + c.name + "\\");
    if (c.device)
      EXPECT_EQ(fault, DestinationFault::BadName);
    else
      EXPECT_NE(fault, DestinationFault::BadName);
  }
}

TEST(NameTest, AFolderIsBelowAnotherOnlyAsWindowsResolvesIt) {
  struct BelowCase {
    std::string folder, parent;
    bool below;
  };
  const BelowCase cases[] = {
      {"C:\\P\\Orvik Mail Server\\", "C:\\P", true},
      {"c:/p/Orvik/", "C:\\P\\", true},
      {"C:\\P\\.\\", "C:\\P", false},
      {"C:\\P\\Orvik\\..\\", "C:\\P", false},
      {"C:\\P\\..\\Q\\", "C:\\P", false},
      {"C:\\P\\. \\", "C:\\P", false},
      {"C:\\P\\\\", "C:\\P", false},
      {"C:\\P\\...\\", "C:\\P", false},
      {"C:\\PX\\", "C:\\P", false},
      {"C:\\P\\x\\", "", false},
  };
  for (const BelowCase& c : cases)
    EXPECT_EQ(setup::IsStrictlyBelow(c.folder, c.parent), c.below) << c.folder << " " << c.parent;
}

}  // namespace

// Shell links and special folders: natively the stand-in's link files and
// folders, under Wine the shell's own link object read back.
#include <gtest/gtest.h>

#include "common/scratch_dir.h"
#include "platform/files.h"
#include "platform/shell.h"

#ifdef _WIN32
#include "common/shell_link_reader.h"
#else
#include "simulator/simulator.h"
#endif

namespace {

using platform::SpecialFolder;
using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

TEST(ShellLinks, NoLinkIntoAMissingFolder) {
  ScratchDir dir;
  const std::string link = dir.Path() + "missing\\Admin.lnk";
  EXPECT_FALSE(platform::CreateShellLink(dir.Path() + "config.exe", link, "", 0));
  EXPECT_FALSE(platform::DirectoryExists(dir.Path() + "missing"));
}

#ifdef _WIN32

TEST(ShellLinks, TheShellReadsBackTargetArgumentsAndIcon) {
  ScratchDir dir;
  const std::string folder = dir.Path() + "Orvik Mail Server\\", target = folder + "setup.exe";
  ASSERT_TRUE(platform::CreateDirectory(folder));
  ASSERT_TRUE(WriteFile(target, "MZ"));
  struct Case {
    std::string arguments;
    int iconIndex;
    std::string iconFile;
  } cases[] = {{"/WEBMAILLOGON", 2, target}, {"", 0, ""}};
  for (const Case& c : cases) {
    const std::string link = folder + "Web Mail " + std::to_string(c.iconIndex) + ".lnk";
    ASSERT_TRUE(platform::CreateShellLink(target, link, c.arguments, c.iconIndex)) << link;
    testing_support::LinkFields fields;
    ASSERT_TRUE(testing_support::ReadLink(link, fields)) << link;
    EXPECT_EQ(fields.target, target);
    EXPECT_EQ(fields.arguments, c.arguments);
    EXPECT_EQ(fields.iconFile, c.iconFile);
    EXPECT_EQ(fields.iconIndex, c.iconIndex);
  }
}

TEST(SpecialFolders, TheShellNamesThem) {
  for (SpecialFolder folder : {SpecialFolder::CommonPrograms, SpecialFolder::Programs}) {
    const std::string path = platform::SpecialFolderPath(folder);
    EXPECT_TRUE(!path.empty() && platform::DirectoryExists(path)) << path;
  }
  // Only named: the prefix's desktop may lead into a home folder.
  EXPECT_FALSE(platform::SpecialFolderPath(SpecialFolder::Desktop).empty());
}

#else

TEST(ShellLinks, StandInWritesALinkAsText) {
  ScratchDir dir;
  const std::string folder = dir.Path() + "Orvik Mail Server\\", link = folder + "Web Mail.lnk";
  ASSERT_TRUE(platform::CreateDirectory(folder));
  EXPECT_TRUE(
      platform::CreateShellLink("C:\\Program Files\\Orvik\\setup.exe", link, "/WEBMAILLOGON", 2));
  EXPECT_EQ(ReadFile(link),
            "Target=C:\\Program Files\\Orvik\\setup.exe\r\nArguments=/WEBMAILLOGON\r\n"
            "IconIndex=2\r\n");
  // A second run replaces the link as a whole.
  EXPECT_TRUE(platform::CreateShellLink("C:\\x.exe", link, "", 0));
  EXPECT_EQ(ReadFile(link), "Target=C:\\x.exe\r\nArguments=\r\nIconIndex=0\r\n");
}

TEST(SpecialFolders, StandInReportsWhatItWasGiven) {
  simulator::SetSpecialFolders("C:\\Users\\u\\Desktop", "C:\\ProgramData\\Programs", "");
  EXPECT_EQ(platform::SpecialFolderPath(SpecialFolder::Desktop), "C:\\Users\\u\\Desktop");
  EXPECT_EQ(platform::SpecialFolderPath(SpecialFolder::CommonPrograms),
            "C:\\ProgramData\\Programs");
  EXPECT_EQ(platform::SpecialFolderPath(SpecialFolder::Programs), "");
  simulator::SetSpecialFolders("", "", "");
}

#endif

}  // namespace

// The installation folder's owner and access list as data, the rule that
// finds a folder users may write to, and setting it through the folder as
// opened.
#include "platform/security.h"

#include <gtest/gtest.h>

#include "common/directory_link.h"
#include "common/scratch_dir.h"
#include "platform/files.h"

#ifndef _WIN32
#include <unistd.h>

#include "platform/posix/posix_platform.h"
#endif

namespace {

using platform::AccessEntry;
using platform::FolderSecurity;
using testing_support::ScratchDir;

constexpr uint8_t kBelow = platform::kInheritObjects | platform::kInheritContainers;

TEST(FolderSecurity, TheInstallationFolderIsTheAdministratorsAndUsersOnlyRead) {
  EXPECT_EQ(platform::ProtectedFolderSecurity(),
            (FolderSecurity{"S-1-5-32-544",
                            true,
                            {{"S-1-5-18", true, 0x1F01FF, kBelow},
                             {"S-1-5-32-544", true, 0x1F01FF, kBelow},
                             {"S-1-5-32-545", true, 0x1200A9, kBelow}}}));
  EXPECT_TRUE(platform::UserWritableEntries(platform::ProtectedFolderSecurity()).empty());
}

TEST(FolderSecurity, GrantsThatLetAUserChangeTheFolderAreFound) {
  const uint32_t modify = 0x1301BF, readExecute = 0x1200A9;
  const std::string someone = "S-1-5-21-1004336348-1177238915-682003330-1001";
  struct Case {
    AccessEntry entry;
    bool writable;
  } cases[] = {
      // A default drive root passes these on to a folder made below it.
      {{"S-1-5-11", true, modify, kBelow | platform::kInheritOnly | platform::kInherited}, true},
      {{"S-1-5-11", true, platform::kRightAppendData, platform::kInherited}, true},
      {{"S-1-1-0", true, platform::kRightGenericWrite, kBelow}, true},
      {{"S-1-5-32-545", true, platform::kRightWriteData, 0}, true},
      {{"S-1-5-32-545", true, platform::kRightDeleteChild, 0}, true},
      {{someone, true, platform::kRightDelete, 0}, true},
      {{someone, true, platform::kRightWriteDac, 0}, true},
      {{someone, true, platform::kRightWriteOwner, 0}, true},
      {{someone, true, platform::kRightGenericAll, kBelow}, true},
      {{"S-1-5-32-545", true, readExecute, kBelow}, false},
      {{"S-1-1-0", false, platform::kRightFullControl, kBelow}, false},  // a denial
      {{"S-1-5-18", true, platform::kRightFullControl, kBelow}, false},
      {{"S-1-5-32-544", true, platform::kRightGenericAll, kBelow}, false},
      {{platform::kSidTrustedInstaller, true, platform::kRightFullControl, 0}, false},
      {{"S-1-3-0", true, platform::kRightGenericAll, kBelow | platform::kInheritOnly}, false},
  };
  for (const Case& c : cases) {
    const FolderSecurity security{"S-1-5-32-544", false, {c.entry}};
    EXPECT_EQ(platform::UserWritableEntries(security).size(), c.writable ? 1u : 0u)
        << c.entry.Sid << " " << std::hex << c.entry.Rights;
  }
}

TEST(FolderSecurity, AnOwnerIsAnAdministratorOnlyAsSystemAdministratorsOrSetupsOwnUser) {
  EXPECT_TRUE(platform::IsAdministratorOwner("S-1-5-18"));
  EXPECT_TRUE(platform::IsAdministratorOwner("S-1-5-32-544"));
  EXPECT_TRUE(platform::IsAdministratorOwner(platform::kSidTrustedInstaller));
  EXPECT_TRUE(platform::IsAdministratorOwner(platform::CurrentUserSid()));
  EXPECT_FALSE(platform::IsAdministratorOwner("S-1-5-21-1004336348-1177238915-682003330-1001"));
  EXPECT_FALSE(platform::IsAdministratorOwner("S-1-5-32-545"));
}

// The check sees where the opened folder is, every link on the way resolved;
// a folder that is a link is not opened as one.
TEST(FolderSecurity, TheFolderIsSetOnlyAsOpenedAndWhereTheCheckAccepts) {
  ScratchDir dir;
  const std::string real = dir.Path() + "real", link = dir.Path() + "link";
  ASSERT_TRUE(platform::CreateDirectory(real));
  ASSERT_TRUE(platform::CreateDirectory(real + "\\Orvik"));
  std::string seen;
  auto check = [&](bool accept) {
    return [&seen, accept](const std::string& finalPath, const FolderSecurity& current) {
      seen = finalPath;
      EXPECT_TRUE(platform::IsAdministratorOwner(current.Owner)) << current.Owner;
      return accept;
    };
  };
  const FolderSecurity wanted = platform::ProtectedFolderSecurity();
  EXPECT_EQ(platform::SetFolderSecurity(real + "\\Orvik\\", wanted, check(true)),
            platform::SecureResult::Done);
  EXPECT_EQ(platform::LongPathName(seen), platform::LongPathName(real + "\\Orvik"));
  if (!testing_support::MakeDirectoryLink(link, real)) GTEST_SKIP() << "no directory links here";
  EXPECT_EQ(platform::SetFolderSecurity(link + "\\", wanted, check(true)),
            platform::SecureResult::Link);
  seen.clear();
  EXPECT_EQ(platform::SetFolderSecurity(link + "\\Orvik\\", wanted, check(false)),
            platform::SecureResult::Refused);
  EXPECT_EQ(platform::LongPathName(seen), platform::LongPathName(real + "\\Orvik"));
}

#ifndef _WIN32
// Natively a user id other than root's and setup's own stands for such a user.
TEST(FolderSecurity, AFolderAnotherUserOwnsIsNoAdministrators) {
  ScratchDir dir;
  const std::string folder = dir.Path() + "theirs";
  ASSERT_TRUE(platform::CreateDirectory(folder));
  const uid_t other = geteuid() == 4321 ? 4322 : 4321;
  if (chown(platform::posix::MapPath(folder).c_str(), other, static_cast<gid_t>(-1)) != 0)
    GTEST_SKIP() << "only root can give a folder away";
  FolderSecurity security;
  ASSERT_TRUE(platform::ReadFolderSecurity(folder, security));
  EXPECT_EQ(security.Owner, "S-1-22-1-" + std::to_string(other));
  EXPECT_FALSE(platform::IsAdministratorOwner(security.Owner));
}
#endif

}  // namespace

// The first-run wizard's values applied to an installation's configuration:
// what each file holds afterwards, and what is refused or stopped with nothing
// (more) written.
#include <gtest/gtest.h>

#include "serverconfig/config_fixture.h"
#include "serverconfig/first_run_wizard.h"
#include "support/file_utils.h"

namespace serverconfig_test {
namespace {

namespace s = serverconfig::settings;
namespace a = serverconfig::account;
using serverconfig::FirstRunResult;
using serverconfig::FirstRunValues;

class FirstRunTest : public ConfigTest {
 protected:
  FirstRunTest() {
    support::CreateDirectoryPath(dir_.Path() + "config\\");
    WriteDomainList({"old.example"});
    WriteSettings(false);
  }
  void WriteSettings(bool encrypt) {
    TFixedRecord settings(s::kRecordSize);
    settings.SetDWord(s::kDomainCount, 1);
    settings.SetByte(s::kDomainsConverted, 1);
    settings.SetByte(s::kEncryptPasswords, encrypt ? 1 : 0);
    settings.SetStr(s::kHostName, s::kHostNameSize, "old.host");
    WriteScrambled(Config("settings.cfg"), settings);
  }
  FirstRunResult Apply(const FirstRunValues& values) {
    ResetStore();
    return serverconfig::ApplyFirstRun(*store_, dir_.Path(), values, [this] { ++told_; });
  }
  // The files a refused or stopped run must leave as they were.
  std::string Files() {
    return testing_support::ReadFile(Config("settings.cfg")) + "|" +
           testing_support::ReadFile(Config("domains.cfg")) + "|" +
           testing_support::ReadFile(Config("old.example\\users.cfg"));
  }
  int told_ = 0;
};

TEST_F(FirstRunTest, WritesHostNamePrimaryDomainAndAdministrator) {
  FirstRunResult result = Apply({" mail.example.com ", " New.Example\t", " admin ", " pass "});
  ASSERT_EQ(result.Outcome, FirstRunResult::Applied) << result.Text;
  EXPECT_EQ(told_, 1);

  TFixedRecord settings = ReadScrambled(Config("settings.cfg"), s::kRecordSize);
  EXPECT_EQ(settings.Str(s::kHostName, s::kHostNameSize), "mail.example.com");
  for (std::size_t field : {s::kTempDir, s::kMailDir, s::kLogsDir})
    EXPECT_EQ(settings.Str(field, s::kDirSize), "") << field;
  std::string list = testing_support::ReadFile(Config("domains.cfg"));
  ASSERT_EQ(list.size(), 2u * 96);
  EXPECT_EQ(list.substr(0, 12), std::string("\x0bnew.example", 12));  // primary: index 0
  EXPECT_EQ(list.substr(96, 12), std::string("\x0bold.example", 12));
  TFixedRecord domain =
      ReadScrambled(Config("new.example\\domain.cfg"), serverconfig::domain::kRecordSize);
  EXPECT_EQ(domain.Str(serverconfig::domain::kAdminAddress, serverconfig::domain::kFieldSize),
            "admin@New.Example");  // the domain as typed, trimmed

  TFixedRecord user = ReadScrambled(Config("new.example\\users.cfg"), a::kRecordSize);
  EXPECT_EQ(platform::FileSize(Config("new.example\\users.cfg")), int64_t(a::kRecordSize));
  EXPECT_EQ(user.Byte(a::kWizardAdministrator), 1);
  EXPECT_EQ(user.Str(a::kAlias, a::kAliasSize), "admin");
  EXPECT_EQ(user.Str(a::kUserName, a::kUserNameSize), "admin");
  EXPECT_EQ(user.Str(a::kFullName, a::kFullNameSize), "Admin");
  EXPECT_EQ(user.Str(a::kMailbox, a::kMailboxSize), "New.Example\\admin\\");
  EXPECT_EQ(user.Str(a::kPassword, a::kPasswordSize), " pass ");  // stored as typed
}

TEST_F(FirstRunTest, AccountFieldsFollowTheUserAndPassword) {
  struct Case {
    bool encrypt;
    std::string user, password, mailbox;
  };
  const Case cases[] = {
      {false, "a;b", "", "d0.example\\a\\"},
      {true, "Root", "", "d1.example\\Root\\"},
      {false, "x", std::string(127, 'p'), "d2.example\\x\\"},
      {true, "y", std::string(93, 'p'), "d3.example\\y\\"},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string domain = "d";
    domain += std::to_string(n++);
    domain += ".example";
    WriteSettings(c.encrypt);
    FirstRunResult result = Apply({"host", domain, c.user, c.password});
    ASSERT_EQ(result.Outcome, FirstRunResult::Applied) << c.user << ": " << result.Text;
    TFixedRecord user(a::kRecordSize);
    ASSERT_EQ(store_->Accounts.ReadAccount(domain, user, 0), 1) << c.user;
    EXPECT_EQ(user.Str(a::kAlias, a::kAliasSize), c.user);
    EXPECT_EQ(user.Str(a::kMailbox, a::kMailboxSize), c.mailbox);
    EXPECT_EQ(user.Str(a::kPassword, a::kPasswordSize), c.password) << c.user;
  }
}

TEST_F(FirstRunTest, RefusedValuesAndAnExistingDomainWriteNothing) {
  struct Case {
    bool encrypt;
    FirstRunValues values;
    FirstRunResult::Kind outcome;
  };
  const Case cases[] = {
      {false, {"host", "OLD.Example", "admin", "pw"}, FirstRunResult::DomainExists},
      {false, {" \t", "new.example", "admin", "pw"}, FirstRunResult::Failed},
      {false, {"host", "   ", "admin", "pw"}, FirstRunResult::Failed},
      {false, {"host", "a/b.example", "admin", "pw"}, FirstRunResult::Failed},
      {false, {"host", "new.example", "..\\..\\x", "pw"}, FirstRunResult::Failed},
      {false, {"host", "new.example", " ", "pw"}, FirstRunResult::Failed},
      {false, {"host", "new.example", "admin", std::string(128, 'p')}, FirstRunResult::Failed},
      {true, {"host", "new.example", "admin", std::string(94, 'p')}, FirstRunResult::Failed},
  };
  for (const Case& c : cases) {
    WriteSettings(c.encrypt);
    std::string before = Files();
    FirstRunResult result = Apply(c.values);
    EXPECT_EQ(result.Outcome, c.outcome) << c.values.Domain << "/" << c.values.User;
    EXPECT_FALSE(result.Text.empty());
    EXPECT_TRUE(Files() == before) << c.values.Domain << "/" << c.values.User;
    EXPECT_FALSE(support::DirExists(Config("new.example"))) << c.values.User;
  }
  EXPECT_EQ(told_, 0);
}

TEST_F(FirstRunTest, AFailedStepStopsThere) {
  // A file where the domain's folder belongs: the domain cannot be created, so
  // nothing is saved.
  std::string before = Files();
  ASSERT_TRUE(testing_support::WriteFile(Config("new.example"), "in the way"));
  FirstRunResult result = Apply({"host", "new.example", "admin", "pw"});
  EXPECT_EQ(result.Outcome, FirstRunResult::Failed);
  EXPECT_TRUE(Files() == before);
  EXPECT_EQ(told_, 0);

  // settings.cfg that cannot be read is not saved: no account, no modules told.
  platform::DeleteFile(Config("settings.cfg"));
  ASSERT_TRUE(platform::CreateDirectory(Config("settings.cfg")));
  result = Apply({"host", "other.example", "admin", "pw"});
  EXPECT_EQ(result.Outcome, FirstRunResult::Failed);
  EXPECT_FALSE(result.Text.empty());
  EXPECT_FALSE(platform::FileExists(Config("other.example\\users.cfg")));
  EXPECT_EQ(told_, 0);
}

}  // namespace
}  // namespace serverconfig_test

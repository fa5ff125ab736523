// users.cfg: counting, reading, finding, iterating and saving accounts, the
// password encryption and what a save does in the mailbox.
#include <gtest/gtest.h>

#include "common/directory_link.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "serverconfig/config_fixture.h"
#include "serverconfig/new_objects.h"
#include "support/file_utils.h"

namespace serverconfig_test {
namespace {

namespace s = serverconfig::settings;
namespace a = serverconfig::account;
using serverconfig::NewAccountRecord;

TEST(PasswordCipherTest, RoundTripAndStoredForms) {
  std::string stored = serverconfig::EncryptPassword("secret password");
  EXPECT_EQ(stored.substr(0, 3), "~#1");
  EXPECT_NE(stored.find_first_not_of("~#1"), std::string::npos);
  EXPECT_EQ(serverconfig::DecryptPassword(stored), "secret password");
  EXPECT_EQ(serverconfig::EncryptPassword("secret password"), stored);  // no chain carried over
  EXPECT_EQ(serverconfig::DecryptPassword(serverconfig::EncryptPassword("")), "");
  // Short and unmarked texts, and texts that are no Base64, stay as they are.
  EXPECT_EQ(serverconfig::DecryptPassword("~#"), "~#");
  EXPECT_EQ(serverconfig::DecryptPassword("~"), "~");
  EXPECT_EQ(serverconfig::DecryptPassword("plain"), "plain");
  EXPECT_EQ(serverconfig::DecryptPassword("~#1not base64!"), "~#1not base64!");
  EXPECT_EQ(serverconfig::EncryptPassword(std::string(200, 'x')).size(), 127u);
  // The longest password whose encrypted form fits the field, and one more.
  std::string longest(a::kMaxEncryptedPassword, 'x');
  EXPECT_EQ(serverconfig::DecryptPassword(serverconfig::EncryptPassword(longest)), longest);
  EXPECT_NE(serverconfig::DecryptPassword(serverconfig::EncryptPassword(longest + "x")),
            longest + "x");
}

class AccountStoreTest : public ConfigTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(store_->LoadServerConfig(false, false));
    ASSERT_EQ(
        serverconfig::CreateDomain(*store_, "acc.example", serverconfig::NewDomainRecord(""), ""),
        0);
  }
  serverconfig::TAccountStore& Accounts() { return store_->Accounts; }
  int Add(const std::string& alias, const std::string& password = "pw", uint8_t kind = a::kUser) {
    TFixedRecord record = NewAccountRecord("acc.example", alias, password, kind);
    int index = -1;
    EXPECT_TRUE(Accounts().SaveAccount("acc.example", record, index, "tester"));
    return index;
  }
  std::string UsersFile() { return Config("acc.example\\users.cfg"); }
};

TEST_F(AccountStoreTest, SavingAppendsCountsAndReadsBack) {
  EXPECT_EQ(Accounts().AccountCount("acc.example"), 0);  // no users.cfg yet
  EXPECT_EQ(Add("one"), 0);
  EXPECT_EQ(Add("two;second"), 1);
  EXPECT_EQ(Add("three"), 2);
  EXPECT_EQ(platform::FileSize(UsersFile()), 3 * 2848);
  EXPECT_EQ(Accounts().AccountCount("acc.example"), 3);
  EXPECT_EQ(Accounts().AccountCount(""), 3);

  // Saving with the index of the record count appends.
  TFixedRecord record = NewAccountRecord("acc.example", "four", "pw", a::kUser);
  int index = 3;
  ASSERT_TRUE(Accounts().SaveAccount("acc.example", record, index, ""));
  EXPECT_EQ(index, 3);
  EXPECT_EQ(Accounts().AccountCount("acc.example"), 4);
  // An index beyond the end would leave a gap: refused.
  index = 9;
  EXPECT_FALSE(Accounts().SaveAccount("acc.example", record, index, ""));
  // No alias, nothing stored.
  TFixedRecord empty(a::kRecordSize);
  index = -1;
  EXPECT_FALSE(Accounts().SaveAccount("acc.example", empty, index, ""));

  TFixedRecord read(a::kRecordSize);
  EXPECT_EQ(Accounts().ReadAccount("ACC.example", read, 1), 4);
  EXPECT_EQ(read.Str(a::kAlias, a::kAliasSize), "two;second");
  EXPECT_EQ(read.Str(a::kFullName, a::kFullNameSize), "Two;second");
  EXPECT_EQ(read.Str(a::kMailbox, a::kMailboxSize), "acc.example\\two\\");
  EXPECT_EQ(Accounts().ReadAccount("acc.example", read, 4), 4);
  EXPECT_EQ(read.Str(a::kAlias, a::kAliasSize), "");
  EXPECT_EQ(Accounts().ReadAccount("none.example", read, 0), 0);
}

TEST_F(AccountStoreTest, AliasesAreFoundByAnyNameAndPattern) {
  Add("first");
  Add("alpha;Beta");
  Add("[sales-*");
  EXPECT_EQ(Accounts().FindAccount("acc.example", "BETA"), 1);
  EXPECT_EQ(Accounts().FindAccount("acc.example", "nobody;alpha"), 1);
  EXPECT_EQ(Accounts().FindAccount("acc.example", "Sales-East"), 2);
  EXPECT_EQ(Accounts().FindAccount("acc.example", "sales"), -1);
  EXPECT_EQ(Accounts().FindAccount("acc.example", "bet"), -1);
  EXPECT_EQ(Accounts().FindAccount("missing.example", "first"), -1);
  // A cached answer does not outlive a change of the file.
  EXPECT_EQ(Accounts().FindAccount("acc.example", "late"), -1);
  EXPECT_EQ(Add("late"), 3);
  EXPECT_EQ(Accounts().FindAccount("acc.example", "late"), 3);
  // A settled file's answers are cached while its time stamp stays.
  double settled = platform::Now() - 1;
  ASSERT_TRUE(platform::SetFileModified(UsersFile(), settled));
  EXPECT_EQ(Accounts().FindAccount("acc.example", "first"), 0);
  std::string bytes = testing_support::ReadFile(UsersFile());
  ASSERT_TRUE(support::SaveStringToFile(bytes.substr(a::kRecordSize), UsersFile()));
  ASSERT_TRUE(platform::SetFileModified(UsersFile(), settled));
  EXPECT_EQ(Accounts().FindAccount("acc.example", "first"), 0);  // the cached answer
  ASSERT_TRUE(platform::SetFileModified(UsersFile(), settled + 0.5));
  EXPECT_EQ(Accounts().FindAccount("acc.example", "first"), -1);
  EXPECT_EQ(Accounts().FindAccount("acc.example", "late"), 2);
}

TEST_F(AccountStoreTest, PasswordsAreEncryptedWhenTheSettingsAskForIt) {
  store_->Settings.SetByte(s::kEncryptPasswords, 1);
  Add("crypt", "my secret");
  Add("group", "group secret", a::kGroup);
  TFixedRecord raw = ReadScrambled(UsersFile(), a::kRecordSize);
  EXPECT_EQ(raw.Str(a::kPassword, a::kPasswordSize).substr(0, 3), "~#1");
  TFixedRecord read(a::kRecordSize);
  Accounts().ReadAccount("acc.example", read, 0);
  EXPECT_EQ(read.Str(a::kPassword, a::kPasswordSize), "my secret");
  Accounts().ReadAccount("acc.example", read, 1);
  EXPECT_EQ(read.Str(a::kPassword, a::kPasswordSize), "group secret");  // groups stay plain

  // A password whose encrypted form would not fit is refused: neither cut
  // (lost for good) nor kept plain.
  std::string long_password(a::kMaxEncryptedPassword + 1, 'p');
  TFixedRecord record = NewAccountRecord("acc.example", "long", long_password, a::kUser);
  int index = -1;
  std::string reason;
  EXPECT_FALSE(Accounts().SaveAccount("acc.example", record, index, "", &reason));
  EXPECT_NE(reason.find("longer than 93 characters, too long to be stored encrypted"),
            std::string::npos)
      << reason;
  long_password.pop_back();
  Add("longest", long_password);
  Accounts().ReadAccount("acc.example", read, 2);
  EXPECT_EQ(read.Str(a::kPassword, a::kPasswordSize), long_password);

  store_->Settings.SetByte(s::kEncryptPasswords, 0);
  Add("plain", std::string(127, 'p'));
  Add("short", "~#");
  Accounts().ReadAccount("acc.example", read, 4);
  EXPECT_EQ(read.Str(a::kPassword, a::kPasswordSize), "~#");
  Accounts().ReadAccount("acc.example", read, 3);
  EXPECT_EQ(read.Str(a::kPassword, a::kPasswordSize), std::string(127, 'p'));
  EXPECT_EQ(platform::FileSize(UsersFile()), 5 * 2848);
}

TEST_F(AccountStoreTest, DamagedFilesGivePartialResults) {
  Add("one");
  Add("two");
  std::string bytes = testing_support::ReadFile(UsersFile());
  // Cut inside the second record; a stored password that is no Base64.
  ASSERT_TRUE(support::SaveStringToFile(bytes.substr(0, a::kRecordSize + 100), UsersFile()));
  EXPECT_EQ(Accounts().AccountCount("acc.example"), 1);
  EXPECT_EQ(Accounts().FindAccount("acc.example", "two"), -1);
  TFixedRecord record = ReadScrambled(UsersFile(), a::kRecordSize);
  record.SetStr(a::kPassword, a::kPasswordSize, "~#1%%%");
  WriteScrambled(UsersFile(), record);
  TFixedRecord read(a::kRecordSize);
  EXPECT_EQ(Accounts().ReadAccount("acc.example", read, 0), 1);
  EXPECT_EQ(read.Str(a::kPassword, a::kPasswordSize), "~#1%%%");
  // The partial record is overwritten by the next append.
  EXPECT_EQ(Add("three"), 1);
  EXPECT_EQ(platform::FileSize(UsersFile()), 2 * 2848);
}

TEST_F(AccountStoreTest, IterationSkipsAndFilters) {
  for (std::string alias : {"ann", "bob", "anita", "carl", "andy"}) Add(alias);
  serverconfig::TAccountIterator it;
  std::vector<std::string> seen;
  ASSERT_TRUE(Accounts().OpenAccounts("acc.example", it, "an*", true, 0));
  while (!Accounts().NextAccount(it))
    seen.push_back(it.Record.Str(a::kAlias, a::kAliasSize) + "@" + std::to_string(it.Index));
  EXPECT_EQ(seen, (std::vector<std::string>{"ann@0", "anita@2", "andy@4"}));
  Accounts().CloseAccounts(it);
  EXPECT_FALSE(it.Open);

  seen.clear();
  ASSERT_TRUE(Accounts().OpenAccounts("acc.example", it, "", false, 3));
  while (!Accounts().NextAccount(it)) seen.push_back(it.Record.Str(a::kAlias, a::kAliasSize));
  EXPECT_EQ(seen, (std::vector<std::string>{"carl", "andy"}));
  // Skipping past the end starts at the beginning, as the file has fewer records.
  ASSERT_TRUE(Accounts().OpenAccounts("acc.example", it, "", false, 9));
  EXPECT_FALSE(Accounts().NextAccount(it));
  EXPECT_EQ(it.Index, 0);
  EXPECT_FALSE(Accounts().OpenAccounts("none.example", it, "", false, 0));
  EXPECT_TRUE(Accounts().NextAccount(it));
}

TEST_F(AccountStoreTest, MailboxFilesAfterASave) {
  std::string messages = dir_.Path() + "welcome.txt";
  ASSERT_TRUE(support::SaveStringToFile("Welcome aboard\r\n", messages));
  ASSERT_TRUE(support::SaveStringToFile(
      "# welcome messages\r\nother.example " + messages + "\r\n*=" + messages + "\r\n",
      Config("messages.dat")));
  store_->Settings.SetByte(s::kWelcomeMessages, 1);
  std::string mailbox = store_->Dirs.MailDir + "acc.example\\";
  ASSERT_TRUE(support::SaveStringToFile("auto reply", mailbox + "new\\respond.dat"));

  TFixedRecord record = NewAccountRecord("acc.example", "new", "pw", a::kUser);
  record.SetDWord(a::kActiveLimit, 70000);
  int index = -1;
  ASSERT_TRUE(Accounts().SaveAccount("acc.example", record, index, ""));
  EXPECT_EQ(testing_support::ReadFile(mailbox + "new\\welcome.tmp"), "Welcome aboard\r\n");
  EXPECT_FALSE(platform::FileExists(mailbox + "new\\respond.dat"));
  EXPECT_TRUE(platform::FileExists(mailbox + "new\\active.dat"));

  // An IMAP account gets it in its inbox; an update gets none.
  record = NewAccountRecord("acc.example", "imap", "pw", a::kUser);
  record.SetByte(a::kImapInbox, 1);
  record.SetByte(a::kOptions, 2);
  index = -1;
  ASSERT_TRUE(Accounts().SaveAccount("acc.example", record, index, ""));
  EXPECT_TRUE(platform::FileExists(mailbox + "imap\\inbox\\welcome.imap"));
  platform::DeleteFile(mailbox + "imap\\inbox\\welcome.imap");
  ASSERT_TRUE(support::SaveStringToFile("kept", mailbox + "imap\\respond.dat"));
  ASSERT_TRUE(Accounts().SaveAccount("acc.example", record, index, ""));
  EXPECT_FALSE(platform::FileExists(mailbox + "imap\\inbox\\welcome.imap"));
  EXPECT_TRUE(platform::FileExists(mailbox + "imap\\respond.dat"));
}

TEST_F(AccountStoreTest, RenamingTheFirstAliasMovesADerivedMailbox) {
  Add("old;other");
  std::string mail = store_->Dirs.MailDir;
  ASSERT_TRUE(support::SaveStringToFile("mail", mail + "acc.example\\old\\1.imap"));
  TFixedRecord record(a::kRecordSize);
  Accounts().ReadAccount("acc.example", record, 0);
  record.SetStr(a::kAlias, a::kAliasSize, "renamed;other");
  int index = 0;
  ASSERT_TRUE(Accounts().SaveAccount("acc.example", record, index, ""));
  EXPECT_EQ(record.Str(a::kMailbox, a::kMailboxSize), "acc.example\\renamed\\");
  EXPECT_EQ(testing_support::ReadFile(mail + "acc.example\\renamed\\1.imap"), "mail");
  EXPECT_FALSE(platform::DirectoryExists(mail + "acc.example\\old"));
  EXPECT_EQ(Accounts().AccountCount("acc.example"), 1);
}

TEST_F(AccountStoreTest, AMailboxMovesOnlyToAFreeFolderOfItsOwn) {
  Add("old");
  Add("taken");
  Add("new");  // no mailbox folder yet
  std::string mail = store_->Dirs.MailDir;
  ASSERT_TRUE(support::SaveStringToFile("mine", mail + "acc.example\\old\\1.imap"));
  ASSERT_TRUE(support::SaveStringToFile("theirs", mail + "acc.example\\taken\\1.imap"));
  std::string before = testing_support::ReadFile(UsersFile());
  // Another account's folder, a folder outside the mail directory, no folder.
  const struct {
    int index;
    const char* alias;
  } refused[] = {{0, "Taken"}, {2, "taken"}, {0, "..\\..\\escaped;old"},
                 {0, ".."},    {0, "con"},   {0, "*;old"}};
  for (const auto& rename : refused) {
    TFixedRecord record(a::kRecordSize);
    Accounts().ReadAccount("acc.example", record, rename.index);
    std::string mailbox = record.Str(a::kMailbox, a::kMailboxSize);
    record.SetStr(a::kAlias, a::kAliasSize, rename.alias);
    int index = rename.index;
    std::string reason;
    EXPECT_FALSE(Accounts().SaveAccount("acc.example", record, index, "", &reason)) << rename.alias;
    EXPECT_FALSE(reason.empty()) << rename.alias;
    EXPECT_EQ(record.Str(a::kMailbox, a::kMailboxSize), mailbox) << rename.alias;
  }
  EXPECT_EQ(testing_support::ReadFile(UsersFile()), before);
  EXPECT_EQ(testing_support::ReadFile(mail + "acc.example\\old\\1.imap"), "mine");
  EXPECT_EQ(testing_support::ReadFile(mail + "acc.example\\taken\\1.imap"), "theirs");
  EXPECT_FALSE(platform::DirectoryExists(dir_.Path() + "escaped"));
}

// Something at users.cfg's place that does not open, here a link whose target
// is gone, is never replaced by a new file.
TEST_F(AccountStoreTest, UsersCfgIsCreatedOnlyWhereNothingIs) {
  ASSERT_TRUE(support::CreateDirectoryPath(Config("acc.example\\")));
  if (!testing_support::MakeDirectoryLink(UsersFile(), Config("acc.example\\gone")))
    GTEST_SKIP() << "no symbolic links here";
  TFixedRecord record = NewAccountRecord("acc.example", "one", "pw", a::kUser);
  int index = -1;
  std::string reason;
  EXPECT_FALSE(Accounts().SaveAccount("acc.example", record, index, "", &reason));
  EXPECT_NE(reason.find("exists but could not be opened"), std::string::npos) << reason;
  EXPECT_EQ(platform::GetFileAttributes(Config("acc.example\\gone")), platform::kInvalidAttributes);
}

}  // namespace
}  // namespace serverconfig_test

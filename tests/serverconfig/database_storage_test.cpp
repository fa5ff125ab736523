// Database storage (account storage mode 2) end to end, through the db.dll
// stand-in of testbed/ copied into the installation folder.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/system.h"
#include "serverconfig/config_fixture.h"
#include "serverconfig/new_objects.h"

namespace serverconfig_test {
namespace {

namespace s = serverconfig::settings;
namespace a = serverconfig::account;

class DatabaseStorageTest : public ConfigTest {
 protected:
  void SetUp() override {
    TFixedRecord settings(s::kRecordSize);
    settings.SetByte(s::kFormatMarker, 1);
    settings.SetByte(s::kStorageMode, s::kStorageDatabase);
    settings.SetByte(s::kDomainsConverted, 1);
    WriteScrambled(Config("settings.cfg"), settings);
  }
  void InstallLibrary(const std::string& folder = "") {
    ASSERT_TRUE(platform::CreateDirectory(dir_.Path() + folder) || folder.empty());
    ASSERT_TRUE(platform::CopyFile(BuiltStandin(), dir_.Path() + folder + "db.dll", false));
  }
  std::string Calls(const std::string& folder = "") {
    return testing_support::ReadFile(dir_.Path() + folder + "db.dll.calls");
  }
  void Load() {
    ResetStore();
    ASSERT_TRUE(store_->LoadServerConfig(false, false));
  }
};

TEST_F(DatabaseStorageTest, DomainsAndAccountsLiveInTheLibrary) {
  InstallLibrary();
  Load();
  ASSERT_TRUE(store_->UsesDatabase());
  for (std::string name : {"first.example", "Second.Example"})
    ASSERT_GE(serverconfig::CreateDomain(*store_, name, serverconfig::NewDomainRecord("a@b"), "t"),
              0);
  for (std::string alias : {"ann", "bob;robert"}) {
    TFixedRecord record = serverconfig::NewAccountRecord("second.example", alias, "pw", a::kUser);
    int index = -1;
    ASSERT_TRUE(store_->Accounts.SaveAccount("second.example", record, index, "t"));
    EXPECT_GE(index, 0);
  }
  store_->Domains.MakePrimaryDomain(1);
  store_->Database.ReleaseDatabase();
  EXPECT_NE(Calls().find("DBAddDomain second.example"), std::string::npos);
  EXPECT_NE(Calls().find("DBMakeDomainPrimary second.example"), std::string::npos);
  EXPECT_NE(Calls().find("DBDoneConnection"), std::string::npos);

  // A new process: the list comes from the library, not from domains.cfg.
  platform::DeleteFile(Config("domains.cfg"));
  Load();
  ASSERT_EQ(store_->Domains.DomainCount(), 2);
  EXPECT_EQ(store_->Domains.DomainName(0), "second.example");
  EXPECT_EQ(store_->Domains.FindDomain("FIRST.example"), 1);
  TFixedRecord domain_record(serverconfig::domain::kRecordSize);
  EXPECT_TRUE(store_->Domains.ReadDomainRecord("first.example", domain_record));
  EXPECT_EQ(domain_record.Str(serverconfig::domain::kAdminAddress, 256), "a@b");

  EXPECT_EQ(store_->Accounts.AccountCount("second.example"), 2);
  EXPECT_EQ(store_->Accounts.AccountCount(""), 2);
  EXPECT_EQ(store_->Accounts.FindAccount("second.example", "ROBERT"), 1);
  TFixedRecord record(a::kRecordSize);
  EXPECT_EQ(store_->Accounts.ReadAccount("second.example", record, 0), 2);
  EXPECT_EQ(record.Str(a::kAlias, a::kAliasSize), "ann");
  serverconfig::TAccountIterator it;
  std::vector<std::string> seen;
  ASSERT_TRUE(store_->Accounts.OpenAccounts("second.example", it, "b*", true, 0));
  while (!store_->Accounts.NextAccount(it))
    seen.push_back(it.Record.Str(a::kAlias, a::kAliasSize) + "@" + std::to_string(it.Index));
  store_->Accounts.CloseAccounts(it);
  EXPECT_EQ(seen, (std::vector<std::string>{"bob;robert@1"}));
  // Nothing went to the files of the file storage.
  EXPECT_FALSE(platform::FileExists(Config("second.example\\users.cfg")));
}

TEST_F(DatabaseStorageTest, ALibraryThatNamesDomainsButDeliversNoneLeavesTheListAlone) {
  InstallLibrary();
  Load();
  for (std::string name : {"first.example", "second.example"})
    ASSERT_GE(serverconfig::CreateDomain(*store_, name, serverconfig::NewDomainRecord(""), ""), 0);
  ASSERT_TRUE(store_->SaveServerConfig(false));
  store_->Database.ReleaseDatabase();
  std::string list = testing_support::ReadFile(Config("domains.cfg"));
  ASSERT_EQ(list.size(), 2 * 96u);

  ASSERT_TRUE(testing_support::WriteFile(dir_.Path() + "db.dll.fail", "DBGetDomains\r\n"));
  Load();
  EXPECT_EQ(store_->Domains.DomainCount(), 2);
  EXPECT_EQ(store_->Domains.FindDomain("second.example"), 1);
  ASSERT_TRUE(store_->SaveServerConfig(false));
  EXPECT_EQ(testing_support::ReadFile(Config("domains.cfg")), list);
  EXPECT_EQ(ReadScrambled(Config("settings.cfg"), s::kRecordSize).DWord(s::kDomainCount), 2u);
}

TEST_F(DatabaseStorageTest, TheLibraryIsFoundInLibAndItsFailuresAreNoSuccess) {
  InstallLibrary("lib\\");
  Load();
  EXPECT_TRUE(store_->UsesDatabase());
  ASSERT_TRUE(testing_support::WriteFile(dir_.Path() + "lib\\db.dll.fail", ""));
  TFixedRecord record = serverconfig::NewAccountRecord("x.example", "ann", "pw", a::kUser);
  int index = -1;
  EXPECT_FALSE(store_->Accounts.SaveAccount("x.example", record, index, ""));
  EXPECT_EQ(store_->Accounts.FindAccount("x.example", "ann"), -1);
}

TEST_F(DatabaseStorageTest, WithoutTheLibraryNothingIsStoredAndTheErrorIsLogged) {
  Load();
  EXPECT_FALSE(store_->UsesDatabase());
  TFixedRecord record = serverconfig::NewAccountRecord("x.example", "ann", "pw", a::kUser);
  int index = -1;
  EXPECT_FALSE(store_->Accounts.SaveAccount("x.example", record, index, ""));
  EXPECT_EQ(store_->Accounts.AccountCount("x.example"), 0);
  EXPECT_FALSE(platform::FileExists(Config("x.example\\users.cfg")));

  std::vector<platform::DirEntry> logs;
  ASSERT_TRUE(platform::ListDirectory(store_->Dirs.LogsDir + "error*.log", logs));
  ASSERT_FALSE(logs.empty());
  std::string line = testing_support::ReadFile(store_->Dirs.LogsDir + logs[0].name);
  EXPECT_NE(line.find("function LoadLibrary('" + dir_.Path() + "db.dll') error 126 : "),
            std::string::npos)
      << line;
}

// The setup runs elevated: no word of its command line makes it load db.dll (or
// read path.dat) from a folder of the caller's choice.
TEST_F(DatabaseStorageTest, NoCommandLineOptionChoosesTheFolderTheLibraryComesFrom) {
  InstallLibrary();
  const std::vector<std::string> saved = platform::CommandLineArgs();
  const std::string option = "/InstallDir=" + dir_.Path();
  const char* argv[] = {"setup.exe", "/UNINSTALL", option.c_str()};
  platform::SetCommandLineArgs(3, const_cast<char**>(argv));
  serverconfig::TConfigStore store;
  store.InitServerPaths();
  store.LoadServerConfig(false, false);
  store.Database.ReleaseDatabase();
  std::vector<char*> restore{const_cast<char*>("program")};
  for (const auto& a : saved) restore.push_back(const_cast<char*>(a.c_str()));
  platform::SetCommandLineArgs(static_cast<int>(restore.size()), restore.data());
  EXPECT_NE(store.Dirs.InstallDir, dir_.Path());
  EXPECT_EQ(Calls(), "");
}

}  // namespace
}  // namespace serverconfig_test

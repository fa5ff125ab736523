// The domain list: domains.cfg and the older layouts, lookups, records, the
// primary domain and bind addresses.
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/files.h"
#include "serverconfig/config_fixture.h"
#include "serverconfig/new_objects.h"
#include "serverconfig/scramble.h"
#include "support/file_utils.h"

namespace serverconfig_test {
namespace {

namespace s = serverconfig::settings;
namespace d = serverconfig::domain;

class DomainListTest : public ConfigTest {
 protected:
  serverconfig::TDomainList& Domains() { return store_->Domains; }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int i = 0; i < Domains().DomainCount(); ++i) names.push_back(Domains().DomainName(i));
    return names;
  }
  void Load() { ASSERT_TRUE(store_->LoadServerConfig(false, false)); }
};

TEST_F(DomainListTest, CountComesFromTheFileOrTheSettings) {
  const std::vector<std::string> ten = {"d0.example", "d1.example", "d2.example", "d3.example",
                                        "d4.example", "d5.example", "d6.example", "d7.example",
                                        "d8.example", "d9.example"};
  WriteDomainList(ten);
  WriteSettingsWithCount(0);
  Load();
  EXPECT_EQ(Names(), ten);

  WriteSettingsWithCount(3);
  ResetStore();
  Load();
  EXPECT_EQ(Names(), (std::vector<std::string>{"d0.example", "d1.example", "d2.example"}));
  ASSERT_TRUE(store_->SaveServerConfig(false));
  EXPECT_EQ(platform::FileSize(Config("domains.cfg")), 3 * 96);
}

TEST_F(DomainListTest, DamagedListsGiveWhatTheFileHolds) {
  // A count no file could hold, and a file cut inside an entry.
  WriteDomainList({"one.example", "two.example"});
  std::string bytes = testing_support::ReadFile(Config("domains.cfg"));
  ASSERT_TRUE(support::SaveStringToFile(bytes.substr(0, 96 + 40), Config("domains.cfg")));
  WriteSettingsWithCount(0x7FFFFFFF);
  Load();
  EXPECT_EQ(Domains().DomainCount(), 2);
  EXPECT_EQ(Domains().DomainName(0), "one.example");
  EXPECT_EQ(Domains().DomainName(1), "two.example");
  EXPECT_EQ(Domains().FindDomain("two.example"), 1);
  EXPECT_EQ(Domains().DomainName(100000), "");
  EXPECT_EQ(Domains().DomainName(-1), "");

  WriteSettingsWithCount(0);
  ResetStore();
  Load();
  EXPECT_EQ(Domains().DomainCount(), 1);  // 136 bytes hold one whole entry
}

TEST_F(DomainListTest, WithoutDomainsCfgTheListComesFromSettings) {
  TFixedRecord settings(s::kRecordSize);
  settings.SetDWord(s::kDomainCount, 2);
  settings.SetByte(s::kDomainsConverted, 1);
  settings.SetStr(s::kInlineDomains, 96, "Inline.example");
  settings.SetStr(s::kInlineDomains + 96, 96, "second.example");
  WriteScrambled(Config("settings.cfg"), settings);
  Load();
  EXPECT_EQ(Names(), (std::vector<std::string>{"inline.example", "second.example"}));
  ASSERT_TRUE(store_->SaveServerConfig(false));
  std::string list = testing_support::ReadFile(Config("domains.cfg"));
  ASSERT_EQ(list.size(), 192u);
  EXPECT_EQ(list.substr(1, 14), "inline.example");
}

TEST_F(DomainListTest, OldLayoutsAreConverted) {
  // Names in the 128-byte table, the list itself empty.
  TFixedRecord settings(s::kRecordSize);
  settings.SetDWord(s::kDomainCount, 2);
  settings.SetByte(s::kDomainsConverted, 1);
  settings.SetStr(s::kOldDomainTable, 128, "Table.example");
  settings.SetStr(s::kOldDomainTable + 128, 128, "other.example");
  WriteScrambled(Config("settings.cfg"), settings, s::kInlineDomains);
  Load();
  EXPECT_EQ(Names(), (std::vector<std::string>{"table.example", "other.example"}));

  // 32-byte entries, not yet marked as converted.
  std::string old;
  for (std::string name : {"a.example", "b.example", "c.example"}) {
    std::string entry(32, '\0');
    entry[0] = static_cast<char>(name.size());
    entry.replace(1, name.size(), name);
    old += entry;
  }
  old.resize(3 * 96, '\0');
  ASSERT_TRUE(support::SaveStringToFile(old, Config("domains.cfg")));
  settings.SetDWord(s::kDomainCount, 3);
  settings.SetByte(s::kDomainsConverted, 0);
  settings.SetStr(s::kOldDomainTable, 128, "");
  WriteScrambled(Config("settings.cfg"), settings);
  ResetStore();
  Load();
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.example", "b.example", "c.example"}));
  EXPECT_EQ(store_->Settings.Byte(s::kDomainsConverted), 1);
}

TEST_F(DomainListTest, AddedNamesAreLowerCaseAndFoundInAnyCase) {
  Load();
  EXPECT_TRUE(Domains().AddDomain("Mixed.Example"));
  EXPECT_TRUE(Domains().AddDomain("second.example", 5));
  EXPECT_EQ(Domains().DomainName(0), "mixed.example");
  EXPECT_EQ(Domains().FindDomain("MIXED.example"), 0);
  EXPECT_EQ(Domains().FindDomain("user@Second.Example"), 1);
  EXPECT_TRUE(Domains().DomainExists("second.EXAMPLE"));
  EXPECT_FALSE(Domains().DomainExists("third.example"));
  EXPECT_EQ(Domains().DomainCount(), 2);
  ASSERT_TRUE(store_->SaveServerConfig(false));

  ResetStore();
  Load();
  EXPECT_EQ(Names(), (std::vector<std::string>{"mixed.example", "second.example"}));
  Domains().SetDomainName(1, "Renamed.Example");
  EXPECT_EQ(Domains().FindDomain("second.example"), -1);
  EXPECT_EQ(Domains().FindDomain("renamed.example"), 1);
  Domains().SetDomainName(7, "ignored.example");
  // A name fills at most the field, its last character taking the bind flag's
  // byte; clearing the bind keeps that character.
  Domains().SetDomainName(1, std::string(120, 'n'));
  EXPECT_EQ(Domains().DomainName(1), std::string(95, 'n'));
  Domains().SetDomainBind(1, "");
  EXPECT_EQ(Domains().DomainName(1), std::string(95, 'n'));
  EXPECT_EQ(Domains().DomainBind(1), "");
  EXPECT_EQ(Domains().DomainCount(), 2);
}

TEST_F(DomainListTest, StoredEntriesAreLoadedAndSavedByteForByte) {
  // A name of 95 characters (its last one in the bind flag's byte), one with
  // bytes left after it in the field and its bind flag set, and a plain one.
  const std::string long_name(95, 'l');
  WriteDomainList({long_name, "junk.example", "short.example"});
  std::string bytes = testing_support::ReadFile(Config("domains.cfg"));
  bytes[96 + 60] = 'x';
  bytes[96 + d::kBindFlag] = 1;
  ASSERT_TRUE(support::SaveStringToFile(bytes, Config("domains.cfg")));
  WriteSettingsWithCount(3);
  Load();
  EXPECT_EQ(Names(), (std::vector<std::string>{long_name, "junk.example", "short.example"}));
  EXPECT_EQ(Domains().FindDomain(long_name), 0);
  ASSERT_TRUE(store_->SaveServerConfig(false));
  EXPECT_EQ(testing_support::ReadFile(Config("domains.cfg")), bytes);

  // Made primary and back, the long name moves whole.
  Domains().MakePrimaryDomain(2);
  EXPECT_EQ(Names(), (std::vector<std::string>{"short.example", "junk.example", long_name}));
  EXPECT_EQ(Domains().FindDomain(long_name), 2);
  Domains().MakePrimaryDomain(2);
  ASSERT_TRUE(store_->SaveServerConfig(false));
  EXPECT_EQ(testing_support::ReadFile(Config("domains.cfg")), bytes);

  // New domains keep clear of the flag.
  TFixedRecord record = serverconfig::NewDomainRecord("");
  EXPECT_EQ(serverconfig::CreateDomain(*store_, std::string(95, 'n'), record, ""), -1);
  EXPECT_EQ(serverconfig::CreateDomain(*store_, std::string(94, 'n'), record, ""), 3);
}

TEST_F(DomainListTest, ASettingsOnlyLoadLeavesDomainsCfgAlone) {
  WriteDomainList({"one.example", "two.example"});
  WriteSettingsWithCount(2);
  std::string before = testing_support::ReadFile(Config("domains.cfg"));
  ASSERT_TRUE(store_->LoadServerConfig(false, true));
  ASSERT_TRUE(store_->SaveServerConfig(false));
  EXPECT_EQ(testing_support::ReadFile(Config("domains.cfg")), before);
  EXPECT_EQ(ReadScrambled(Config("settings.cfg"), s::kRecordSize).DWord(s::kDomainCount), 2u);
}

TEST_F(DomainListTest, RecordsAreScrambledCachedAndAudited) {
  Load();
  store_->Settings.SetByte(s::kAuditLog, 1);
  TFixedRecord record = serverconfig::NewDomainRecord("admin@rec.example");
  record.SetByte(1000, 0xAB);
  ASSERT_EQ(serverconfig::CreateDomain(*store_, "Rec.Example", record, "tester"), 0);
  std::string file = Config("rec.example\\domain.cfg");
  ASSERT_EQ(platform::FileSize(file), 1169);
  TFixedRecord on_disk = ReadScrambled(file, d::kRecordSize);
  EXPECT_EQ(on_disk.Str(d::kRoleNames, d::kFieldSize),
            "postmaster;admin;administrator;supervisor;hostmaster;webmaster;abuse");
  EXPECT_EQ(on_disk.Str(d::kAdminAddress, d::kFieldSize), "admin@rec.example");
  EXPECT_NE(testing_support::ReadFile(file).substr(128, 20),
            std::string(reinterpret_cast<const char*>(record.Data() + 128), 20));

  TFixedRecord read(d::kRecordSize);
  ASSERT_TRUE(Domains().ReadDomainRecord("REC.example", read));
  EXPECT_EQ(read.Byte(1000), 0xAB);

  // A file changed within the last seconds is read again each time; a settled
  // one is cached while its time stamp stays.
  on_disk.SetByte(1000, 0xCD);
  WriteScrambled(file, on_disk);
  ASSERT_TRUE(Domains().ReadDomainRecord("rec.example", read));
  EXPECT_EQ(read.Byte(1000), 0xCD);
  double settled = platform::Now() - 1;
  ASSERT_TRUE(platform::SetFileModified(file, settled));
  ASSERT_TRUE(Domains().ReadDomainRecord("rec.example", read));
  on_disk.SetByte(1000, 0xEF);
  WriteScrambled(file, on_disk);
  ASSERT_TRUE(platform::SetFileModified(file, settled));
  ASSERT_TRUE(Domains().ReadDomainRecord("rec.example", read));
  EXPECT_EQ(read.Byte(1000), 0xCD);  // the cached copy
  ASSERT_TRUE(platform::SetFileModified(file, settled + 0.5));
  ASSERT_TRUE(Domains().ReadDomainRecord("rec.example", read));
  EXPECT_EQ(read.Byte(1000), 0xEF);
  EXPECT_FALSE(Domains().ReadDomainRecord("missing.example", read));

  // The audit line names who did what to which domain.
  std::vector<platform::DirEntry> logs;
  ASSERT_TRUE(platform::ListDirectory(store_->Dirs.LogsDir + "audit*.log", logs));
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_NE(testing_support::ReadFile(store_->Dirs.LogsDir + logs[0].name)
                .find("'tester' Created 'rec.example'"),
            std::string::npos);
}

TEST_F(DomainListTest, MakingADomainPrimaryMovesItsBindAddresses) {
  Load();
  for (std::string name : {"first.example", "second.example", "third.example"})
    ASSERT_GE(serverconfig::CreateDomain(*store_, name, serverconfig::NewDomainRecord(""), ""), 0);
  Domains().SetDomainBind(0, "192.0.2.1");
  Domains().SetDomainBind(2, "192.0.2.3;192.0.2.33");
  Domains().MakePrimaryDomain(2);
  EXPECT_EQ(Names(),
            (std::vector<std::string>{"third.example", "second.example", "first.example"}));
  EXPECT_EQ(Domains().DomainBind(0), "192.0.2.3;192.0.2.33");
  EXPECT_EQ(Domains().DomainBind(2), "192.0.2.1");
  EXPECT_EQ(Domains().DomainBind(1), "");
  EXPECT_EQ(Domains().FindDomain("first.example"), 2);
  ASSERT_TRUE(store_->SaveServerConfig(false));

  ResetStore();
  Load();
  EXPECT_EQ(Domains().DomainName(0), "third.example");
  EXPECT_EQ(Domains().DomainBind(0), "192.0.2.3;192.0.2.33");
  Domains().SetDomainBind(0, "");
  EXPECT_FALSE(platform::FileExists(Config("third.example\\bind.dat")));
  EXPECT_EQ(Domains().DomainBind(0), "");
}

TEST_F(DomainListTest, AddressLiteralsAndSubdomains) {
  ASSERT_TRUE(support::SaveStringToFile(
      "# mapped names\r\n*.shop.example=shop.example\r\nself.example=self.example\r\n"
      "*.lost.example=nowhere.example\r\n",
      Config("subdomains.dat")));
  Load();
  store_->Settings.SetByte(s::kSubdomainLiterals, 1);
  for (std::string name : {"main.example", "shop.example"})
    ASSERT_GE(serverconfig::CreateDomain(*store_, name, serverconfig::NewDomainRecord(""), ""), 0);

  EXPECT_EQ(Domains().FindDomain("[127.0.0.1]"), 0);  // one of the machine's own
  EXPECT_EQ(Domains().FindDomain("user@[127.0.0.1]"), 0);
  EXPECT_EQ(Domains().FindDomain("[192.0.2.200]"), -1);
  Domains().SetDomainBind(0, "192.0.2.10");
  Domains().SetDomainBind(1, "192.0.2.20");
  EXPECT_EQ(Domains().FindDomain("[192.0.2.20]"), 1);
  EXPECT_EQ(Domains().FindDomain("[127.0.0.1]"), -1);

  EXPECT_EQ(Domains().FindDomain("www.Shop.example"), 1);
  EXPECT_EQ(Domains().FindDomain("self.example"), -1);
  EXPECT_EQ(Domains().FindDomain("a.lost.example"), 0);
  EXPECT_EQ(Domains().FindDomain("unmapped.example"), -1);
  TFixedRecord record(d::kRecordSize);
  EXPECT_TRUE(Domains().ReadDomainRecord("www.shop.example", record));
}

TEST_F(DomainListTest, NamesThatAreNoFolderNamesAreNeverWritten) {
  Load();
  EXPECT_EQ(
      serverconfig::CreateDomain(*store_, "..\\..\\evil", serverconfig::NewDomainRecord(""), ""),
      -1);
  EXPECT_FALSE(platform::FileExists(dir_.Path() + "..\\evil\\domain.cfg"));
  EXPECT_EQ(serverconfig::CreateDomain(*store_, "", serverconfig::NewDomainRecord(""), ""), -1);
  EXPECT_EQ(store_->Domains.DomainCount(), 0);
}

}  // namespace
}  // namespace serverconfig_test

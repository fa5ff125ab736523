// ODBC data sources in the registry: natively the in-memory stand-in, under
// Wine the real registry.
#include "registration/odbc_data_sources.h"

#include <gtest/gtest.h>

#include <vector>

#include "registration/testbed_libraries.h"

namespace {

using platform::RegKey;
using platform::RegType;
using platform::RegValue;

const std::string kDriverList = "\\SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers";
const std::string kSources = "\\SOFTWARE\\ODBC\\ODBC.INI";
const std::string kSourceList = "\\SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";
const std::string kAccess = "Microsoft Access Driver (*.MDB)";
const std::string kAccessLibrary = "C:\\Windows\\system32\\odbcjt32.dll";
const std::string kDatabase = "C:\\Program Files\\Orvik\\calendar\\calendar.mdb";

class OdbcDataSourcesTest : public upgrade_tests::MachineKeysTest {
 protected:
  void Open(RegKey& key, const std::string& path) {
    ASSERT_TRUE(key.Open(keys.root, keys.Path(path), true)) << path;
  }

  // Installed drivers as the ODBC installer lists them. The Access driver
  // comes after another one; a second Access driver after it is not chosen.
  void InstallDrivers(bool withAccess) {
    RegKey list;
    Open(list, kDriverList);
    ASSERT_TRUE(list.WriteString("Microsoft Text Driver (*.txt; *.csv)", "Installed"));
    if (withAccess) {
      ASSERT_TRUE(list.WriteString(kAccess, "Installed"));
      ASSERT_TRUE(list.WriteString("Microsoft Access Driver (*.mdb, *.accdb)", "Installed"));
    }
    ASSERT_TRUE(list.WriteString("SQL Server", "Installed"));
    for (const std::string& driver :
         {std::string("Microsoft Text Driver (*.txt; *.csv)"), std::string("SQL Server")}) {
      RegKey key;
      Open(key, "\\SOFTWARE\\ODBC\\ODBCINST.INI\\" + driver);
      ASSERT_TRUE(key.WriteString("Driver", "C:\\Windows\\system32\\other.dll"));
    }
    if (withAccess) {
      RegKey key;
      Open(key, "\\SOFTWARE\\ODBC\\ODBCINST.INI\\" + kAccess);
      ASSERT_TRUE(key.WriteString("Driver", kAccessLibrary));
      ASSERT_TRUE(key.WriteString("Setup", "C:\\Windows\\system32\\odbcji32.dll"));
    }
  }

  void ExpectString(const RegKey& key, const std::string& name, const std::string& text) {
    RegValue value;
    ASSERT_TRUE(key.ReadValue(name, value)) << name;
    EXPECT_EQ(value.type, RegType::String) << name;
    EXPECT_EQ(value.data, text) << name;
  }

  void ExpectDWord(const RegKey& key, const std::string& name, uint32_t number) {
    RegValue value;
    ASSERT_TRUE(key.ReadValue(name, value)) << name;
    EXPECT_EQ(value.type, RegType::DWord) << name;
    EXPECT_EQ(value.dword, number) << name;
  }

  size_t ValueCount(const RegKey& key) {
    std::vector<std::string> names;
    key.ValueNames(names);
    return names.size();
  }
};

TEST_F(OdbcDataSourcesTest, DataSourceExistsWantsNonEmptyText) {
  EXPECT_FALSE(registration::DataSourceExists("KestrunCalendar", keys));  // no key at all
  RegKey list;
  Open(list, kSourceList);
  EXPECT_FALSE(registration::DataSourceExists("KestrunCalendar", keys));

  ASSERT_TRUE(list.WriteString("KestrunCalendar", ""));
  EXPECT_FALSE(registration::DataSourceExists("KestrunCalendar", keys));
  ASSERT_TRUE(list.WriteString("KestrunCalendar", kAccess));
  EXPECT_TRUE(registration::DataSourceExists("KestrunCalendar", keys));
  EXPECT_TRUE(registration::DataSourceExists("kestruncalendar", keys));
  EXPECT_FALSE(registration::DataSourceExists("KestrunSpamChallenge", keys));

  ASSERT_TRUE(list.WriteDWord("KestrunSpamChallenge", 1));  // not text
  EXPECT_FALSE(registration::DataSourceExists("KestrunSpamChallenge", keys));
}

TEST_F(OdbcDataSourcesTest, CreatesEveryValueWithTheAccessDriver) {
  InstallDrivers(true);
  EXPECT_FALSE(registration::CreateAccessDataSource("KestrunCalendar", false, kDatabase, keys));

  RegKey list;
  ASSERT_TRUE(list.Open(keys.root, keys.Path(kSourceList), false));
  ExpectString(list, "KestrunCalendar", kAccess);
  EXPECT_EQ(ValueCount(list), 1u);

  RegKey source;
  ASSERT_TRUE(source.Open(keys.root, keys.Path(kSources + "\\KestrunCalendar"), false));
  ExpectString(source, "DBQ", kDatabase);
  ExpectString(source, "Driver", kAccessLibrary);
  ExpectDWord(source, "DriverId", 25);
  ExpectString(source, "FIL", "MS Access;");
  ExpectDWord(source, "SafeTransactions", 0);
  ExpectString(source, "UID", "");
  EXPECT_EQ(ValueCount(source), 6u);

  RegKey jet;
  ASSERT_TRUE(jet.Open(keys.root, keys.Path(kSources + "\\KestrunCalendar\\Engines\\Jet"), false));
  ExpectString(jet, "ImplicitCommitSync", "");
  ExpectDWord(jet, "MaxBufferSize", 2048);
  ExpectDWord(jet, "PageTimeout", 5);
  ExpectDWord(jet, "Threads", 3);
  ExpectString(jet, "UserCommitSync", "Yes");
  EXPECT_EQ(ValueCount(jet), 5u);

  EXPECT_TRUE(registration::DataSourceExists("KestrunCalendar", keys));
  EXPECT_FALSE(registration::DataSourceExists("KestrunSpamChallenge", keys));

  // A second source goes beside the first.
  registration::CreateAccessDataSource("KestrunSpamChallenge", false, "C:\\x\\spam\\challenge.mdb",
                                       keys);
  EXPECT_TRUE(registration::DataSourceExists("KestrunCalendar", keys));
  EXPECT_TRUE(registration::DataSourceExists("KestrunSpamChallenge", keys));
  RegKey spam;
  ASSERT_TRUE(spam.Open(keys.root, keys.Path(kSources + "\\KestrunSpamChallenge"), false));
  ExpectString(spam, "DBQ", "C:\\x\\spam\\challenge.mdb");
}

TEST_F(OdbcDataSourcesTest, WithoutAnAccessDriverNothingIsWritten) {
  InstallDrivers(false);
  EXPECT_FALSE(registration::CreateAccessDataSource("KestrunCalendar", false, kDatabase, keys));
  EXPECT_FALSE(Exists(kSources));
  // So the next installation tries again.
  EXPECT_FALSE(registration::DataSourceExists("KestrunCalendar", keys));

  upgrade_tests::ClearTestKeys();  // no ODBC installed at all
  EXPECT_FALSE(registration::CreateAccessDataSource("KestrunCalendar", false, kDatabase, keys));
  EXPECT_FALSE(Exists(kSources));
  EXPECT_FALSE(Exists("\\SOFTWARE\\ODBC\\ODBCINST.INI"));
}

TEST_F(OdbcDataSourcesTest, SkipWritesNothing) {
  InstallDrivers(true);
  EXPECT_FALSE(registration::CreateAccessDataSource("KestrunCalendar", true, kDatabase, keys));
  EXPECT_FALSE(Exists(kSources));
}

TEST_F(OdbcDataSourcesTest, ListedDriverWithoutItsKeyIsNotUsed) {
  InstallDrivers(true);
  ASSERT_TRUE(platform::RegDeleteKeyTree(keys.root,
                                         keys.Path("\\SOFTWARE\\ODBC\\ODBCINST.INI\\" + kAccess)));
  registration::CreateAccessDataSource("KestrunCalendar", false, kDatabase, keys);
  EXPECT_FALSE(Exists(kSources));
}

}  // namespace

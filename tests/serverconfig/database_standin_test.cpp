// The database library stand-in of testbed/ (db.dll; db.so natively), loaded
// the way the database storage loads the server's library. Each test works on a
// copy in a scratch folder, with its store, calls and fail files beside it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/scratch_dir.h"
#include "platform/files.h"
#include "platform/library.h"
#include "serverconfig/config_fixture.h"
#include "serverconfig/database_library.h"

namespace {
namespace db_standin {

using Bytes = std::vector<unsigned char>;
using testing_support::ReadFile;
using testing_support::WriteFile;

constexpr size_t kEntrySize = 96;
constexpr size_t kDomainSize = 1169;
constexpr size_t kAccountSize = 2848;

using serverconfig_test::BuiltStandin;

// An account record with the alias list at offset 260, and a mark at both
// ends so that a partial copy shows.
Bytes Account(const std::string& aliases, unsigned char mark = 0x5A) {
  Bytes record(kAccountSize, 0);
  record[0] = mark;
  record[kAccountSize - 1] = mark;
  record[260] = static_cast<unsigned char>(aliases.size());
  std::copy(aliases.begin(), aliases.end(), record.begin() + 261);
  return record;
}

Bytes DomainRecord(unsigned char seed) {
  Bytes record(kDomainSize);
  for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<unsigned char>(seed + i);
  return record;
}

// The library's entries, bound by name as the database storage binds them.
struct Entries : serverconfig::TDatabaseLibrary::Entries {
  bool Bind(const platform::Library& library) {
    return serverconfig::TDatabaseLibrary::BindEntries(library, *this);
  }

  std::vector<std::string> Domains() const {
    std::vector<unsigned char> entries(kEntrySize * 16, 0xEE);
    int filled = GetDomains(entries.data(), 16);
    std::vector<std::string> names;
    for (int i = 0; i < filled; ++i) {
      const unsigned char* entry = &entries[i * kEntrySize];
      names.emplace_back(entry + 1, entry + 1 + entry[0]);
    }
    return names;
  }

  // Saves at an index; the index used, or -2 when the save fails.
  int Save(const char* domain, const Bytes& record, int index = -1) const {
    return SaveUsers(domain, record.data(), &index) ? index : -2;
  }

  // Every index an iteration yields.
  std::vector<int> Iterate(const char* domain, const char* filter, int flag, int skip) const {
    std::vector<int> indexes;
    void* handle = InitUsers(domain, filter, flag, skip);
    if (!handle) return {-1};
    Bytes record(kAccountSize);
    int index = -1;
    while (NextUser(handle, record.data(), &index)) indexes.push_back(index);
    EXPECT_EQ(NextUser(handle, record.data(), &index), 0);  // stays at the end
    DoneUsers(handle);
    return indexes;
  }
};

class DatabaseStandinTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CopyFile(BuiltStandin(), path, true)) << BuiltStandin();
    ASSERT_TRUE(Load(path));
  }

  bool Load(const std::string& library) {
    db = Entries{};
    return this->library.Load(library) && db.Bind(this->library);
  }

  testing_support::ScratchDir dir;
  std::string path = dir.Path() + "db.dll";
  platform::Library library;
  Entries db;
};

TEST_F(DatabaseStandinTest, DomainsAreListedInOrderWithTheirRecords) {
  EXPECT_EQ(db.GetDomainCount(), 0);
  EXPECT_EQ(db.AddDomain("Example.COM"), 1);
  EXPECT_EQ(db.AddDomain("example.com"), 1);  // present already
  EXPECT_EQ(db.AddDomain("second.org"), 1);
  EXPECT_EQ(db.AddDomain(std::string(96, 'x').c_str()), 0);
  EXPECT_EQ(db.AddDomain(std::string(95, 'y').c_str()), 1);
  EXPECT_EQ(db.AddDomain(""), 0);
  EXPECT_EQ(db.GetDomainCount(), 3);
  EXPECT_EQ(db.Domains(),
            (std::vector<std::string>{"example.com", "second.org", std::string(95, 'y')}));

  // List entries: a length byte and the name, zero padded; no more than asked for.
  std::vector<unsigned char> entries(kEntrySize * 2, 0xEE);
  EXPECT_EQ(db.GetDomains(entries.data(), 1), 1);
  EXPECT_EQ(entries[0], 11);
  EXPECT_EQ(std::string(entries.begin() + 1, entries.begin() + 12), "example.com");
  EXPECT_EQ(std::vector<unsigned char>(entries.begin() + 12, entries.begin() + kEntrySize),
            std::vector<unsigned char>(kEntrySize - 12, 0));
  EXPECT_EQ(entries[kEntrySize], 0xEE);

  Bytes record(kDomainSize, 0xEE);
  EXPECT_EQ(db.GetDomain("second.org", record.data()), 1);
  EXPECT_EQ(record, Bytes(kDomainSize, 0));  // never set
  EXPECT_EQ(db.GetDomain("missing.net", record.data()), 0);
  EXPECT_EQ(db.SetDomain("SECOND.org", DomainRecord(7).data()), 1);
  EXPECT_EQ(db.GetDomain("second.ORG", record.data()), 1);
  EXPECT_EQ(record, DomainRecord(7));
  EXPECT_EQ(db.SetDomain("third.net", DomainRecord(9).data()), 1);  // made when missing
  EXPECT_EQ(db.Domains().back(), "third.net");

  EXPECT_EQ(db.SetDomainIP("third.net", "10.0.0.1;10.0.0.2"), 1);
  EXPECT_EQ(db.SetDomainIP("missing.net", "10.0.0.3"), 0);
  EXPECT_EQ(db.GetDomainCount(), 4);
  EXPECT_NE(ReadFile(path + ".store").find("10.0.0.1;10.0.0.2"), std::string::npos);
}

TEST_F(DatabaseStandinTest, MakingADomainPrimarySwapsItWithTheFirst) {
  for (const char* name : {"a.com", "b.com", "c.com", "d.com"}) ASSERT_EQ(db.AddDomain(name), 1);
  ASSERT_EQ(db.SetDomain("c.com", DomainRecord(3).data()), 1);
  EXPECT_EQ(db.MakeDomainPrimary("C.com"), 1);
  EXPECT_EQ(db.Domains(), (std::vector<std::string>{"c.com", "b.com", "a.com", "d.com"}));
  EXPECT_EQ(db.MakeDomainPrimary("c.com"), 1);  // first already
  EXPECT_EQ(db.MakeDomainPrimary("e.com"), 0);
  EXPECT_EQ(db.Domains(), (std::vector<std::string>{"c.com", "b.com", "a.com", "d.com"}));
  Bytes record(kDomainSize);
  ASSERT_EQ(db.GetDomain("c.com", record.data()), 1);
  EXPECT_EQ(record, DomainRecord(3));  // the record moves with its domain
}

TEST_F(DatabaseStandinTest, AccountsAreAppendedReplacedAndCounted) {
  EXPECT_EQ(db.Save("mail.com", Account("anna")), 0);  // makes the domain
  EXPECT_EQ(db.Save("mail.com", Account("bert"), 1), 1);
  EXPECT_EQ(db.Save("mail.com", Account("carl")), 2);
  EXPECT_EQ(db.Save("mail.com", Account("bob", 0x33), 1), 1);
  EXPECT_EQ(db.Save("mail.com", Account("dora"), 4), -2);
  EXPECT_EQ(db.Save("mail.com", Account("dora"), -2), -2);
  EXPECT_EQ(db.Save("other.com", Account("eve")), 0);
  EXPECT_EQ(db.Save("", Account("nobody")), -2);
  EXPECT_EQ(db.Domains(), (std::vector<std::string>{"mail.com", "other.com"}));

  EXPECT_EQ(db.GetTotalUsers("mail.com"), 3);
  EXPECT_EQ(db.GetTotalUsers("OTHER.com"), 1);
  EXPECT_EQ(db.GetTotalUsers(""), 4);
  EXPECT_EQ(db.GetTotalUsers("missing.com"), 0);

  Bytes record(kAccountSize, 0xEE);
  EXPECT_EQ(db.GetUsers("mail.com", record.data(), 1), 3);
  EXPECT_EQ(record, Account("bob", 0x33));
  Bytes untouched(kAccountSize, 0xEE);
  EXPECT_EQ(db.GetUsers("mail.com", untouched.data(), 3), 3);
  EXPECT_EQ(db.GetUsers("mail.com", untouched.data(), -1), 3);
  EXPECT_EQ(untouched, Bytes(kAccountSize, 0xEE));
  EXPECT_EQ(db.GetUsers("missing.com", record.data(), 0), 0);
}

TEST_F(DatabaseStandinTest, AccountIndexMatchesAnyAliasAndStoredPatterns) {
  db.Save("mail.com", Account("anna;Ann.Smith"));
  db.Save("mail.com", Account("[sales-*;bert"));
  db.Save("mail.com", Account("[?ob;carl"));
  db.Save("mail.com", Account("bob"));                       // found by the pattern before it
  db.Save("mail.com", Account(std::string("x\0ghost", 7)));  // the list ends at a NUL

  EXPECT_EQ(db.GetUsersIndex("mail.com", "ANN.SMITH"), 0);
  EXPECT_EQ(db.GetUsersIndex("mail.com", "nobody;;BERT"), 1);
  EXPECT_EQ(db.GetUsersIndex("mail.com", "Sales-East"), 1);
  EXPECT_EQ(db.GetUsersIndex("mail.com", "sales"), -1);
  EXPECT_EQ(db.GetUsersIndex("mail.com", "[sales-*"), 1);  // the pattern itself
  EXPECT_EQ(db.GetUsersIndex("mail.com", "bob"), 2);
  EXPECT_EQ(db.GetUsersIndex("mail.com", "boob"), -1);
  EXPECT_EQ(db.GetUsersIndex("mail.com", "ghost"), -1);
  EXPECT_EQ(db.GetUsersIndex("mail.com", "x"), 4);
  EXPECT_EQ(db.GetUsersIndex("mail.com", ""), -1);
  EXPECT_EQ(db.GetUsersIndex("other.com", "anna"), -1);
}

TEST_F(DatabaseStandinTest, IterationFiltersAndSkips) {
  for (const char* aliases : {"anna", "bert;Admin", "carl", "amy", "ben"})
    db.Save("mail.com", Account(aliases));

  EXPECT_EQ(db.Iterate("mail.com", "", 0, 0), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(db.Iterate("mail.com", "a*", 0, 0), (std::vector<int>{0, 1, 2, 3, 4}));  // flag off
  EXPECT_EQ(db.Iterate("mail.com", "A*", 1, 0), (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(db.Iterate("mail.com", "b?n", 1, 0), (std::vector<int>{4}));
  EXPECT_EQ(db.Iterate("mail.com", "a*", 1, 2), (std::vector<int>{3}));
  EXPECT_EQ(db.Iterate("mail.com", "", 0, 4), (std::vector<int>{4}));
  EXPECT_EQ(db.Iterate("mail.com", "", 0, 9), (std::vector<int>{}));
  EXPECT_EQ(db.Iterate("missing.com", "", 0, 0), (std::vector<int>{-1}));  // no handle
  ASSERT_EQ(db.AddDomain("empty.com"), 1);
  EXPECT_EQ(db.Iterate("empty.com", "", 0, 0), (std::vector<int>{}));

  // The record comes with its index.
  void* handle = db.InitUsers("mail.com", "c*", 1, 0);
  ASSERT_NE(handle, nullptr);
  Bytes record(kAccountSize);
  int index = -1;
  EXPECT_EQ(db.NextUser(handle, record.data(), &index), 1);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(record, Account("carl"));
  db.DoneUsers(handle);
  EXPECT_EQ(db.NextUser(handle, record.data(), &index), 0);  // released
}

TEST_F(DatabaseStandinTest, TheStoreOutlivesTheLibraryAndFollowsItsFile) {
  db.AddDomain("one.com");
  db.SetDomain("two.com", DomainRecord(2).data());
  db.Save("two.com", Account("anna"));
  db.Save("two.com", Account("bert"));
  db.MakeDomainPrimary("two.com");

  auto expectData = [this] {
    EXPECT_EQ(db.Domains(), (std::vector<std::string>{"two.com", "one.com"}));
    Bytes record(kDomainSize);
    EXPECT_EQ(db.GetDomain("two.com", record.data()), 1);
    EXPECT_EQ(record, DomainRecord(2));
    Bytes account(kAccountSize);
    EXPECT_EQ(db.GetUsers("two.com", account.data(), 1), 2);
    EXPECT_EQ(account, Account("bert"));
  };
  library.Unload();
  ASSERT_TRUE(Load(path));
  expectData();

  // Another library with a copy of the store file holds the same data; it
  // does not share what the first keeps in memory.
  std::string other = dir.Path() + "other.dll";
  ASSERT_TRUE(platform::CopyFile(path, other, true));
  ASSERT_TRUE(platform::CopyFile(path + ".store", other + ".store", true));
  ASSERT_TRUE(Load(other));
  expectData();
  EXPECT_EQ(db.AddDomain("three.com"), 1);
  ASSERT_TRUE(Load(path));
  EXPECT_EQ(db.GetDomainCount(), 2);
}

TEST_F(DatabaseStandinTest, ADamagedStoreIsAnEmptyStore) {
  db.AddDomain("one.com");
  db.Save("one.com", Account("anna"));
  library.Unload();
  const std::string good = ReadFile(path + ".store");
  ASSERT_GT(good.size(), kAccountSize);

  std::string flipped = good;
  flipped[flipped.size() / 2] ^= 0x01;
  for (const std::string& damaged :
       {std::string("not a store"), good.substr(0, good.size() - 1), flipped, std::string()}) {
    ASSERT_TRUE(WriteFile(path + ".store", damaged));
    ASSERT_TRUE(Load(path));
    EXPECT_EQ(db.GetDomainCount(), 0);
    EXPECT_EQ(db.GetTotalUsers(""), 0);
    library.Unload();
  }
  ASSERT_TRUE(platform::DeleteFile(path + ".store"));
  ASSERT_TRUE(Load(path));
  EXPECT_EQ(db.GetDomainCount(), 0);
  EXPECT_EQ(db.AddDomain("fresh.com"), 1);  // and it is written anew
  library.Unload();
  ASSERT_TRUE(Load(path));
  EXPECT_EQ(db.Domains(), (std::vector<std::string>{"fresh.com"}));
}

TEST_F(DatabaseStandinTest, AChangeThatCannotBeWrittenIsNotMade) {
  ASSERT_EQ(db.AddDomain("one.com"), 1);
  // A folder where the store file goes: nothing can be renamed over it.
  ASSERT_TRUE(platform::DeleteFile(path + ".store"));
  ASSERT_TRUE(platform::CreateDirectory(path + ".store"));
  EXPECT_EQ(db.AddDomain("two.com"), 0);
  EXPECT_EQ(db.Save("one.com", Account("anna")), -2);
  EXPECT_EQ(db.MakeDomainPrimary("one.com"), 0);
  EXPECT_EQ(db.Domains(), (std::vector<std::string>{"one.com"}));
  EXPECT_EQ(db.GetTotalUsers(""), 0);

  ASSERT_TRUE(platform::RemoveDirectory(path + ".store"));
  EXPECT_EQ(db.AddDomain("two.com"), 1);
  EXPECT_EQ(db.Domains(), (std::vector<std::string>{"one.com", "two.com"}));
}

TEST_F(DatabaseStandinTest, EveryCallIsRecorded) {
  db.AddDomain("Example.com");
  db.GetDomainCount();
  db.Save("example.com", Account("anna"));
  db.GetUsersIndex("example.com", "anna");
  db.Iterate("example.com", "a*", 1, 0);
  db.DoneConnection();
  EXPECT_EQ(ReadFile(path + ".calls"),
            "DBAddDomain Example.com\n"
            "DBGetDomainCount\n"
            "DBSaveUsers example.com -1\n"
            "DBGetUsersIndex example.com anna\n"
            "DBInitUsers example.com a* 1 0\n"
            "DBNextUser\nDBNextUser\nDBNextUser\n"
            "DBDoneUsers\n"
            "DBDoneConnection\n");
}

TEST_F(DatabaseStandinTest, EntriesFailWhileTheFailFileExists) {
  db.Save("mail.com", Account("anna"));
  ASSERT_TRUE(WriteFile(path + ".fail", ""));
  Bytes record(kAccountSize);
  int index = -1;
  EXPECT_EQ(db.GetDomainCount(), 0);
  EXPECT_EQ(db.GetDomains(record.data(), 1), 0);
  EXPECT_EQ(db.AddDomain("new.com"), 0);
  EXPECT_EQ(db.GetDomain("mail.com", record.data()), 0);
  EXPECT_EQ(db.SetDomain("mail.com", DomainRecord(1).data()), 0);
  EXPECT_EQ(db.SetDomainIP("mail.com", "10.0.0.1"), 0);
  EXPECT_EQ(db.MakeDomainPrimary("mail.com"), 0);
  EXPECT_EQ(db.GetTotalUsers(""), 0);
  EXPECT_EQ(db.GetUsers("mail.com", record.data(), 0), 0);
  EXPECT_EQ(db.GetUsersIndex("mail.com", "anna"), -1);
  EXPECT_EQ(db.InitUsers("mail.com", "", 0, 0), nullptr);
  EXPECT_EQ(db.SaveUsers("mail.com", record.data(), &index), 0);
  db.DoneConnection();

  // A fail file that names entries fails those alone.
  ASSERT_TRUE(WriteFile(path + ".fail", "DBGetUsers\r\nDBGetDomains\r\n"));
  EXPECT_EQ(db.GetDomainCount(), 1);
  EXPECT_EQ(db.GetDomains(record.data(), 1), 0);
  EXPECT_EQ(db.GetUsers("mail.com", record.data(), 0), 0);
  EXPECT_EQ(db.GetTotalUsers(""), 1);

  ASSERT_TRUE(platform::DeleteFile(path + ".fail"));
  EXPECT_EQ(db.Domains(), (std::vector<std::string>{"mail.com"}));
  EXPECT_EQ(db.GetTotalUsers(""), 1);
}

TEST_F(DatabaseStandinTest, MissingArgumentsAreFailures) {
  db.Save("mail.com", Account("anna"));
  Bytes record(kAccountSize);
  int index = -1;
  EXPECT_EQ(db.GetDomains(nullptr, 4), 0);
  EXPECT_EQ(db.GetDomains(record.data(), -1), 0);
  EXPECT_EQ(db.AddDomain(nullptr), 0);
  EXPECT_EQ(db.GetDomain(nullptr, record.data()), 0);
  EXPECT_EQ(db.GetDomain("mail.com", nullptr), 0);
  EXPECT_EQ(db.SetDomain(nullptr, record.data()), 0);
  EXPECT_EQ(db.SetDomain("mail.com", nullptr), 0);
  EXPECT_EQ(db.SetDomainIP("mail.com", nullptr), 0);
  EXPECT_EQ(db.MakeDomainPrimary(nullptr), 0);
  EXPECT_EQ(db.GetTotalUsers(nullptr), 0);
  EXPECT_EQ(db.GetUsers(nullptr, record.data(), 0), 0);
  EXPECT_EQ(db.GetUsers("mail.com", nullptr, 0), 0);
  EXPECT_EQ(db.GetUsersIndex(nullptr, "anna"), -1);
  EXPECT_EQ(db.GetUsersIndex("mail.com", nullptr), -1);
  EXPECT_EQ(db.InitUsers(nullptr, "", 0, 0), nullptr);
  EXPECT_EQ(db.InitUsers("mail.com", nullptr, 1, 0), nullptr);
  EXPECT_EQ(db.InitUsers("mail.com", "", 0, -1), nullptr);
  EXPECT_EQ(db.SaveUsers(nullptr, record.data(), &index), 0);
  EXPECT_EQ(db.SaveUsers("mail.com", nullptr, &index), 0);
  EXPECT_EQ(db.SaveUsers("mail.com", record.data(), nullptr), 0);

  int stranger = 0;  // not a handle the library gave out
  EXPECT_EQ(db.NextUser(nullptr, record.data(), &index), 0);
  EXPECT_EQ(db.NextUser(&stranger, record.data(), &index), 0);
  db.DoneUsers(nullptr);
  db.DoneUsers(&stranger);
  void* handle = db.InitUsers("mail.com", nullptr, 0, 0);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(db.NextUser(handle, nullptr, &index), 0);
  db.DoneUsers(handle);

  EXPECT_EQ(db.Domains(), (std::vector<std::string>{"mail.com"}));  // nothing changed
  EXPECT_EQ(db.GetTotalUsers(""), 1);
}

}  // namespace db_standin
}  // namespace

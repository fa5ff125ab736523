// Moving the older registry layout into the current one: natively the
// in-memory stand-in, under Wine the real registry.
#include "registration/registry_migration.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "registration/testbed_libraries.h"

namespace {

using platform::RegKey;
using platform::RegType;
using platform::RegValue;

const std::string kOld = "\\Software\\Orvik";
const std::string kOldWebMail = "\\Software\\KWEBMAIL";
const std::string kCurrent = "\\Software\\Kestrun";
const std::string kServer = "\\Software\\Kestrun\\Orvik Mail Server";
const std::string kWebMail = "\\Software\\Kestrun\\Kestrun Web Mail";

// A key's values by name, each as "s:text", "b:bytes" or "d:number", so that a
// comparison shows type and contents at once.
using Values = std::map<std::string, std::string>;

std::string S(const std::string& text) {
  return "s:" + text;
}
std::string B(const std::string& bytes) {
  return "b:" + bytes;
}

// Raw data with zero bytes and bytes above 127, which must come through as they are.
const Values kOldServerValues = {
    {"InstallDir", S("C:\\Program Files\\Orvik\\")},
    {"Version", S("7.2.0-3")},
    {"Name", S("Postmaster")},
    {"Email", S("postmaster@example.com")},
    {"Country", S("Norway")},
    {"Company", S("Example AS")},
    {"DNSQuery", B(std::string("\x01\x00\x7f\x80\xff\x00", 6))},
    {"Settings", B("\x02settings")},
    {"SMTPTest", B(std::string("\x00", 1))},
    {"ORVIKNotify", B("notify\xfe")},
    {"Unrelated", S("stays behind")},
};

// What the current key holds after a full copy: ORVIKNotify arrives as Notify,
// and nothing else comes along.
Values MigratedServerValues() {
  Values values = kOldServerValues;
  values["Notify"] = values["ORVIKNotify"];
  values.erase("ORVIKNotify");
  values.erase("Unrelated");
  return values;
}

// The web mail key has no raw values to migrate.
const Values kOldWebMailValues = {
    {"InstallDir", S("C:\\Program Files\\WebMail\\")},
    {"Version", S("3.1")},
    {"Name", S("Web")},
    {"Email", S("web@example.com")},
    {"Country", S("Sweden")},
    {"Company", S("Web AB")},
    {"DNSQuery", B("\x01\x02")},
};

Values MigratedWebMailValues() {
  Values values = kOldWebMailValues;
  values.erase("DNSQuery");
  return values;
}

class MigrateRegistryTest : public upgrade_tests::MachineKeysTest {
 protected:
  void Migrate(bool deleteOld) { registration::MigrateRegistry(deleteOld, keys); }

  // Writes values into a key, creating it.
  void Write(const std::string& path, const Values& values) {
    RegKey key;
    ASSERT_TRUE(key.Open(keys.root, keys.Path(path), true)) << path;
    for (const auto& [name, value] : values) {
      std::string data = value.substr(2);
      bool written = value[0] == 's'   ? key.WriteString(name, data)
                     : value[0] == 'b' ? key.WriteBinary(name, data)
                                       : key.WriteDWord(name, std::stoul(data));
      ASSERT_TRUE(written) << name;
    }
  }
  void Write(const std::string& path, const std::string& name, const std::string& value) {
    Write(path, Values{{name, value}});
  }

  Values Read(const std::string& path) {
    Values values;
    RegKey key;
    std::vector<std::string> names;
    if (!key.Open(keys.root, keys.Path(path), false) || !key.ValueNames(names)) return values;
    for (const auto& name : names) {
      RegValue value;
      if (!key.ReadValue(name, value)) continue;
      values[name] = value.type == RegType::String   ? S(value.data)
                     : value.type == RegType::Binary ? B(value.data)
                     : value.type == RegType::DWord  ? "d:" + std::to_string(value.dword)
                                                     : "?:" + value.data;
    }
    return values;
  }

  void WriteOldKeys() {
    Write(kOld, kOldServerValues);
    Write(kOldWebMail, kOldWebMailValues);
  }
};

TEST_F(MigrateRegistryTest, CopiesBothOldKeysAndKeepsThem) {
  WriteOldKeys();
  Migrate(false);
  EXPECT_EQ(Read(kServer), MigratedServerValues());
  EXPECT_EQ(Read(kWebMail), MigratedWebMailValues());
  EXPECT_EQ(Read(kOld), kOldServerValues);
  EXPECT_EQ(Read(kOldWebMail), kOldWebMailValues);
}

TEST_F(MigrateRegistryTest, DeleteOldRemovesTheOldKeysAfterTheCopy) {
  WriteOldKeys();
  Write(kOld + "\\Sub\\Deeper", "x", S("deleted with its key"));
  Migrate(true);
  EXPECT_FALSE(Exists(kOld));
  EXPECT_FALSE(Exists(kOldWebMail));
  EXPECT_EQ(Read(kServer), MigratedServerValues());
  EXPECT_EQ(Read(kWebMail), MigratedWebMailValues());
}

TEST_F(MigrateRegistryTest, MissingValues) {
  Values old = kOldServerValues;
  old.erase("Name");
  old.erase("DNSQuery");
  old["Settings"] = B("");  // no byte read: not written
  Write(kOld, old);
  Migrate(false);
  // A missing string is written empty; raw data only when there was some.
  Values expected = MigratedServerValues();
  expected["Name"] = S("");
  expected.erase("DNSQuery");
  expected.erase("Settings");
  EXPECT_EQ(Read(kServer), expected);
}

TEST_F(MigrateRegistryTest, WithoutOldKeysNothingIsCreated) {
  Migrate(true);
  EXPECT_FALSE(Exists(kCurrent));

  // The web mail key alone.
  Write(kOldWebMail, kOldWebMailValues);
  Migrate(true);
  EXPECT_FALSE(Exists(kServer));
  EXPECT_EQ(Read(kWebMail), MigratedWebMailValues());
  EXPECT_FALSE(Exists(kOldWebMail));
}

TEST_F(MigrateRegistryTest, ExistingCurrentKeyStopsEverything) {
  WriteOldKeys();
  Write(kCurrent, {});  // even an empty one
  Migrate(true);
  EXPECT_FALSE(Exists(kServer));
  EXPECT_FALSE(Exists(kWebMail));
  EXPECT_EQ(Read(kOld), kOldServerValues);
  EXPECT_EQ(Read(kOldWebMail), kOldWebMailValues);
}

TEST_F(MigrateRegistryTest, OnlyTheFirstCallOfARunCopies) {
  // Start-up copies; the install run's call then finds the current key and
  // neither copies again nor deletes.
  WriteOldKeys();
  Migrate(false);
  Write(kOld, "Version", S("changed"));
  Migrate(true);
  EXPECT_EQ(Read(kServer), MigratedServerValues());
  EXPECT_TRUE(Exists(kOld));
}

TEST_F(MigrateRegistryTest, ValueOfAnotherTypeEndsTheMigration) {
  // What came before the faulty value is copied, nothing after it; the web
  // mail key is not reached and no old key is deleted.
  WriteOldKeys();
  Write(kOld, "Country", "d:47");
  Migrate(true);
  EXPECT_EQ(Read(kServer), (Values{{"InstallDir", S("C:\\Program Files\\Orvik\\")},
                                   {"Version", S("7.2.0-3")},
                                   {"Name", S("Postmaster")},
                                   {"Email", S("postmaster@example.com")}}));
  EXPECT_FALSE(Exists(kWebMail));
  EXPECT_TRUE(Exists(kOld));
  EXPECT_TRUE(Exists(kOldWebMail));

  // Text where raw data belongs.
  upgrade_tests::ClearTestKeys();
  WriteOldKeys();
  Write(kOld, "Settings", S("text, not data"));
  Migrate(true);
  Values expected = MigratedServerValues();
  expected.erase("Settings");
  expected.erase("SMTPTest");
  expected.erase("Notify");
  EXPECT_EQ(Read(kServer), expected);
  EXPECT_FALSE(Exists(kWebMail));
  EXPECT_TRUE(Exists(kOld));

  // In the web mail key: the server key went through and its old key is gone.
  upgrade_tests::ClearTestKeys();
  WriteOldKeys();
  Write(kOldWebMail, "Version", B("3.1"));
  Migrate(true);
  EXPECT_FALSE(Exists(kOld));
  EXPECT_EQ(Read(kServer), MigratedServerValues());
  EXPECT_EQ(Read(kWebMail), (Values{{"InstallDir", S("C:\\Program Files\\WebMail\\")}}));
  EXPECT_TRUE(Exists(kOldWebMail));
}

TEST_F(MigrateRegistryTest, RawValuesFillAt4096Bytes) {
  WriteOldKeys();
  const std::string full(4096, '\x5a');
  Write(kOld, "DNSQuery", B(full));
  Write(kOld, "Settings", B(full + "!"));  // does not fit the buffer
  Migrate(false);
  Values copied = Read(kServer);
  EXPECT_EQ(copied["DNSQuery"], B(full));
  EXPECT_EQ(copied.count("Settings"), 0u);
  EXPECT_EQ(copied.count("Notify"), 0u);
  EXPECT_FALSE(Exists(kWebMail));
}

}  // namespace

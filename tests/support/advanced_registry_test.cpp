// The registry component against the platform registry: natively the in-memory
// stand-in, under Wine the real registry.
#include "support/advanced_registry.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using support::TAdvancedRegistry;

class AdvancedRegistryTest : public testing::Test {
 protected:
  static constexpr const char* kArea = "\\Software\\OrvikTests";
  void SetUp() override { platform::RegDeleteKeyTree(platform::RegRoot::CurrentUser, kArea); }
  void TearDown() override { platform::RegDeleteKeyTree(platform::RegRoot::CurrentUser, kArea); }

  TAdvancedRegistry Component(const std::string& section) {
    TAdvancedRegistry r(support::hkCURRENT_USER, kArea, section);
    r.OnError = [this](TAdvancedRegistry&) { ++errors; };
    return r;
  }
  int errors = 0;
};

TEST_F(AdvancedRegistryTest, DesignTimeDefaults) {
  TAdvancedRegistry r;
  EXPECT_EQ(r.RegistryRootKey, support::hkCURRENT_USER);
  EXPECT_EQ(r.KeyPath(), "\\Software\\Company\\Help");
  EXPECT_FALSE(r.OnError);
}

TEST_F(AdvancedRegistryTest, ReadStringOfMissingKeyIsEmptyAndReportsOnce) {
  TAdvancedRegistry r = Component("Missing");
  EXPECT_EQ(r.ReadString("InstallDir"), "");
  EXPECT_EQ(errors, 1);
  EXPECT_FALSE(platform::RegKeyExists(platform::RegRoot::CurrentUser, r.KeyPath()));
}

TEST_F(AdvancedRegistryTest, WriteCreatesKeyWithParentsAndReadsBack) {
  TAdvancedRegistry r = Component("Deep\\Er");
  r.WriteString("InstallDir", "C:\\Program Files\\Orvik\\");
  EXPECT_EQ(errors, 0);
  EXPECT_EQ(r.ReadString("INSTALLDIR"), "C:\\Program Files\\Orvik\\");
  // A missing value of an existing key reads as empty without an error.
  EXPECT_EQ(r.ReadString("Version"), "");
  EXPECT_EQ(errors, 0);
}

TEST_F(AdvancedRegistryTest, BoolsAndWrongTypes) {
  TAdvancedRegistry r = Component("Flags");
  r.WriteBool("On", true);
  r.WriteBool("Off", false);
  r.WriteInteger("Seven", 7);
  r.WriteString("Text", "1");
  EXPECT_TRUE(r.ReadBool("On"));
  EXPECT_FALSE(r.ReadBool("Off"));
  EXPECT_TRUE(r.ReadBool("Seven"));
  EXPECT_EQ(errors, 0);

  EXPECT_FALSE(r.ReadBool("Text"));  // a string is not a boolean
  EXPECT_EQ(errors, 1);
  EXPECT_FALSE(r.ReadBool("Absent"));
  EXPECT_EQ(errors, 2);
  EXPECT_EQ(r.ReadString("Seven"), "");  // nor is a number a string
  EXPECT_EQ(errors, 3);
}

TEST_F(AdvancedRegistryTest, ValueNamesCreateTheKey) {
  TAdvancedRegistry r = Component("Names");
  std::vector<std::string> names = {"stale"};
  r.GetValueNames(names);
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(platform::RegKeyExists(platform::RegRoot::CurrentUser, r.KeyPath()));

  r.WriteString("A", "1");
  r.WriteInteger("B", 2);
  r.GetValueNames(names);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(errors, 0);
}

TEST_F(AdvancedRegistryTest, DeleteKeyIsRelativeToTheRoot) {
  TAdvancedRegistry r = Component("Gone\\Child");
  r.WriteString("x", "y");
  r.DeleteKey(std::string(kArea) + "\\Gone");
  EXPECT_EQ(errors, 0);
  EXPECT_FALSE(
      platform::RegKeyExists(platform::RegRoot::CurrentUser, std::string(kArea) + "\\Gone"));
  r.DeleteKey(std::string(kArea) + "\\Gone");  // nothing left to delete
  EXPECT_EQ(errors, 1);
}

TEST_F(AdvancedRegistryTest, PropertyChangesApplyToTheNextCall) {
  TAdvancedRegistry r = Component("One");
  r.WriteString("v", "first");
  r.RegistrySection = "Two";
  r.WriteString("v", "second");
  r.RegistrySection = "One";
  EXPECT_EQ(r.ReadString("v"), "first");
}

}  // namespace

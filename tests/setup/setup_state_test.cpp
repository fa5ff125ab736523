// The setup state and the component flags in the product key (natively the
// registry stand-in, under Wine the real registry).
#include "product/setup_state.h"

#include <gtest/gtest.h>

#include "platform/system.h"
#include "product/product.h"
#include "product/server_modules.h"
#include "setup/application.h"
#include "support/system_utils.h"
#include "ui/headless.h"

namespace {

using setup::ComponentFlags;

// Natively the product key itself, in this process's own registry. Under Wine
// the registry is shared with the engine tests, which may run meanwhile and
// write the product key: these tests keep a private key of theirs.
#ifdef _WIN32
constexpr char kKeyArea[] = "\\Software\\OrvikSetupTests";
#else
constexpr char kKeyArea[] = "\\Software\\Kestrun";
#endif
const std::string kKey = std::string(kKeyArea) + "\\" + setup::kProductKeySection;

class ComponentFlagsTest : public testing::Test {
 protected:
  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); }
  static void Clear() { platform::RegDeleteKeyTree(platform::RegRoot::LocalMachine, kKeyArea); }
  support::TAdvancedRegistry registry{support::hkLOCAL_MACHINE, kKeyArea,
                                      setup::kProductKeySection};
};

ComponentFlags AllSet() {
  ComponentFlags f;
  f.NoInstallMail = f.NoInstallControl = f.NoInstallIAS = f.NoInstallAV = f.NoInstallCalendar =
      f.NoInstallIM = true;
  return f;
}

bool Same(const ComponentFlags& a, const ComponentFlags& b) {
  return a.NoInstallMail == b.NoInstallMail && a.NoInstallControl == b.NoInstallControl &&
         a.NoInstallIAS == b.NoInstallIAS && a.NoInstallAV == b.NoInstallAV &&
         a.NoInstallCalendar == b.NoInstallCalendar && a.NoInstallIM == b.NoInstallIM;
}

TEST_F(ComponentFlagsTest, ProductKeyIsTheOneTheServerUses) {
  support::TAdvancedRegistry product = setup::ProductRegistry();
  EXPECT_EQ(product.RegistryRootKey, support::hkLOCAL_MACHINE);
  EXPECT_EQ(product.KeyPath(), "\\Software\\Kestrun\\Orvik Mail Server");
}

TEST_F(ComponentFlagsTest, WrittenFlagsReadBack) {
  ComponentFlags written;
  written.NoInstallAV = true;
  written.NoInstallCalendar = true;
  setup::WriteComponentFlags(registry, written);

  platform::RegKey key;
  ASSERT_TRUE(key.Open(platform::RegRoot::LocalMachine, kKey, false));
  std::vector<std::string> names;
  key.ValueNames(names);
  EXPECT_EQ(names.size(), 6u);
  platform::RegValue value;
  ASSERT_TRUE(key.ReadValue("NoInstallAV", value));
  EXPECT_EQ(value.type, platform::RegType::DWord);
  EXPECT_EQ(value.dword, 1u);

  ComponentFlags read = AllSet();
  setup::ReadComponentFlags(registry, read);
  EXPECT_TRUE(Same(read, written));
}

TEST_F(ComponentFlagsTest, KeyWithoutFlagsSelectsEverything) {
  registry.WriteString("Version", "8.9.0");
  ComponentFlags read = AllSet();
  setup::ReadComponentFlags(registry, read);
  EXPECT_TRUE(Same(read, ComponentFlags()));
}

TEST_F(ComponentFlagsTest, OnlyMailDeselected) {
  registry.WriteBool("NoInstallMail", true);
  ComponentFlags read;
  setup::ReadComponentFlags(registry, read);
  ComponentFlags expected;
  expected.NoInstallMail = true;
  EXPECT_TRUE(Same(read, expected));
}

TEST_F(ComponentFlagsTest, MissingKeyLeavesFlagsAsTheyWere) {
  ComponentFlags read = AllSet();
  setup::ReadComponentFlags(registry, read);
  EXPECT_TRUE(Same(read, AllSet()));
  EXPECT_FALSE(platform::RegKeyExists(platform::RegRoot::LocalMachine, kKey));
}

TEST_F(ComponentFlagsTest, FailedWriteStopsThePassAndKeepsTheHandler) {
  // A key name longer than the registry allows: the first write fails and no
  // other is tried.
  int errors = 0;
  registry.RegistrySection = std::string(300, 'x');
  registry.OnError = [&](support::TAdvancedRegistry&) { ++errors; };
  setup::WriteComponentFlags(registry, AllSet());
  EXPECT_EQ(errors, 1);
  ASSERT_TRUE(registry.OnError);
  registry.OnError(registry);
  EXPECT_EQ(errors, 2);
}

TEST(SetupApplication, StartsWithDesignedDefaults) {
  setup::TSetupApplication app;
  app.State.InstallDir = "leftover";
  ui::HeadlessUI ui;
  EXPECT_EQ(app.Run({"/unknown"}, ui, "C:\\nowhere\\setup.exe"), 0);
  EXPECT_EQ(app.Title, "Setup");
  const setup::TSetupState& s = app.State;
  EXPECT_TRUE(s.InstallDir.empty());
  EXPECT_TRUE(s.AddDesktop && s.AddQuickLaunch);
  EXPECT_TRUE(s.RunTutorial && s.ShowTutorial);
  EXPECT_FALSE(s.RunConfig || s.IsUpgrade || s.UpgradeFromPre827 || s.OldWebMailFound);
  EXPECT_EQ(s.Mode, setup::InterfaceMode::Advanced);
  EXPECT_TRUE(Same(s.Components, ComponentFlags()));
  EXPECT_EQ(support::ServiceMode, platform::PlatformId() == 2);
}

}  // namespace

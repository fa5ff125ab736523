// COM self-registration against the stand-in libraries of testbed/. Each
// stand-in records its loads, unloads and entry calls in "<library>.calls"
// beside it; the tests work on copies in a scratch folder.
#include "registration/com_registration.h"

#include <gtest/gtest.h>

#include "common/scratch_dir.h"
#include "platform/files.h"
#include "registration/testbed_libraries.h"

namespace {

using testing_support::ReadFile;

class ComRegistrationTest : public testing::Test {
 protected:
  testing_support::ScratchDir dir;

  // A copy of a stand-in under the name the installation gives it.
  std::string Install(const std::string& standin, const std::string& name) {
    std::string path = dir.Path() + name;
    EXPECT_TRUE(platform::CopyFile(upgrade_tests::TestbedLibrary(standin), path, true))
        << upgrade_tests::TestbedLibrary(standin);
    return path;
  }
  std::string Calls(const std::string& library) { return ReadFile(library + ".calls"); }
};

TEST_F(ComRegistrationTest, EachEntryRunsOnceAndTheLibraryIsReleased) {
  std::string api = Install("api", "api.dll");
  std::string com = Install("kestruncom", "kestruncom.dll");

  EXPECT_TRUE(registration::RegisterComServer(api));
  EXPECT_EQ(Calls(api), "load\nDllRegisterServer\nunload\n");
  EXPECT_EQ(Calls(com), "");
  EXPECT_TRUE(registration::RegisterComServer(com));
  EXPECT_EQ(Calls(com), "load\nDllRegisterServer\nunload\n");

  EXPECT_TRUE(registration::UnregisterComServer(api));
  EXPECT_TRUE(registration::UnregisterComServer(com));
  const std::string both =
      "load\nDllRegisterServer\nunload\n"
      "load\nDllUnregisterServer\nunload\n";
  EXPECT_EQ(Calls(api), both);
  EXPECT_EQ(Calls(com), both);
}

TEST_F(ComRegistrationTest, OnlyZeroFromTheEntryIsSuccess) {
  std::string api = Install("api", "api.dll");
  ASSERT_TRUE(testing_support::WriteFile(api + ".fail", ""));  // the entries return E_FAIL
  EXPECT_FALSE(registration::RegisterComServer(api));
  EXPECT_FALSE(registration::UnregisterComServer(api));
  EXPECT_EQ(Calls(api),
            "load\nDllRegisterServer\nunload\n"
            "load\nDllUnregisterServer\nunload\n");
}

TEST_F(ComRegistrationTest, LibraryWithoutEntriesFailsAndIsReleased) {
  std::string none = Install("noentries", "none.dll");
  EXPECT_FALSE(registration::RegisterComServer(none));
  EXPECT_EQ(Calls(none), "load\nunload\n");
  EXPECT_FALSE(registration::UnregisterComServer(none));
  EXPECT_EQ(Calls(none), "load\nunload\nload\nunload\n");
}

TEST_F(ComRegistrationTest, WhatCannotBeLoadedFails) {
  EXPECT_FALSE(registration::RegisterComServer(dir.Path() + "api.dll"));
  EXPECT_FALSE(registration::UnregisterComServer(dir.Path() + "api.dll"));
  EXPECT_FALSE(registration::RegisterComServer(""));
  ASSERT_TRUE(testing_support::WriteFile(dir.Path() + "text.dll", "MZ but not a library"));
  EXPECT_FALSE(registration::RegisterComServer(dir.Path() + "text.dll"));
}

}  // namespace

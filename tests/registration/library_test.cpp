// The platform's dynamic libraries, with the api.dll stand-in of testbed/,
// which records its loads and unloads in "<library>.calls" beside it.
#include "platform/library.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <utility>

#include "common/scratch_dir.h"
#include "platform/files.h"
#include "platform/system.h"
#include "registration/testbed_libraries.h"

namespace {

using platform::Library;

class LibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CopyFile(upgrade_tests::TestbedLibrary("api"), path, true));
  }
  std::string Calls() { return testing_support::ReadFile(path + ".calls"); }

  testing_support::ScratchDir dir;
  std::string path = dir.Path() + "api.dll";
};

TEST_F(LibraryTest, FindsEntriesByName) {
  Library library;
  EXPECT_EQ(library.Find("DllRegisterServer"), nullptr);  // nothing loaded yet
  ASSERT_TRUE(library.Load(path));
  int32_t (*entry)() = nullptr;
  ASSERT_TRUE(library.Bind("DllRegisterServer", entry));
  EXPECT_EQ(entry(), 0);
  EXPECT_EQ(Calls(), "load\nDllRegisterServer\n");
  // A missing entry clears what was bound before; internal functions are not exported.
  EXPECT_FALSE(library.Bind("DllInstall", entry));
  EXPECT_EQ(entry, nullptr);
  EXPECT_EQ(library.Find("Record"), nullptr);
}

TEST_F(LibraryTest, EveryLoadIsUnloadedOnce) {
  {
    Library library;
    ASSERT_TRUE(library.Load(path));
    library.Unload();
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(library.Find("DllRegisterServer"), nullptr);
    ASSERT_TRUE(library.Load(path));
    ASSERT_TRUE(library.Load(path));  // unloads what was loaded first
    Library moved = std::move(library);
    EXPECT_FALSE(library.IsLoaded());
    library.Unload();  // nothing left to unload
    EXPECT_EQ(Calls(), "load\nunload\nload\nunload\nload\n");
    // A failed load leaves nothing loaded, the earlier library included.
    EXPECT_FALSE(moved.Load(dir.Path() + "missing.dll"));
    EXPECT_FALSE(moved.IsLoaded());
    EXPECT_EQ(Calls(), "load\nunload\nload\nunload\nload\nunload\n");
    ASSERT_TRUE(moved.Load(path));
  }  // the destructor unloads
  EXPECT_EQ(Calls(), "load\nunload\nload\nunload\nload\nunload\nload\nunload\n");
}

// Only a full path is loaded: anything else would be searched for, the current
// folder among the places.
TEST_F(LibraryTest, ANameWithoutAFullPathIsRefused) {
  const std::string wasCurrent = platform::CurrentDirectory();
  ASSERT_TRUE(platform::SetCurrentDirectory(dir.Path()));
  for (const std::string& name :
       {std::string("api.dll"), std::string(".\\api.dll"), path.substr(0, 2) + "api.dll"}) {
    SCOPED_TRACE(name);
    Library library;
    EXPECT_FALSE(library.Load(name));
    EXPECT_EQ(library.LoadError(), 87u);  // ERROR_INVALID_PARAMETER
  }
  platform::SetCurrentDirectory(wasCurrent);
  EXPECT_EQ(Calls(), "");
}

#ifdef _WIN32
// A dependency that a search along PATH or in the current folder would find is
// never taken from there; one in the library's own folder is.
TEST(LibraryDependenciesTest, ComeOnlyFromTheLibrarysFolderAndTheSystem) {
  testing_support::ScratchDir scratch;
  const std::string own = scratch.Path() + "own\\", path = scratch.Path() + "path\\",
                    current = scratch.Path() + "current\\";
  for (const std::string& folder : {own, path, current})
    ASSERT_TRUE(platform::CreateDirectory(folder));
  ASSERT_TRUE(
      platform::CopyFile(upgrade_tests::TestbedLibrary("dependent"), own + "dependent.dll", true));
  for (const std::string& folder : {path, current})
    ASSERT_TRUE(platform::CopyFile(upgrade_tests::TestbedLibrary("dependency"),
                                   folder + "dependency.dll", true));
  const std::string before = platform::GetEnvironment("PATH");
  const std::string wasCurrent = platform::CurrentDirectory();
  ASSERT_EQ(_putenv(("PATH=" + path + ";" + before).c_str()), 0);
  ASSERT_TRUE(platform::SetCurrentDirectory(current));
  Library library;
  EXPECT_FALSE(library.Load(own + "dependent.dll"));
  ASSERT_TRUE(platform::CopyFile(upgrade_tests::TestbedLibrary("dependency"),
                                 own + "dependency.dll", true));
  EXPECT_TRUE(library.Load(own + "dependent.dll"));
  library.Unload();
  platform::SetCurrentDirectory(wasCurrent);
  _putenv(("PATH=" + before).c_str());
}
#endif

}  // namespace

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

#ifdef _WIN32
// A dependency that only a search along PATH finds: the altered search order
// finds it there, a confined load never does.
TEST(ConfinedLibraryTest, DependenciesComeOnlyFromTheLibrarysFolderAndTheSystem) {
  testing_support::ScratchDir scratch;
  const std::string own = scratch.Path() + "own\\", path = scratch.Path() + "path\\";
  ASSERT_TRUE(platform::CreateDirectory(own) && platform::CreateDirectory(path));
  ASSERT_TRUE(
      platform::CopyFile(upgrade_tests::TestbedLibrary("dependent"), own + "dependent.dll", true));
  ASSERT_TRUE(platform::CopyFile(upgrade_tests::TestbedLibrary("dependency"),
                                 path + "dependency.dll", true));
  const std::string before = platform::GetEnvironment("PATH");
  ASSERT_EQ(_putenv(("PATH=" + path + ";" + before).c_str()), 0);
  Library library;
  // Confined first: a dependency loaded once would be taken from memory.
  EXPECT_FALSE(library.LoadConfined(own + "dependent.dll"));
  EXPECT_FALSE(library.LoadConfined("dependent.dll"));  // no full path
  EXPECT_TRUE(library.Load(own + "dependent.dll"));
  library.Unload();
  _putenv(("PATH=" + before).c_str());
}
#endif

}  // namespace

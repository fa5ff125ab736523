// The anti-virus engine's setup library stand-in of testbed/ (setiface), which
// the deployment tests load from setupav.dat: each entry logs its arguments and
// the current directory in "setiface.log" beside the library it was loaded
// from, and the install places a copy where deployment loads it afterwards.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "common/scratch_dir.h"
#include "engine/antivirus_setup.h"
#include "platform/files.h"
#include "platform/library.h"
#include "registration/testbed_libraries.h"
#ifndef _WIN32
#include "platform/posix/posix_platform.h"
#endif

namespace {

using testing_support::ReadFile;

// Runs with the current directory of the process set to a folder, then
// restores it.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::string& folder) {
#ifdef _WIN32
    std::filesystem::current_path(folder);
#else
    std::filesystem::current_path(platform::posix::MapPath(folder));
#endif
  }
  ~CurrentDirectory() {
    std::filesystem::current_path(previous_);
  }
  std::string Path() const {
    return std::filesystem::current_path().string();
  }

 private:
  std::filesystem::path previous_ = std::filesystem::current_path();
};

TEST(SetifaceStandinTest, LogsEveryCallAndInstallsWhereDeploymentLooks) {
  testing_support::ScratchDir dir;
  const std::string extracted = dir.Path() + "avast\\";
  const std::string destination = dir.Path() + "Orvik\\avast";
  const std::string installed = destination + "\\setup\\";
  ASSERT_TRUE(platform::CreateDirectory(extracted));
  ASSERT_TRUE(platform::CreateDirectory(dir.Path() + "Orvik\\"));
  ASSERT_TRUE(platform::CopyFile(upgrade_tests::TestbedLibrary("setiface"),
                                 extracted + "setiface.dll", true));
  ASSERT_TRUE(testing_support::WriteFile(extracted + "avastoem.exe", "engine"));
  CurrentDirectory current(extracted);

  platform::Library library;
  ASSERT_TRUE(library.Load(extracted + "setiface.dll"));
  engine::SetifaceInstallProgram* install = nullptr;
  engine::SetifaceUninstallProgram* uninstall = nullptr;
  ASSERT_TRUE(library.Bind("setifaceInstallProgram", install));
  ASSERT_TRUE(library.Bind("setifaceUninstallProgram", uninstall));
  int32_t status = 7;
  EXPECT_EQ(install("Kestrun", (extracted + "avastoem.exe").c_str(), destination.c_str(),
                    "/minicore /noreboot /forceinstall", 2, &status),
            0);
  EXPECT_EQ(status, 0);
  status = 7;
  EXPECT_EQ(uninstall("Kestrun", nullptr, 1, &status), 0);
  EXPECT_EQ(status, 0);
  library.Unload();
  EXPECT_EQ(ReadFile(extracted + "setiface.log"),
            "setifaceInstallProgram\tKestrun\t" + extracted + "avastoem.exe\t" + destination +
                "\t/minicore /noreboot /forceinstall\t2\t" + current.Path() +
                "\nsetifaceUninstallProgram\tKestrun\t(null)\t1\t" + current.Path() + "\n");

  // The installed copy is the library itself, beside the engine, and logs beside itself.
  EXPECT_EQ(ReadFile(installed + "setiface.dll"), ReadFile(extracted + "setiface.dll"));
  EXPECT_EQ(ReadFile(installed + "avastoem.exe"), "engine");
  ASSERT_TRUE(library.Load(installed + "setiface.dll"));
  engine::SetifaceUpdateFiles* update = nullptr;
  ASSERT_TRUE(library.Bind("setifaceUpdateFiles", update));
  EXPECT_EQ(update("Kestrun", "/overwrite", 2, &status), 0);
  library.Unload();
  EXPECT_EQ(ReadFile(installed + "setiface.log"),
            "setifaceUpdateFiles\tKestrun\t/overwrite\t2\t" + current.Path() + "\n");
}

}  // namespace

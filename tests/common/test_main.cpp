// Entry of every test executable. Natively, drive letters are mapped into a
// fresh directory so that tests can use Windows paths such as "C:\x\"; the
// directory is exported as ORVIK_DRIVE_ROOT for the stand-in libraries.
#include <gtest/gtest.h>

#include "platform/library.h"

#ifndef _WIN32
#include <cstdlib>
#include <string>

#include "platform/posix/posix_platform.h"
#endif

int main(int argc, char** argv) {
  platform::LimitLibrarySearchToSystem();  // as setup.exe runs
  testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvik-test-XXXXXX";
  if (!mkdtemp(pattern.data())) return 2;
  platform::posix::SetDriveRoot(pattern);
  setenv("ORVIK_DRIVE_ROOT", pattern.c_str(), 1);
#endif
  int result = RUN_ALL_TESTS();
#ifndef _WIN32
  std::string cleanup = "rm -rf '" + pattern + "'";
  if (std::system(cleanup.c_str()) != 0) return result ? result : 3;
#endif
  return result;
}

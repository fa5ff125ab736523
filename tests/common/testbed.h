// What the build made for the tests: the stand-ins of testbed/ and the demo
// package, as paths the platform layer takes.
#pragma once

#include <string>

namespace testing_support {

// A folder of the build tree, with a trailing separator. Under Wine its drive
// Z: is the Linux root.
inline std::string BuildFolder(const std::string& linuxPath) {
#ifdef _WIN32
  std::string path = "Z:" + linuxPath + "\\";
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
#else
  return linuxPath + "/";
#endif
}

#ifdef ORVIK_TESTBED_DIR
// The built stand-in library of that name ("api", "db", ...).
inline std::string TestbedLibrary(const std::string& name) {
#ifdef _WIN32
  return BuildFolder(ORVIK_TESTBED_DIR) + name + ".dll";
#else
  return BuildFolder(ORVIK_TESTBED_DIR) + name + ".so";
#endif
}
#endif

}  // namespace testing_support

// The stand-in libraries built in testbed/. Only for the test executables that
// define ORVIK_TESTBED_DIR, the folder the build puts them in.
#pragma once

#include <string>

namespace testing_support {

// The built stand-in library of that name ("api", "db", ...), as a path the
// platform layer takes: under Wine its drive Z: is the Linux root.
inline std::string TestbedLibrary(const std::string& name) {
#ifdef _WIN32
  std::string path = "Z:" + std::string(ORVIK_TESTBED_DIR) + "/" + name + ".dll";
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
#else
  return std::string(ORVIK_TESTBED_DIR) + "/" + name + ".so";
#endif
}

}  // namespace testing_support

// A scratch configuration folder for the configuration loaders' fuzz targets:
// drive C: is mapped to a fresh directory once per process.
#pragma once

#include <cstdlib>
#include <string>

#include "platform/posix/posix_platform.h"
#include "serverconfig/config_store.h"
#include "support/file_utils.h"

namespace fuzz_config {

inline const std::string& InstallDir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/orvik-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    platform::posix::SetDriveRoot(pattern);
    support::CreateDirectoryPath("C:\\orvik\\config\\");
    return std::string("C:\\orvik\\");
  }();
  return dir;
}

inline void Prepare(serverconfig::TConfigStore& store) {
  store.Dirs.InstallDir = InstallDir();
  store.Dirs.ConfigDir = InstallDir() + "config\\";
}

inline void WriteConfigFile(const std::string& name, const std::string& content) {
  std::string path = InstallDir() + "config\\" + name;
  if (content.empty() && name != "settings.cfg") {
    platform::DeleteFile(path);
    return;
  }
  if (!support::SaveStringToFile(content, path)) std::abort();
}

}  // namespace fuzz_config

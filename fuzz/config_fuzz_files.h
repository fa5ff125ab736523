// The configuration folder of the configuration loaders' fuzz targets, on the
// fuzz targets' in-memory drive C:.
#pragma once

#include <cstdlib>
#include <string>

#include "serverconfig/config_store.h"
#include "support/file_utils.h"

namespace fuzz_config {

inline const std::string& InstallDir() {
  static const std::string dir = [] {
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

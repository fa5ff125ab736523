// A fresh, empty directory for one test, removed with everything in it at the end.
#pragma once

#include <string>

namespace testing_support {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // Windows path with a trailing "\".
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Writes and reads whole files through the platform layer.
bool WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);

}  // namespace testing_support

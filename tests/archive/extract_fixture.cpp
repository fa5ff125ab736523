#include "archive/extract_fixture.h"

#include <vector>

#include "platform/files.h"
#include "support/file_utils.h"

namespace archive_test {

std::map<std::string, bool> ListTree(const std::string& dir) {
  std::map<std::string, bool> found;
  std::vector<std::string> pending{""};
  while (!pending.empty()) {
    const std::string relative = pending.back();
    pending.pop_back();
    std::vector<platform::DirEntry> entries;
    platform::ListDirectory(dir + relative + "*", entries);
    for (const auto& e : entries) {
      if (e.name == "." || e.name == "..") continue;
      const bool folder = (e.attributes & platform::kAttrDirectory) != 0;
      found[relative + e.name + (folder ? "\\" : "")] = folder;
      if (folder) pending.push_back(relative + e.name + "\\");
    }
  }
  return found;
}

Tree ReadTree(const std::string& dir) {
  Tree tree;
  for (const auto& [name, folder] : ListTree(dir))
    if (!folder) tree[name] = testing_support::ReadFile(dir + name);
  return tree;
}

archive::ExtractResult ExtractTest::Run(const std::string& bytes, archive::ExtractOptions options) {
  EXPECT_TRUE(testing_support::WriteFile(archive_, bytes));
  options.Threads = GetParam();
  return archive::Extract(archive_, dest_, options);
}

void ExtractTest::Put(const std::string& name, const std::string& content) {
  const std::string path = dest_ + name;
  support::CreateDirectoryPath(path.substr(0, path.rfind('\\') + 1));
  ASSERT_TRUE(testing_support::WriteFile(path, content));
}

}  // namespace archive_test

// Splitting a command line into words; shared by both sides.
#include "platform/system.h"

namespace platform {

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  std::vector<std::string> words;
  size_t i = 0, n = commandLine.size();
  for (;;) {
    for (;;) {
      while (i < n && blank(commandLine[i])) ++i;
      if (i + 1 < n && commandLine[i] == '"' && commandLine[i + 1] == '"') {
        i += 2;
      } else {
        break;
      }
    }
    if (i >= n) return words;
    std::string word;
    for (bool quoted = false; i < n && (quoted || !blank(commandLine[i])); ++i) {
      if (commandLine[i] == '"') {
        quoted = !quoted;
      } else {
        word += commandLine[i];
      }
    }
    words.push_back(std::move(word));
  }
}

}  // namespace platform

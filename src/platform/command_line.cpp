// Splitting a command line into words; shared by both sides.
#include <type_traits>

#include "platform/codepage.h"
#include "platform/system.h"

namespace platform {
namespace {

// One rule for the bytes of the code page and for the UTF-16 code units that
// Windows keeps the command line in.
template <typename Char>
std::vector<std::basic_string<Char>> SplitWords(std::basic_string_view<Char> commandLine) {
  auto blank = [](Char c) { return static_cast<std::make_unsigned_t<Char>>(c) <= ' '; };
  std::vector<std::basic_string<Char>> words;
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
    std::basic_string<Char> word;
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

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  return SplitWords(std::string_view(commandLine));
}

std::vector<CommandLineWord> SplitWideCommandLine(std::u16string_view commandLine) {
  std::vector<CommandLineWord> words;
  for (const std::u16string& wide : SplitWords(commandLine)) {
    CommandLineWord word;
    word.exact = WideToAnsiExact(wide, word.text);
    words.push_back(std::move(word));
  }
  return words;
}

}  // namespace platform

#include "setup/answers_file.h"

#include "platform/files.h"
#include "support/file_utils.h"
#include "support/text_fields.h"

namespace setup {

std::string ParseAnswers(const std::string& text, serverconfig::FirstRunValues& values) {
  struct Key {
    const char* name;
    std::string serverconfig::FirstRunValues::*value;
    bool found;
  } keys[] = {{"HostName", &serverconfig::FirstRunValues::HostName, false},
              {"Domain", &serverconfig::FirstRunValues::Domain, false},
              {"Administrator", &serverconfig::FirstRunValues::User, false},
              {"Password", &serverconfig::FirstRunValues::Password, false}};
  bool inSection = false;
  std::size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a UTF-8 mark
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string trimmed = support::TrimBlanks(line);
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') continue;
    if (trimmed[0] == '[') {
      inSection = support::SameText(trimmed, "[FirstRun]");
      continue;
    }
    if (!inSection) continue;
    std::size_t equals = line.find('=');
    std::string name = support::TrimBlanks(line.substr(0, equals));
    Key* key = nullptr;
    for (Key& k : keys)
      if (equals != std::string::npos && support::SameText(name, k.name)) key = &k;
    if (!key) return "[FirstRun] holds an unknown line: " + trimmed;
    if (key->found) return std::string(key->name) + " is given twice";
    key->found = true;
    values.*(key->value) = line.substr(equals + 1);
  }
  for (const Key& key : keys)
    if (!key.found) return std::string("[FirstRun] lacks ") + key.name + "=";
  return serverconfig::FirstRunProblem(values, true);
}

std::string ReadAnswersFile(const std::string& file, serverconfig::FirstRunValues& values) {
  if (!platform::FileExists(file)) return "no answers file " + file;
  std::string problem = ParseAnswers(support::LoadFileToString(file), values);
  return problem.empty() ? "" : file + ": " + problem;
}

}  // namespace setup

// Command-line parsing shared by the commands: options may come anywhere before "--",
// as "--name value" or "--name=value".
#pragma once

#include <map>
#include <string>
#include <vector>

namespace ilds {

struct OptionDef {
  const char* name;  // without the leading "--"
  bool takesValue;
};

struct ParsedArgs {
  std::map<std::string, std::string> options;  // flags map to ""
  std::vector<std::string> positional;
  bool help = false;
  std::string error;  // non-empty: a usage error

  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::string Value(const std::string& name, const std::string& fallback = "") const {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
  }
};

ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<OptionDef>& known);

}  // namespace ilds

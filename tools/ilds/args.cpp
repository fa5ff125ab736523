#include "args.h"

namespace ilds {

ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<OptionDef>& known) {
  ParsedArgs parsed;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      continue;
    }
    if (arg.compare(0, 2, "--") != 0) {
      parsed.error = "unknown option " + arg;
      return parsed;
    }
    std::string name = arg.substr(2);
    std::string value;
    bool inlineValue = false;
    if (size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      inlineValue = true;
    }
    const OptionDef* option = nullptr;
    for (const OptionDef& o : known) {
      if (name == o.name) option = &o;
    }
    if (!option) {
      parsed.error = "unknown option --" + name;
      return parsed;
    }
    if (option->takesValue && !inlineValue) {
      if (i + 1 >= args.size()) {
        parsed.error = "--" + name + " needs a value";
        return parsed;
      }
      value = args[++i];
    } else if (!option->takesValue && inlineValue) {
      parsed.error = "--" + name + " takes no value";
      return parsed;
    }
    parsed.options[name] = value;
  }
  return parsed;
}

}  // namespace ilds

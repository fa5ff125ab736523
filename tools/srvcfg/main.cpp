// srvcfg: shows the server configuration of a directory and adds domains and accounts to it,
// through the same configuration store as the setup. People use it, and so does the build of
// the demo package's data.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "names.h"
#include "platform/files.h"

namespace {

const char kUsage[] =
    "usage: srvcfg COMMAND CONFIGDIR [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  show CONFIGDIR                    the host name, directories, ports and domains\n"
    "  add-domain CONFIGDIR NAME         add a domain (its name is kept in lower case)\n"
    "  add-account CONFIGDIR DOMAIN ALIAS PASSWORD [--kind N]\n"
    "                                    add an account to a domain; prints the index of\n"
    "                                    its record\n"
    "  make-primary CONFIGDIR NAME       make a domain the primary one\n"
    "  clear-paths CONFIGDIR             empty the temporary, mail and logs directories\n"
    "                                    of settings.cfg (they then follow the folder)\n"
    "\n"
    "CONFIGDIR is the server's configuration directory (C:\\Orvik\\config); the installation\n"
    "directory is its parent. A path.dat there that names another configuration directory is\n"
    "followed, as the server follows it.\n"
#ifndef _WIN32
    "Here a path with a drive letter lies below the drive root, $TMPDIR/orvik-drives (C: is\n"
    "its folder c); a path without one is a path of this system.\n"
#endif
    "--kind N: the kind of account, 0 to 255: 0 a user (the default), 7 a group.\n"
    "\"--\" ends the options, for arguments that begin with \"-\".\n"
    "Exit status: 0 success, 1 failure (the reason on standard error), 2 a usage error.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "srvcfg: %s\n\n%s", message.c_str(), kUsage);
  return srvcfg::kExitUsage;
}

struct Command {
  const char* name;
  std::size_t arguments;  // CONFIGDIR included
  bool takesKind;
};

constexpr Command kCommands[] = {{"show", 1, false},
                                 {"add-domain", 2, false},
                                 {"add-account", 4, true},
                                 {"make-primary", 2, false},
                                 {"clear-paths", 1, false}};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return UsageError("no command given");
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    std::fputs(kUsage, stdout);
    return srvcfg::kExitOk;
  }
  const Command* command = nullptr;
  for (const Command& c : kCommands)
    if (name == c.name) command = &c;
  if (!command) return UsageError("unknown command \"" + name + "\"");

  std::vector<std::string> positional;
  std::string kindText;
  bool kindGiven = false, optionsEnded = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return srvcfg::kExitOk;
    } else if (command->takesKind && arg.rfind("--kind=", 0) == 0) {
      kindText = arg.substr(7);
      kindGiven = true;
    } else if (command->takesKind && arg == "--kind") {
      if (i + 1 >= argc) return UsageError("--kind needs a value");
      kindText = argv[++i];
      kindGiven = true;
    } else {
      return UsageError(name + ": unknown option " + arg);
    }
  }
  if (positional.size() != command->arguments) {
    return UsageError(name + " takes " + std::to_string(command->arguments) + " argument" +
                      (command->arguments == 1 ? "" : "s") + ", " +
                      std::to_string(positional.size()) + " given");
  }
  if (positional[0].empty()) return UsageError("the configuration directory is empty");
  uint8_t kind = 0;
  if (kindGiven && !srvcfg::ParseKind(kindText, kind))
    return UsageError("--kind takes a number from 0 to 255, not \"" + kindText + "\"");

  const std::string& configDir = positional[0];
  platform::PrepareDrive(configDir);
  if (name == "show") return srvcfg::Show(configDir);
  if (name == "add-domain") return srvcfg::AddDomain(configDir, positional[1]);
  if (name == "add-account")
    return srvcfg::AddAccount(configDir, positional[1], positional[2], positional[3], kind);
  if (name == "make-primary") return srvcfg::MakePrimary(configDir, positional[1]);
  return srvcfg::ClearPaths(configDir);
}

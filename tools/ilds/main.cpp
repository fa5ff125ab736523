// ilds: packs, lists, extracts and verifies ILDS package archives.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"

namespace {

const char kUsage[] =
    "usage: ilds COMMAND [OPTIONS] ARGUMENTS\n"
    "\n"
    "Commands:\n"
    "  pack     pack files and folders into an archive\n"
    "  list     list the entries of an archive\n"
    "  extract  extract an archive into a folder\n"
    "  verify   decode every entry and check it, writing nothing\n"
    "\n"
    "\"ilds COMMAND --help\" describes a command. Exit status: 0 success, 1 the archive\n"
    "failed (the reason on standard error), 2 a usage error.\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 1 ? 2 : argc), argv + argc);
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return ilds::kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return ilds::kExitOk;
  }
  if (command == "pack") return ilds::Pack(args);
  if (command == "list") return ilds::List(args);
  if (command == "extract") return ilds::Extract(args);
  if (command == "verify") return ilds::Verify(args);
  std::fprintf(stderr, "ilds: unknown command \"%s\"\n\n%s", command.c_str(), kUsage);
  return ilds::kExitUsage;
}

#include <cstdio>

#include "commands.h"

namespace ilds {

int Report(const char* command, const std::string& message, int status) {
  std::fprintf(stderr, "ilds %s: %s\n", command, message.c_str());
  return status;
}

int UsageError(const char* command, const std::string& message) {
  std::fprintf(stderr, "ilds %s: %s\nTry \"ilds %s --help\".\n", command, message.c_str(), command);
  return kExitUsage;
}

}  // namespace ilds

// The shell stand-in records what it is asked to open.
#include "platform/shell.h"

#include <cctype>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "platform/posix/posix_platform.h"

namespace platform {
namespace {

std::mutex logMutex;
std::vector<std::string> executed;

}  // namespace

bool ShellExecute(uintptr_t, const std::string& verb, const std::string& file,
                  const std::string& parameters, const std::string& directory, int) {
  if (file.empty()) return false;
  // A local file that is not there: Windows answers "file not found".
  bool drivePath = file.size() >= 3 && std::isalpha(static_cast<unsigned char>(file[0])) &&
                   file[1] == ':' && (file[2] == '\\' || file[2] == '/');
  if (drivePath && GetFileAttributes(file) == kInvalidAttributes) return false;
  std::lock_guard<std::mutex> lock(logMutex);
  executed.push_back(verb + "|" + file + "|" + parameters + "|" + directory);
  return true;
}

namespace posix {

std::vector<std::string> ShellExecuteLog() {
  std::lock_guard<std::mutex> lock(logMutex);
  return executed;
}

void ClearShellExecuteLog() {
  std::lock_guard<std::mutex> lock(logMutex);
  executed.clear();
}

}  // namespace posix
}  // namespace platform

// The simulated shell records what it is asked to open, writes shell links as
// small text files and reports the special folders a test gives it.
#include "platform/shell.h"

#include <cctype>
#include <map>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "simulator/simulator.h"

namespace platform {
namespace {

std::mutex logMutex;
std::vector<std::string> executed;

std::mutex foldersMutex;
std::map<SpecialFolder, std::string> specialFolders;

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

bool CreateShellLink(const std::string& target, const std::string& linkFile,
                     const std::string& arguments, int iconIndex) {
  const std::string text = "Target=" + target + "\r\nArguments=" + arguments +
                           "\r\nIconIndex=" + std::to_string(iconIndex) + "\r\n";
  File link;
  return link.Open(linkFile, File::Mode::Create) && link.Write(text.data(), text.size());
}

std::string SpecialFolderPath(SpecialFolder folder) {
  std::lock_guard<std::mutex> lock(foldersMutex);
  auto found = specialFolders.find(folder);
  return found == specialFolders.end() ? "" : found->second;
}

}  // namespace platform

namespace simulator {
using namespace platform;

void SetSpecialFolders(const std::string& desktop, const std::string& commonPrograms,
                       const std::string& programs) {
  SetSpecialFolder(SpecialFolder::Desktop, desktop);
  SetSpecialFolder(SpecialFolder::CommonPrograms, commonPrograms);
  SetSpecialFolder(SpecialFolder::Programs, programs);
}

void SetSpecialFolder(SpecialFolder folder, const std::string& path) {
  std::lock_guard<std::mutex> lock(foldersMutex);
  specialFolders[folder] = path;
}

std::vector<std::string> ShellExecuteLog() {
  std::lock_guard<std::mutex> lock(logMutex);
  return executed;
}

void ClearShellExecuteLog() {
  std::lock_guard<std::mutex> lock(logMutex);
  executed.clear();
}

}  // namespace simulator

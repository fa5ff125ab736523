// The system's folders. Apart from file_utils.cpp because natively only the tests'
// simulator knows them: the native tools link file_utils without them.
#include "platform/files.h"
#include "platform/system.h"
#include "support/file_utils.h"
#include "support/text_fields.h"

namespace support {
namespace {

std::string ProgramDirectory() {
  return FolderOfPath(platform::ProgramPath());
}

// Trimmed, ending in "\" (a trailing "/" of a native path becomes "\").
std::string AsDirectory(const std::string& raw, bool noFallback) {
  std::string dir = TrimBlanks(raw);
  if (dir.empty() && !noFallback) dir = ProgramDirectory();
  if (dir.empty()) return dir;
  if (dir.back() == '/') dir.back() = '\\';
  if (dir.back() != '\\') dir += '\\';
  return dir;
}

}  // namespace

std::string GetTempDirectory(bool noFallback) {
  return AsDirectory(platform::TempDirectory(), noFallback);
}

std::string GetWindowsDirectoryPath(bool noFallback) {
  return AsDirectory(platform::WindowsDirectory(), noFallback);
}

std::string GetSystemDirectoryPath(bool noFallback) {
  return AsDirectory(platform::SystemDirectory(), noFallback);
}

}  // namespace support

// The shell's execute operation.
#include "platform/shell.h"

#include "platform/win32/windows_api.h"

namespace platform {

bool ShellExecute(uintptr_t window, const std::string& verb, const std::string& file,
                  const std::string& parameters, const std::string& directory, int showCommand) {
  using win32::NullIfEmpty;
  HINSTANCE result = ShellExecuteA(reinterpret_cast<HWND>(window), NullIfEmpty(verb), file.c_str(),
                                   NullIfEmpty(parameters), NullIfEmpty(directory), showCommand);
  // Values up to 32 are error codes.
  return reinterpret_cast<intptr_t>(result) > 32;
}

}  // namespace platform

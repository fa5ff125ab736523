// Programs started through the shell and the privileges of the process. Apart from
// system_utils.cpp because natively only the tests' simulator has a shell and
// privileges: the native tools link system_utils without them.
#include "platform/shell.h"
#include "platform/system.h"
#include "support/system_utils.h"

namespace support {

bool RunProgram(uintptr_t window, const std::string& verb, const std::string& file, int showCommand,
                const std::string& directory, const std::string& parameters) {
  return platform::ShellExecute(window, verb, file, parameters, directory, showCommand);
}

bool EnablePrivilege(const std::string& privilege, bool enable) {
  return platform::EnablePrivilege(privilege, enable);
}

}  // namespace support

// Running processes: listed, and ended by id.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ProcessInfo {
  uint32_t Id = 0;
  std::string BaseName;   // of the process's first module, "smtp.exe"
  std::string ImagePath;  // full path of its executable; "" when it cannot be read
};

// The processes this process may query, at most 1024, through the process
// status library loaded at run time. False when that library is missing.
bool ListProcesses(std::vector<ProcessInfo>& processes);
// Ends the process with exit code 0: 0 or the Windows error code.
uint32_t TerminateProcess(uint32_t id);

}  // namespace platform

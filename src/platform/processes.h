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
// Ends the process with exit code 0: 0 or the Windows error code. Given an
// image path, only while the process runs that executable (compared without
// regard to case); another one is left alone with kErrorInvalidParameter. The
// check and the end go through one handle, so an id reused meanwhile is no risk.
constexpr uint32_t kErrorInvalidParameter = 87;
uint32_t TerminateProcess(uint32_t id, const std::string& imagePath = "");

}  // namespace platform

// Running processes through the process status library, loaded at run time
// from the system folder, and OpenProcess/TerminateProcess.
#include "platform/processes.h"

#include "platform/files.h"
#include "platform/library.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

constexpr DWORD kMaxProcesses = 1024;

// The process status library's entries, declared here: its header renames
// them to the kernel32 entries of later Windows versions.
using EnumProcessesFn = BOOL(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFn = BOOL(HANDLE, HMODULE*, DWORD, DWORD*);
using GetModuleBaseNameFn = DWORD(HANDLE, HMODULE, char*, DWORD);

std::string ImagePath(HANDLE process) {
  char path[MAX_PATH * 2];
  DWORD size = sizeof path;
  return QueryFullProcessImageNameA(process, 0, path, &size) ? std::string(path, size) : "";
}

}  // namespace

bool ListProcesses(std::vector<ProcessInfo>& processes) {
  processes.clear();
  Library psapi;
  EnumProcessesFn* enumProcesses = nullptr;
  EnumProcessModulesFn* enumModules = nullptr;
  GetModuleBaseNameFn* baseName = nullptr;
  if (!psapi.Load(SystemDirectory() + "\\psapi.dll") ||
      !psapi.Bind("EnumProcesses", enumProcesses) ||
      !psapi.Bind("EnumProcessModules", enumModules) || !psapi.Bind("GetModuleBaseNameA", baseName))
    return false;

  DWORD ids[kMaxProcesses];
  DWORD bytes = 0;
  if (!enumProcesses(ids, sizeof ids, &bytes)) return false;
  for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
    if (!process) continue;
    HMODULE first;
    DWORD needed = 0;
    char name[MAX_PATH];
    DWORD length = 0;
    if (enumModules(process, &first, sizeof first, &needed))
      length = baseName(process, first, name, sizeof name);
    if (length > 0) processes.push_back({ids[i], std::string(name, length), ImagePath(process)});
    CloseHandle(process);
  }
  return true;
}

uint32_t TerminateProcess(uint32_t id, const std::string& imagePath) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  if (!process) return GetLastError();
  uint32_t error = 0;
  if (!imagePath.empty() && lstrcmpiA(ImagePath(process).c_str(), imagePath.c_str()) != 0)
    error = kErrorInvalidParameter;
  else if (!::TerminateProcess(process, 0))
    error = GetLastError();
  CloseHandle(process);
  return error;
}

}  // namespace platform

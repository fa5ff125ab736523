// The running process and the system around it, through the Windows API.
#include "platform/system.h"

#include <mutex>

#include "platform/win32/system_dll.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

std::mutex argumentsMutex;
bool argumentsSet = false;
std::vector<std::string> arguments;

// The arguments of the process as Windows keeps them, in UTF-16: the ANSI
// command line would have been converted with best-fit lookalikes, a full-width
// quote becoming a real one.
std::vector<CommandLineWord> ProcessCommandLine() {
  std::vector<CommandLineWord> words =
      SplitWideCommandLine(reinterpret_cast<const char16_t*>(GetCommandLineW()));
  if (!words.empty()) words.erase(words.begin());  // the program
  return words;
}

}  // namespace

int PlatformId() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return 0;
  return static_cast<int>(info.dwPlatformId);
}

std::string ProgramPath() {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    // A full buffer means the path may have been cut.
    if (n < buffer.size()) return buffer.substr(0, n);
    if (buffer.size() >= 32768) return {};
    buffer.assign(buffer.size() * 2, '\0');
  }
}

std::vector<std::string> CommandLineArgs() {
  {
    std::lock_guard<std::mutex> lock(argumentsMutex);
    if (argumentsSet) return arguments;
  }
  std::vector<std::string> words;
  for (const CommandLineWord& word : ProcessCommandLine()) words.push_back(word.text);
  return words;
}

std::vector<std::string> UnconvertibleArgs() {
  {
    std::lock_guard<std::mutex> lock(argumentsMutex);
    if (argumentsSet) return {};
  }
  std::vector<std::string> words;
  for (const CommandLineWord& word : ProcessCommandLine())
    if (!word.exact) words.push_back(word.text);
  return words;
}

void SetCommandLineArgs(int argc, char** argv) {
  std::lock_guard<std::mutex> lock(argumentsMutex);
  arguments.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  argumentsSet = true;
}

std::string GetEnvironment(const std::string& name) {
  std::string buffer(256, '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD n =
        GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return buffer.substr(0, n);
    buffer.assign(n, '\0');  // n is the size needed, terminator included
  }
  return {};
}

uint32_t CurrentThreadId() {
  return GetCurrentThreadId();
}

bool EnablePrivilege(const std::string& name, bool enable) {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return false;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  bool ok = LookupPrivilegeValueA(nullptr, name.c_str(), &privileges.Privileges[0].Luid) &&
            AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
            // The call succeeds without assigning a privilege the token lacks.
            GetLastError() == ERROR_SUCCESS;
  CloseHandle(token);
  return ok;
}

bool SetProcessAffinity(bool allProcessors) {
  // Looked up at run time: older systems lack them.
  using SetMask = BOOL(WINAPI*)(HANDLE, DWORD_PTR);
  using GetMask = BOOL(WINAPI*)(HANDLE, PDWORD_PTR, PDWORD_PTR);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return false;
  auto setMask = reinterpret_cast<SetMask>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessAffinityMask")));
  auto getMask = reinterpret_cast<GetMask>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "GetProcessAffinityMask")));
  if (!setMask || !getMask) return false;
  DWORD_PTR processMask = 0, systemMask = 0;
  if (!getMask(GetCurrentProcess(), &processMask, &systemMask)) return false;
  return setMask(GetCurrentProcess(), allProcessors ? systemMask : 1) != 0;
}

bool ConnectNetworkShare(const std::string& remote, const std::string& user,
                         const std::string& password) {
  using win32::NullIfEmpty;
  std::string remoteName = remote;  // the API takes a writable text
  NETRESOURCEA resource = {};
  resource.dwType = RESOURCETYPE_DISK;
  resource.lpLocalName = nullptr;
  resource.lpRemoteName = remoteName.data();
  static auto* const connect = ORVIK_SYSTEM_FUNCTION(L"mpr.dll", WNetAddConnection2A);
  if (!connect) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  return connect(&resource, NullIfEmpty(password), NullIfEmpty(user), 0) == NO_ERROR;
}

void ConnectNetworkDriveDialog() {
  static auto* const dialog = ORVIK_SYSTEM_FUNCTION(L"mpr.dll", WNetConnectionDialog);
  if (dialog) dialog(GetActiveWindow(), RESOURCETYPE_DISK);
}

bool StandardErrorIsTerminal() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool ClaimSingleInstance(const std::string& name) {
  // The handle stays open for the life of the process; Windows closes it at exit.
  std::string global = "Global\\" + name;
  HANDLE mutex = CreateMutexA(nullptr, FALSE, global.c_str());
  if (mutex == nullptr) return false;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return false;
  }
  return true;
}

namespace {

void WriteStandardHandle(DWORD which, const std::string& text) {
  HANDLE out = GetStdHandle(which);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;  // a GUI process may have none
  const char* p = text.data();
  for (size_t left = text.size(); left > 0;) {
    DWORD done = 0;
    DWORD n = static_cast<DWORD>(left < (1u << 30) ? left : (1u << 30));
    if (!WriteFile(out, p, n, &done, nullptr) || done == 0) return;
    p += done;
    left -= done;
  }
}

}  // namespace

void WriteStandardOutput(const std::string& text) {
  WriteStandardHandle(STD_OUTPUT_HANDLE, text);
}

void WriteStandardError(const std::string& text) {
  WriteStandardHandle(STD_ERROR_HANDLE, text);
}

uint32_t LastError() {
  return GetLastError();
}

std::string SystemErrorText(uint32_t code) {
  char* buffer = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n && buffer ? std::string(buffer, n) : std::string();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  return text;
}

}  // namespace platform

// The client side of a named pipe through kernel32.
#include "platform/pipes.h"

#include "platform/win32/windows_api.h"

namespace platform {
namespace {

constexpr DWORD kBusyWaitMs = 2000;

// Identification only: the server may learn who calls, not act as the caller.
HANDLE OpenPipe(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
}

}  // namespace

uint32_t WritePipeMessage(const std::string& name, const std::string& bytes) {
  std::string path = "\\\\.\\pipe\\" + name;
  HANDLE pipe = OpenPipe(path);
  if (pipe == INVALID_HANDLE_VALUE) {
    uint32_t error = GetLastError();
    if (error != ERROR_PIPE_BUSY) return error;
    // The second try tells whether the pipe came free: Wine's wait can fail
    // although it did (error 676, measured).
    WaitNamedPipeA(path.c_str(), kBusyWaitMs);
    pipe = OpenPipe(path);
    if (pipe == INVALID_HANDLE_VALUE) return GetLastError();
  }
  uint32_t error = 0;
  for (size_t done = 0; done < bytes.size() && !error;) {
    DWORD written = 0;
    if (!WriteFile(pipe, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr))
      error = GetLastError();
    else if (written == 0)
      error = ERROR_WRITE_FAULT;
    done += written;
  }
  CloseHandle(pipe);
  return error;
}

}  // namespace platform

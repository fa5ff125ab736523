// The native process, its console, drives and error texts.
#include "platform/system.h"

#include <errno.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/posix/posix_platform.h"

namespace platform {
namespace {

std::mutex stateMutex;
std::vector<std::string> arguments;

}  // namespace

std::string ProgramPath() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, n) : std::string();
}

std::vector<std::string> CommandLineArgs() {
  std::lock_guard<std::mutex> lock(stateMutex);
  return arguments;
}

std::vector<std::string> UnconvertibleArgs() {
  return {};  // the entry's bytes are taken as they are
}

void SetCommandLineArgs(int argc, char** argv) {
  std::lock_guard<std::mutex> lock(stateMutex);
  arguments.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string GetEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value ? value : "";
}

uint32_t CurrentThreadId() {
  return static_cast<uint32_t>(syscall(SYS_gettid));
}

bool SetProcessAffinity(bool allProcessors) {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (allProcessors) {
    long count = sysconf(_SC_NPROCESSORS_CONF);
    for (long i = 0; i < count && i < CPU_SETSIZE; ++i) CPU_SET(i, &set);
  } else {
    CPU_SET(0, &set);
  }
  return sched_setaffinity(0, sizeof set, &set) == 0;
}

// There are no network shares natively.
bool ConnectNetworkShare(const std::string&, const std::string&, const std::string&) {
  return false;
}

bool StandardErrorIsTerminal() {
  return isatty(2) != 0;
}

void WriteStandardOutput(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void WriteStandardError(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

// The drive letters whose folders exist below the drive root.
std::vector<std::string> LocalDrives() {
  std::vector<std::string> drives;
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    struct stat info;
    if (stat((posix::DriveRoot() + "/" + letter).c_str(), &info) == 0 && S_ISDIR(info.st_mode))
      drives.push_back(std::string(1, static_cast<char>(letter - 'a' + 'A')) + ":\\");
  }
  return drives;
}

void ConnectNetworkDriveDialog() {}

int64_t FreeDiskSpace(const std::string& folder) {
  struct statvfs info;
  if (statvfs(posix::MapPath(folder).c_str(), &info) != 0) return -1;
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

// errno in the Windows codes that callers show.
uint32_t LastError() {
  switch (errno) {
    case 0:
      return 0;
    case ENOENT:
      return 2;
    case ENOTDIR:
      return 3;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return 5;
    case EBUSY:
    case ETXTBSY:
      return 32;
    case EEXIST:
      return 80;
    case ENOSPC:
      return 112;
    case ENAMETOOLONG:
      return 206;
    default:
      return 87;
  }
}

// The Windows texts of the error codes reported natively, the simulator's included.
std::string SystemErrorText(uint32_t code) {
  static const struct {
    uint32_t code;
    const char* text;
  } known[] = {
      {0, "The operation completed successfully."},
      {2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."},
      {5, "Access is denied."},
      {6, "The handle is invalid."},
      {32, "The process cannot access the file because it is being used by another process."},
      {80, "The file exists."},
      {87, "The parameter is incorrect."},
      {126, "The specified module could not be found."},
      {183, "Cannot create a file when that file already exists."},
      {193, "%1 is not a valid Win32 application."},
      {1051,
       "A stop control has been sent to a service that other running services are "
       "dependent on."},
      {1053, "The service did not respond to the start or control request in a timely fashion."},
      {1056, "An instance of the service is already running."},
      {1060, "The specified service does not exist as an installed service."},
      {1061, "The service cannot accept control messages at this time."},
      {1062, "The service has not been started."},
      {1072, "The specified service has been marked for deletion."},
      {1073, "The specified service already exists."},
  };
  for (const auto& k : known)
    if (k.code == code) return k.text;
  return "";
}

}  // namespace platform

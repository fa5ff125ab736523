// The simulated service control manager, process table, top-level windows and
// named pipes. Pending states end when the platform clock has moved far enough;
// they are settled whenever a call looks.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <mutex>

#include "platform/clock.h"
#include "platform/pipes.h"
#include "simulator/simulator.h"

namespace platform {
namespace {

constexpr uint32_t kErrorSemaphoreTimeout = 121;
constexpr uint32_t kErrorServiceAlreadyRunning = 1056;
constexpr uint32_t kErrorServiceDisabled = 1058;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

struct Service {
  simulator::StandinService data;
  // A pending state becomes `target` once `duration` has passed since `since`.
  uint32_t since = 0;
  uint32_t duration = 0;
  uint32_t target = 0;
  bool markedForDelete = false;
};

struct Process {
  std::string imagePath;
};

struct Window {
  std::string className;
  std::string caption;
  bool hung = false;
  bool closed = false;  // kept for its message log
  std::vector<std::string> messages;
};

struct Pipe {
  uint32_t since = 0;
  uint32_t busyMs = 0;
  std::vector<std::string> messages;
};

std::mutex mutex;
std::map<std::string, Service> services;  // by lower-case name
std::map<uint32_t, Process> processes;
std::map<WindowHandle, Window> windows;
std::map<std::string, Pipe> pipes;  // by lower-case name
std::vector<std::string> callLog;
uint32_t nextProcessId = 1000;
WindowHandle nextWindow = 0x100;
bool processLibraryMissing = false;

bool Elapsed(uint32_t since, uint32_t duration) {
  return Tick() - since >= duration;
}

uint32_t StartProcess(const std::string& commandLine) {
  std::string image = commandLine;
  if (!image.empty() && image.front() == '"') {
    size_t close = image.find('"', 1);
    image = image.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  nextProcessId += 4;
  processes[nextProcessId] = {image};
  return nextProcessId;
}

void EndServiceProcess(Service& s) {
  processes.erase(s.data.ProcessId);
  s.data.ProcessId = 0;
  s.data.State = kServiceStopped;
}

void Settle(Service& s) {
  if (s.duration == 0 && s.target == 0) return;
  if (!Elapsed(s.since, s.duration)) return;
  if (s.target == kServiceStopped)
    EndServiceProcess(s);
  else
    s.data.State = s.target;
  s.duration = 0;
  s.target = 0;
}

void BeginPending(Service& s, uint32_t pendingState, uint32_t target, uint32_t ms) {
  s.data.State = pendingState;
  s.since = Tick();
  s.duration = ms;
  s.target = target;
  Settle(s);  // a zero duration ends at once
}

void Log(const std::string& line, uint32_t error = 0) {
  callLog.push_back(error == 0 ? line : line + " -> " + std::to_string(error));
}

// The service for a call that opens it: settles deletions and pending states.
uint32_t Open(const std::string& name, Service*& found) {
  auto it = services.find(Lower(name));
  if (it == services.end()) return kErrorServiceDoesNotExist;
  Service& s = it->second;
  Settle(s);
  if (s.markedForDelete) {
    if (Elapsed(s.since, s.data.DeletePendingMs)) {
      services.erase(it);
      return kErrorServiceDoesNotExist;
    }
    return kErrorServiceMarkedForDelete;
  }
  found = &s;
  return 0;
}

// Opens, runs the change and logs it under its verb; every failure is logged.
template <typename Change>
uint32_t Logged(const std::string& verb, const std::string& name, const std::string& detail,
                Change change) {
  std::lock_guard<std::mutex> lock(mutex);
  Service* s = nullptr;
  uint32_t error = Open(name, s);
  if (error == 0) error = change(*s);
  Log(verb + " " + name + detail, error);
  return error;
}

template <typename Read>
uint32_t Queried(const std::string& name, Read read) {
  std::lock_guard<std::mutex> lock(mutex);
  Service* s = nullptr;
  uint32_t error = Open(name, s);
  if (error == 0) read(*s);
  return error;
}

}  // namespace

uint32_t QueryServiceStatus(const std::string& name, ServiceStatus& status) {
  return Queried(name, [&](Service& s) { status = {s.data.State, s.data.ProcessId}; });
}

uint32_t QueryServiceConfig(const std::string& name, ServiceConfig& config) {
  return Queried(name, [&](Service& s) {
    config = {s.data.ServiceType, s.data.StartType, s.data.ErrorControl, s.data.BinaryPath,
              s.data.DisplayName};
  });
}

uint32_t QueryServiceFailureActions(const std::string& name, FailureActions& actions) {
  return Queried(name, [&](Service& s) { actions = s.data.Failure; });
}

uint32_t ChangeServiceStartType(const std::string& name, uint32_t startType) {
  return Logged("StartType", name, std::string(" ").append(std::to_string(startType)),
                [&](Service& s) {
                  s.data.StartType = startType;
                  return 0u;
                });
}

uint32_t ChangeServiceBinaryPath(const std::string& name, const std::string& binaryPath) {
  return Logged("BinaryPath", name, " " + binaryPath, [&](Service& s) {
    s.data.BinaryPath = binaryPath;
    return 0u;
  });
}

uint32_t SetServiceDescription(const std::string& name, const std::string& description) {
  return Logged("Description", name, "", [&](Service& s) {
    s.data.Description = description;
    return 0u;
  });
}

uint32_t SetServiceFailureActions(const std::string& name, const FailureActions& actions) {
  return Logged("FailureActions", name, "", [&](Service& s) {
    s.data.Failure = actions;
    return 0u;
  });
}

uint32_t CreateService(const NewService& service) {
  std::lock_guard<std::mutex> lock(mutex);
  Service* existing = nullptr;
  uint32_t error = Open(service.Name, existing);
  if (error == 0)
    error = kErrorServiceExists;
  else if (error == kErrorServiceDoesNotExist)
    error = 0;
  if (error == 0) {
    Service s;
    s.data.Name = service.Name;
    s.data.DisplayName = service.DisplayName;
    s.data.BinaryPath = service.BinaryPath;
    services[Lower(service.Name)] = s;
  }
  Log("Create " + service.Name, error);
  return error;
}

uint32_t StartService(const std::string& name) {
  return Logged("Start", name, "", [](Service& s) -> uint32_t {
    if (s.data.State != kServiceStopped) return kErrorServiceAlreadyRunning;
    if (s.data.StartType == kStartDisabled) return kErrorServiceDisabled;
    if (s.data.StartError != 0) return s.data.StartError;
    s.data.ProcessId = StartProcess(s.data.BinaryPath);
    BeginPending(s, kServiceStartPending, kServiceRunning, s.data.StartPendingMs);
    return 0;
  });
}

uint32_t StopService(const std::string& name) {
  return Logged("Stop", name, "", [](Service& s) -> uint32_t {
    if (s.data.State == kServiceStopped) return kErrorServiceNotActive;
    if (s.data.State != kServiceRunning) return kErrorServiceCannotAcceptControl;
    if (!s.data.IgnoresStop)
      BeginPending(s, kServiceStopPending, kServiceStopped, s.data.StopPendingMs);
    return 0;
  });
}

uint32_t DeleteService(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex);
  Service* s = nullptr;
  uint32_t error = Open(name, s);
  if (error == 0) {
    if (s->data.DeletePendingMs == 0) {
      services.erase(Lower(name));
    } else {
      s->markedForDelete = true;
      s->since = Tick();
    }
  }
  Log("Delete " + name, error);
  return error;
}

bool ListProcesses(std::vector<ProcessInfo>& list) {
  std::lock_guard<std::mutex> lock(mutex);
  list.clear();
  if (processLibraryMissing) return false;
  for (auto& [name, s] : services) Settle(s);
  for (const auto& [id, p] : processes) {
    size_t slash = p.imagePath.find_last_of("\\/");
    list.push_back(
        {id, p.imagePath.substr(slash == std::string::npos ? 0 : slash + 1), p.imagePath});
  }
  return true;
}

uint32_t TerminateProcess(uint32_t id, const std::string& imagePath) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = processes.find(id);
  uint32_t error = kErrorInvalidParameter;
  if (it != processes.end() &&
      (imagePath.empty() || Lower(it->second.imagePath) == Lower(imagePath))) {
    processes.erase(it);
    error = 0;
  }
  if (error == 0)
    for (auto& [name, s] : services)
      if (s.data.ProcessId == id) {
        EndServiceProcess(s);
        s.duration = s.target = 0;
      }
  Log("Terminate " + std::to_string(id), error);
  return error;
}

WindowHandle FindTopWindow(const std::string& className, const std::string& caption) {
  std::lock_guard<std::mutex> lock(mutex);
  for (const auto& [handle, w] : windows)
    if (!w.closed && Lower(w.className) == Lower(className) && w.caption == caption) return handle;
  return 0;
}

bool WindowExists(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = windows.find(window);
  return it != windows.end() && !it->second.closed;
}

namespace {

// A window that answers takes the message; WM_CLOSE closes it.
bool Deliver(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  auto it = windows.find(window);
  if (it == windows.end() || it->second.closed || it->second.hung) return false;
  char line[64];
  std::snprintf(line, sizeof line, "0x%x %llu %lld", message,
                static_cast<unsigned long long>(wParam), static_cast<long long>(lParam));
  it->second.messages.push_back(line);
  if (message == kCloseMessage) it->second.closed = true;
  return true;
}

}  // namespace

bool SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                       uint32_t) {
  std::lock_guard<std::mutex> lock(mutex);
  return Deliver(window, message, wParam, lParam);
}

bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = windows.find(window);
  if (it == windows.end() || it->second.closed) return false;
  Deliver(window, message, wParam, lParam);  // a hung window never gets to it
  return true;
}

uint32_t WritePipeMessage(const std::string& name, const std::string& bytes) {
  std::unique_lock<std::mutex> lock(mutex);
  auto it = pipes.find(Lower(name));
  if (it == pipes.end()) return kErrorFileNotFound;
  Pipe& pipe = it->second;
  if (!Elapsed(pipe.since, pipe.busyMs)) {
    // Busy: wait for it at most 2000 ms, then try once more.
    uint32_t left = pipe.busyMs - (Tick() - pipe.since);
    lock.unlock();
    Sleep(std::min<uint32_t>(left, 2000));
    lock.lock();
    if (!Elapsed(pipe.since, pipe.busyMs)) return kErrorSemaphoreTimeout;
  }
  pipe.messages.push_back(bytes);
  Log("Pipe " + name);
  return 0;
}

}  // namespace platform

namespace simulator {
using namespace platform;

void ClearModuleStandins() {
  std::lock_guard<std::mutex> lock(mutex);
  services.clear();
  processes.clear();
  windows.clear();
  pipes.clear();
  callLog.clear();
  processLibraryMissing = false;
}

void AddService(StandinService service) {
  std::lock_guard<std::mutex> lock(mutex);
  if (service.State != kServiceStopped) service.ProcessId = StartProcess(service.BinaryPath);
  Service s;
  s.data = service;
  services[Lower(service.Name)] = s;
}

bool FindService(const std::string& name, StandinService& service) {
  return Queried(name, [&](Service& s) { service = s.data; }) == 0;
}

std::vector<std::string> ServiceCallLog() {
  std::lock_guard<std::mutex> lock(mutex);
  return callLog;
}

void ClearServiceCallLog() {
  std::lock_guard<std::mutex> lock(mutex);
  callLog.clear();
}

uint32_t AddProcess(const std::string& imagePath) {
  std::lock_guard<std::mutex> lock(mutex);
  return StartProcess(imagePath);
}

void ReuseProcessId(uint32_t id, const std::string& imagePath) {
  std::lock_guard<std::mutex> lock(mutex);
  for (auto& [name, s] : services)
    if (s.data.ProcessId == id) EndServiceProcess(s);
  processes[id] = {imagePath};
}

void SetProcessLibraryMissing(bool missing) {
  std::lock_guard<std::mutex> lock(mutex);
  processLibraryMissing = missing;
}

WindowHandle AddWindow(const std::string& className, const std::string& caption, bool hung) {
  std::lock_guard<std::mutex> lock(mutex);
  nextWindow += 4;
  windows[nextWindow] = {className, caption, hung, false, {}};
  return nextWindow;
}

std::vector<std::string> WindowMessages(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = windows.find(window);
  return it == windows.end() ? std::vector<std::string>{} : it->second.messages;
}

void AddPipe(const std::string& name, uint32_t busyMs) {
  std::lock_guard<std::mutex> lock(mutex);
  pipes[Lower(name)] = {Tick(), busyMs, {}};
}

std::vector<std::string> PipeMessages(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = pipes.find(Lower(name));
  return it == pipes.end() ? std::vector<std::string>{} : it->second.messages;
}

}  // namespace simulator

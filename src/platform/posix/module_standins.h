// Controls of the posix stand-ins for the service control manager, the process
// table, top-level windows and named pipes. They answer as Windows would, and
// every pending state runs on the platform clock, so a test on the virtual
// clock sees a ten-second wait in no time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/processes.h"
#include "platform/services.h"
#include "platform/top_windows.h"

namespace platform::posix {

struct StandinService {
  std::string Name;
  std::string DisplayName;
  std::string BinaryPath;  // as stored, quotes included
  std::string Description;
  uint32_t ServiceType = 0x10;  // own process
  uint32_t StartType = kStartAutomatic;
  uint32_t ErrorControl = 1;  // normal
  uint32_t State = kServiceStopped;
  uint32_t ProcessId = 0;  // of a running service; filled in by AddService
  FailureActions Failure;

  // Scripted behaviour.
  bool IgnoresStop = false;      // takes the stop control and keeps running
  uint32_t StartError = 0;       // StartService fails with this code
  uint32_t StartPendingMs = 0;   // start-pending this long after StartService
  uint32_t StopPendingMs = 0;    // stop-pending this long after the stop control
  uint32_t DeletePendingMs = 0;  // marked for delete this long after DeleteService
};

// Forgets every service, process, window and pipe, and the call log.
void ClearModuleStandins();

// A running service gets a process whose image is its binary path.
void AddService(StandinService service);
// The service as it stands now; false when it does not exist.
bool FindService(const std::string& name, StandinService& service);
// One line per call that changed something or failed: "Start OrvikSMTP",
// "Stop OrvikSMTP", "Create OrvikSMTP", "Delete OrvikSMTP", "StartType OrvikSMTP 4",
// "BinaryPath OrvikSMTP <path>", "Description OrvikSMTP", "FailureActions OrvikSMTP", "Terminate
// 1002", "Pipe OrvikSMTP" (a message written), each failure followed by " -> <code>".
std::vector<std::string> ServiceCallLog();
void ClearServiceCallLog();

// A process that is no service; returns its id.
uint32_t AddProcess(const std::string& imagePath);
// The process ends (and its service stops) and another program gets its id.
void ReuseProcessId(uint32_t id, const std::string& imagePath);
// Makes ListProcesses answer as if the process status library were missing.
void SetProcessLibraryMissing(bool missing);

// A top-level window. A hung window answers no message and does not close.
WindowHandle AddWindow(const std::string& className, const std::string& caption, bool hung = false);
// Messages the window received, one line each: "0x500 3 0" (hexadecimal
// message, decimal parameters), posted ones too.
std::vector<std::string> WindowMessages(WindowHandle window);

// A pipe server for "\\.\pipe\" + name. A busy pipe stays busy for busyMs.
void AddPipe(const std::string& name, uint32_t busyMs = 0);
// Every message written to the pipe, in order.
std::vector<std::string> PipeMessages(const std::string& name);

}  // namespace platform::posix

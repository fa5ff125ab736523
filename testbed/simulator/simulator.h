// The simulated system that the native tests and test vehicles run against, with
// the controls that set it up and show what it was asked: the in-memory registry, the
// shell, the system's directories, privileges and drives, and the service control
// manager, process table, top-level windows and named pipes. It answers as Windows
// would, and every pending state runs on the platform clock, so a test on the virtual
// clock sees a ten-second wait in no time. Native programs that ship link the real
// posix ports only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/shell.h"
#include "platform/top_windows.h"

namespace simulator {

// The in-memory registry.
void ClearRegistry();
// Makes the values of a key (created when missing) unwritable, as a key whose
// access list denies writing would be.
void SetRegistryKeyReadOnly(platform::RegRoot root, const std::string& path, bool readOnly);

// What was handed to the shell, one line per call: verb|file|parameters|directory.
std::vector<std::string> ShellExecuteLog();
void ClearShellExecuteLog();
// The special folders the shell reports (empty = none).
void SetSpecialFolders(const std::string& desktop, const std::string& commonPrograms,
                       const std::string& programs);
void SetSpecialFolder(platform::SpecialFolder folder, const std::string& path);
// A shell link is a small text file of three lines: "Target=...", "Arguments=...",
// "IconIndex=n", each ended by CR LF.

// The directories the system reports (empty = none).
void SetSystemDirectories(const std::string& temp, const std::string& windows,
                          const std::string& system);
// The drive letters that the system reports as mapped network drives ("NZ").
void SetRemoteDrives(const std::string& letters);
// Makes a drive stand for a folder, as subst does ("" undoes it): the drive
// shows the folder's files and DriveDevice names the folder. False when the
// drive's folder below the drive root is taken.
bool SetSubstDrive(char letter, const std::string& folder);
// Whether EnablePrivilege last enabled the privilege of this process.
bool PrivilegeEnabled(const std::string& name);
// Forgets every name ClaimSingleInstance has handed out, as if their processes had ended.
void ReleaseSingleInstances();
// The platform identifier the system reports (2 by default).
void SetPlatformId(int id);

// The service control manager, process table, top-level windows and named pipes.
struct StandinService {
  std::string Name;
  std::string DisplayName;
  std::string BinaryPath;  // as stored, quotes included
  std::string Description;
  uint32_t ServiceType = 0x10;  // own process
  uint32_t StartType = platform::kStartAutomatic;
  uint32_t ErrorControl = 1;  // normal
  uint32_t State = platform::kServiceStopped;
  uint32_t ProcessId = 0;  // of a running service; filled in by AddService
  platform::FailureActions Failure;

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
platform::WindowHandle AddWindow(const std::string& className, const std::string& caption,
                                 bool hung = false);
// Messages the window received, one line each: "0x500 3 0" (hexadecimal
// message, decimal parameters), posted ones too.
std::vector<std::string> WindowMessages(platform::WindowHandle window);

// A pipe server for "\\.\pipe\" + name. A busy pipe stays busy for busyMs.
void AddPipe(const std::string& name, uint32_t busyMs = 0);
// Every message written to the pipe, in order.
std::vector<std::string> PipeMessages(const std::string& name);

}  // namespace simulator

// The service control manager. Each call opens the manager and the service with
// the access it needs and closes them before it returns. Every call returns 0 or
// the Windows error code of its failure, read right after the failing call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Service states and start types, with the Windows values.
constexpr uint32_t kServiceStopped = 1;
constexpr uint32_t kServiceStartPending = 2;
constexpr uint32_t kServiceStopPending = 3;
constexpr uint32_t kServiceRunning = 4;
constexpr uint32_t kStartAutomatic = 2;
constexpr uint32_t kStartManual = 3;
constexpr uint32_t kStartDisabled = 4;

// Windows error codes that callers act on.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorCallNotImplemented = 120;
constexpr uint32_t kErrorPipeBusy = 231;
constexpr uint32_t kErrorServiceRequestTimeout = 1053;
constexpr uint32_t kErrorServiceDoesNotExist = 1060;
constexpr uint32_t kErrorServiceCannotAcceptControl = 1061;
constexpr uint32_t kErrorServiceNotActive = 1062;
constexpr uint32_t kErrorServiceMarkedForDelete = 1072;
constexpr uint32_t kErrorServiceExists = 1073;

struct ServiceStatus {
  uint32_t State = 0;
  uint32_t ProcessId = 0;  // 0 when the service has no process
};

struct ServiceConfig {
  uint32_t ServiceType = 0;
  uint32_t StartType = 0;
  uint32_t ErrorControl = 0;
  std::string BinaryPath;  // as stored, quotes included
  std::string DisplayName;
};

// What the manager does when the service's process ends without being stopped.
constexpr uint32_t kActionNone = 0;
constexpr uint32_t kActionRestart = 1;
struct ServiceAction {
  uint32_t Type = kActionNone;
  uint32_t Delay = 0;  // milliseconds
  bool operator==(const ServiceAction&) const = default;
};
struct FailureActions {
  uint32_t ResetPeriod = 0;  // seconds
  std::string RebootMessage;
  std::string Command;
  std::vector<ServiceAction> Actions;
  bool operator==(const FailureActions&) const = default;
};

// A service in its own process, started automatically, with normal error
// control, no load-order group or dependencies, under the local system account.
struct NewService {
  std::string Name;
  std::string DisplayName;
  std::string BinaryPath;  // the command line the manager runs
};

uint32_t QueryServiceStatus(const std::string& name, ServiceStatus& status);
// The configuration, with a buffer sized from what the first call asks for.
uint32_t QueryServiceConfig(const std::string& name, ServiceConfig& config);
// Changes the start type only; every other setting is kept.
uint32_t ChangeServiceStartType(const std::string& name, uint32_t startType);
// Changes the command line the manager runs; every other setting is kept.
uint32_t ChangeServiceBinaryPath(const std::string& name, const std::string& binaryPath);
// Description and failure actions go through ChangeServiceConfig2A, looked up
// at run time; kErrorCallNotImplemented where the system has none.
uint32_t SetServiceDescription(const std::string& name, const std::string& description);
uint32_t QueryServiceFailureActions(const std::string& name, FailureActions& actions);
uint32_t SetServiceFailureActions(const std::string& name, const FailureActions& actions);
uint32_t CreateService(const NewService& service);
// Starts without arguments.
uint32_t StartService(const std::string& name);
// Sends the stop control; does not wait.
uint32_t StopService(const std::string& name);
// Marks the service for deletion; it goes once no handle to it is open.
uint32_t DeleteService(const std::string& name);

}  // namespace platform

// The service control manager through advapi32. Every error code is saved
// right after the failing call, before a handle is closed.
#include "platform/services.h"

#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// A manager or service handle, closed when it goes out of scope.
class ScHandle {
 public:
  explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ScHandle() {
    if (handle_) CloseServiceHandle(handle_);
  }
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

uint32_t Result(bool ok) {
  return ok ? 0 : GetLastError();
}

// Opens the manager and the service with the access given and runs the call
// on the service handle: 0 or the error code of the step that failed.
template <typename Call>
uint32_t WithService(const std::string& name, DWORD managerAccess, DWORD serviceAccess, Call call) {
  ScHandle manager(OpenSCManagerA(nullptr, nullptr, managerAccess));
  if (!manager.get()) return GetLastError();
  ScHandle service(OpenServiceA(manager.get(), name.c_str(), serviceAccess));
  if (!service.get()) return GetLastError();
  return call(service.get());
}

// Calls a query that answers "insufficient buffer" with the size it needs.
template <typename Query>
uint32_t QueryGrowing(std::string& buffer, Query query) {
  buffer.clear();  // the first call tells the size
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD needed = 0;
    if (query(reinterpret_cast<BYTE*>(buffer.data()), static_cast<DWORD>(buffer.size()), &needed))
      return 0;
    uint32_t error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) return error;
    buffer.assign(needed, '\0');
  }
  return ERROR_INSUFFICIENT_BUFFER;
}

std::string Text(const char* s) {
  return s ? s : "";
}

// The extended configuration entries, absent before Windows 2000.
template <typename Function>
Function* Advapi32Entry(const char* name) {
  HMODULE advapi32 = GetModuleHandleA("advapi32.dll");
  if (!advapi32) return nullptr;
  // Through the generic function type, which converts to every other.
  auto entry = reinterpret_cast<void (*)()>(GetProcAddress(advapi32, name));
  return reinterpret_cast<Function*>(entry);
}

uint32_t ChangeConfig2(const std::string& name, DWORD access, DWORD level, void* info) {
  auto change = Advapi32Entry<decltype(::ChangeServiceConfig2A)>("ChangeServiceConfig2A");
  if (!change) return kErrorCallNotImplemented;
  return WithService(name, SC_MANAGER_CONNECT, access,
                     [&](SC_HANDLE service) { return Result(change(service, level, info)); });
}

}  // namespace

uint32_t QueryServiceStatus(const std::string& name, ServiceStatus& status) {
  return WithService(name, SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS, [&](SC_HANDLE service) {
    SERVICE_STATUS_PROCESS info = {};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&info),
                              sizeof info, &needed))
      return static_cast<uint32_t>(GetLastError());
    status.State = info.dwCurrentState;
    status.ProcessId = info.dwProcessId;
    return uint32_t{0};
  });
}

uint32_t QueryServiceConfig(const std::string& name, ServiceConfig& config) {
  return WithService(name, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG, [&](SC_HANDLE service) {
    std::string buffer;
    uint32_t error = QueryGrowing(buffer, [&](BYTE* data, DWORD size, DWORD* needed) {
      return QueryServiceConfigA(service, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(data), size,
                                 needed);
    });
    if (error) return error;
    const auto* info = reinterpret_cast<const QUERY_SERVICE_CONFIGA*>(buffer.data());
    config.ServiceType = info->dwServiceType;
    config.StartType = info->dwStartType;
    config.ErrorControl = info->dwErrorControl;
    config.BinaryPath = Text(info->lpBinaryPathName);
    config.DisplayName = Text(info->lpDisplayName);
    return uint32_t{0};
  });
}

uint32_t ChangeServiceStartType(const std::string& name, uint32_t startType) {
  return WithService(name, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG,
                     [&](SC_HANDLE service) {
                       return Result(ChangeServiceConfigA(
                           service, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr,
                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
                     });
}

uint32_t ChangeServiceBinaryPath(const std::string& name, const std::string& binaryPath) {
  return WithService(name, SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG, [&](SC_HANDLE service) {
    return Result(ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                       SERVICE_NO_CHANGE, binaryPath.c_str(), nullptr, nullptr,
                                       nullptr, nullptr, nullptr, nullptr));
  });
}

uint32_t SetServiceDescription(const std::string& name, const std::string& description) {
  std::string text = description;
  SERVICE_DESCRIPTIONA info = {text.data()};
  return ChangeConfig2(name, SERVICE_CHANGE_CONFIG, SERVICE_CONFIG_DESCRIPTION, &info);
}

uint32_t QueryServiceFailureActions(const std::string& name, FailureActions& actions) {
  auto query = Advapi32Entry<decltype(::QueryServiceConfig2A)>("QueryServiceConfig2A");
  if (!query) return kErrorCallNotImplemented;
  return WithService(name, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG, [&](SC_HANDLE service) {
    std::string buffer;
    uint32_t error = QueryGrowing(buffer, [&](BYTE* data, DWORD size, DWORD* needed) {
      return query(service, SERVICE_CONFIG_FAILURE_ACTIONS, data, size, needed);
    });
    if (error) return error;
    const auto* info = reinterpret_cast<const SERVICE_FAILURE_ACTIONSA*>(buffer.data());
    actions.ResetPeriod = info->dwResetPeriod;
    actions.RebootMessage = Text(info->lpRebootMsg);
    actions.Command = Text(info->lpCommand);
    actions.Actions.clear();
    for (DWORD i = 0; i < info->cActions; ++i)
      actions.Actions.push_back(
          {static_cast<uint32_t>(info->lpsaActions[i].Type), info->lpsaActions[i].Delay});
    return uint32_t{0};
  });
}

uint32_t SetServiceFailureActions(const std::string& name, const FailureActions& actions) {
  std::vector<SC_ACTION> list;
  for (const ServiceAction& action : actions.Actions)
    list.push_back({static_cast<SC_ACTION_TYPE>(action.Type), action.Delay});
  // Without a list the count and reset period would be ignored, so an empty
  // list is passed as an empty array; "" clears the message and the command.
  SC_ACTION none = {};
  std::string message = actions.RebootMessage;
  std::string command = actions.Command;
  SERVICE_FAILURE_ACTIONSA info = {actions.ResetPeriod, message.data(), command.data(),
                                   static_cast<DWORD>(list.size()),
                                   list.empty() ? &none : list.data()};
  // A restart action needs the right to start the service.
  return ChangeConfig2(name, SERVICE_CHANGE_CONFIG | SERVICE_START, SERVICE_CONFIG_FAILURE_ACTIONS,
                       &info);
}

uint32_t CreateService(const NewService& service) {
  ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager.get()) return GetLastError();
  ScHandle created(CreateServiceA(manager.get(), service.Name.c_str(), service.DisplayName.c_str(),
                                  SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                  SERVICE_ERROR_NORMAL, service.BinaryPath.c_str(), nullptr,
                                  nullptr, nullptr, nullptr, nullptr));
  return created.get() ? 0 : GetLastError();
}

uint32_t StartService(const std::string& name) {
  return WithService(name, SC_MANAGER_ALL_ACCESS, SERVICE_START,
                     [](SC_HANDLE service) { return Result(StartServiceA(service, 0, nullptr)); });
}

uint32_t StopService(const std::string& name) {
  return WithService(name, SC_MANAGER_CONNECT, SERVICE_STOP | SERVICE_QUERY_STATUS,
                     [](SC_HANDLE service) {
                       SERVICE_STATUS status = {};
                       return Result(ControlService(service, SERVICE_CONTROL_STOP, &status));
                     });
}

uint32_t DeleteService(const std::string& name) {
  return WithService(name, SC_MANAGER_CONNECT, SERVICE_ALL_ACCESS,
                     [](SC_HANDLE service) { return Result(::DeleteService(service)); });
}

}  // namespace platform

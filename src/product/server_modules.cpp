#include "product/server_modules.h"

#include "platform/services.h"
#include "platform/system.h"

namespace support {

bool ServiceMode = false;

void InitServiceMode() {
  ServiceMode = platform::PlatformId() == 2;
}

bool QueryServiceState(const std::string& name, uint32_t& state) {
  platform::ServiceStatus status;
  if (platform::QueryServiceStatus(name, status) != 0) return false;
  state = status.State;
  return true;
}

platform::WindowHandle FindModuleWindow(int index) {
  const ServerModule& module = kServerModules[index];
  return platform::FindTopWindow(module.WindowClass, module.Caption);
}

}  // namespace support

#include "product/module_notification.h"

#include "platform/pipes.h"
#include "platform/services.h"
#include "product/server_modules.h"
#include "support/system_utils.h"

namespace upgrade {
namespace {

constexpr uint32_t kWindowTimeoutMs = 5000;
constexpr uint32_t kPipeCommand = 0x1000;  // a command that awaits no reply

void PutLittleEndian(std::string& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

bool NotifyModule(int module, uint32_t message, uint32_t wParam, uint32_t lParam) {
  platform::WindowHandle window = support::FindModuleWindow(module);
  if (!support::ServiceMode) {
    if (window == 0) return true;
    return platform::SendWindowMessage(window, message, wParam, lParam, kWindowTimeoutMs);
  }
  uint32_t state = 0;
  bool running = support::QueryServiceState(support::kServerModules[module].ServiceName, state) &&
                 state == platform::kServiceRunning;
  if (!running && window == 0) return false;
  std::string bytes;
  for (uint32_t value : {kPipeCommand, message, wParam, lParam, 0u}) PutLittleEndian(bytes, value);
  return platform::WritePipeMessage(support::kServerModules[module].ServiceName, bytes) == 0;
}

}  // namespace upgrade

// Commands to the running server modules.
#pragma once

#include <cstdint>

namespace upgrade {

// The message of every command to a module; its parameters say what to do.
inline constexpr uint32_t kModuleCommand = 0x500;

// Sends one command to a module (an index of the module table) without waiting
// for a reply. Desktop programs get the window message, sent with a time-out;
// services get it through their named pipe, and only while they run. False
// when a running service could not be reached or a module's window did not
// answer; a desktop module without a window is no error.
bool NotifyModule(int module, uint32_t message, uint32_t wParam, uint32_t lParam);

}  // namespace upgrade

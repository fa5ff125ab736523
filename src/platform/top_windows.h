// Top-level windows of other programs: the server's modules when they run as
// desktop programs.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using WindowHandle = uintptr_t;  // 0 = none

constexpr uint32_t kCloseMessage = 0x0010;  // WM_CLOSE

// The top-level window with this class and caption, or 0.
WindowHandle FindTopWindow(const std::string& className, const std::string& caption);
bool WindowExists(WindowHandle window);
// Sends and waits at most timeoutMs for the answer; a hung window is not waited
// for. False when the message was not answered.
bool SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                       uint32_t timeoutMs);
// Posts the message and returns at once.
bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

}  // namespace platform

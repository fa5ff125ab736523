// Top-level windows of other programs through user32.
#include "platform/top_windows.h"

#include "platform/win32/windows_api.h"

namespace platform {
namespace {

HWND Window(WindowHandle window) {
  return reinterpret_cast<HWND>(window);
}

}  // namespace

WindowHandle FindTopWindow(const std::string& className, const std::string& caption) {
  return reinterpret_cast<WindowHandle>(FindWindowA(className.c_str(), caption.c_str()));
}

bool WindowExists(WindowHandle window) {
  return window && IsWindow(Window(window));
}

bool SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                       uint32_t timeoutMs) {
  // Like SendMessage, the wait still answers messages sent to this thread's
  // own windows, so a module that sends back to the setup cannot deadlock it.
  DWORD_PTR answer = 0;
  return SendMessageTimeoutA(Window(window), message, wParam, lParam,
                             SMTO_NORMAL | SMTO_ABORTIFHUNG, timeoutMs, &answer) != 0;
}

bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return PostMessageA(Window(window), message, wParam, lParam) != 0;
}

}  // namespace platform

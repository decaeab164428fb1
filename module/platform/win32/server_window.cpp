// Server windows on Windows: the server's top-level window found by class name, and one synchronous
// message to it. A server in the simulator's process answers on the panel thread, so the block passed by
// address is read and written in place.
#include <windows.h>

#include "module/platform/platform.h"

namespace kvr::platform {

WindowHandle FindServerWindow(const char* className) {
  if (className == nullptr) return nullptr;
  return FindWindowExA(nullptr, nullptr, className, nullptr);
}

uintptr_t SendServerMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (window == nullptr) return 0;
  return static_cast<uintptr_t>(SendMessageA(static_cast<HWND>(window), message, wParam, lParam));
}

}  // namespace kvr::platform

// Server windows on POSIX: the process-wide window registry that the host shares.
#include "module/platform/platform.h"
#include "module/platform/window_registry.h"

namespace kvr::platform {

WindowHandle FindServerWindow(const char* className) { return KvrFindWindow(className); }

uintptr_t SendServerMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return KvrSendMessage(window, message, wParam, lParam);
}

}  // namespace kvr::platform

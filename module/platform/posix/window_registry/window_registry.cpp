#include "module/platform/window_registry.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Window {
  std::string className;
  KvrWindowProcedure procedure;
  void* context;
};

// Handles are the addresses of heap records; a handle stays unique while its window lives. Lookups check
// the handle against the table so that a stale handle answers 0 instead of calling freed memory.
std::vector<Window*>& Windows() {
  static std::vector<Window*> windows;
  return windows;
}

bool IsLive(void* handle) {
  for (Window* w : Windows())
    if (w == handle) return true;
  return false;
}

}  // namespace

extern "C" void* KvrCreateWindow(const char* className, KvrWindowProcedure procedure, void* context) {
  if (className == nullptr || procedure == nullptr) return nullptr;
  auto* window = new Window{className, procedure, context};
  Windows().push_back(window);
  return window;
}

extern "C" void KvrDestroyWindow(void* handle) {
  auto& windows = Windows();
  for (auto it = windows.begin(); it != windows.end(); ++it) {
    if (*it == handle) {
      delete *it;
      windows.erase(it);
      return;
    }
  }
}

extern "C" void* KvrFindWindow(const char* className) {
  if (className == nullptr) return nullptr;
  auto& windows = Windows();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it)
    if ((*it)->className == className) return *it;
  return nullptr;
}

extern "C" uintptr_t KvrSendMessage(void* handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (!IsLive(handle)) return 0;
  auto* window = static_cast<Window*>(handle);
  return window->procedure(window->context, message, wParam, lParam);
}

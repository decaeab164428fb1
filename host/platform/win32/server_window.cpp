// Server windows on Windows: the host's FSUIPC server is a real top-level window of its class, which
// clients find with FindWindowExA and reach with SendMessageA. Implements the window-registry calls the
// server is written against (module/platform/window_registry.h) with user32: a class
// registered once per name, a hidden window per server, its procedure answering through the registered
// procedure. Leaves out: posted messages and other threads.
#include <windows.h>

#include <set>
#include <string>

#include "module/platform/window_registry.h"

namespace {

// A server window's record. KvrCreateWindow owns it until the window exists; from then on the window does,
// and WM_NCDESTROY deletes it. A creation that fails after WM_NCCREATE also sends WM_NCDESTROY, which then
// leaves the record to KvrCreateWindow, so that it is deleted once.
struct Server {
  KvrWindowProcedure procedure;
  void* context;
  bool ownedByWindow = false;
};

LRESULT CALLBACK ServerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* server = reinterpret_cast<Server*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (server != nullptr && message >= WM_USER)
    return static_cast<LRESULT>(server->procedure(server->context, message, wParam, lParam));
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    if (server != nullptr && server->ownedByWindow) delete server;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterOnce(const char* className) {
  static std::set<std::string> registered;
  if (registered.count(className) != 0) return true;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = ServerProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = className;
  if (RegisterClassA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  registered.insert(className);
  return true;
}

}  // namespace

extern "C" {

void* KvrCreateWindow(const char* className, KvrWindowProcedure procedure, void* context) {
  if (className == nullptr || procedure == nullptr || !RegisterOnce(className)) return nullptr;
  auto* server = new Server{procedure, context};
  HWND window = CreateWindowExA(0, className, className, WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr,
                                GetModuleHandleA(nullptr), server);
  if (window == nullptr) {
    delete server;
    return nullptr;
  }
  server->ownedByWindow = true;
  return window;
}

void KvrDestroyWindow(void* window) {
  if (window != nullptr && IsWindow(static_cast<HWND>(window))) DestroyWindow(static_cast<HWND>(window));
}

void* KvrFindWindow(const char* className) {
  return className != nullptr ? FindWindowExA(nullptr, nullptr, className, nullptr) : nullptr;
}

uintptr_t KvrSendMessage(void* window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (window == nullptr) return 0;
  return static_cast<uintptr_t>(SendMessageA(static_cast<HWND>(window), message, wParam, lParam));
}

}  // extern "C"

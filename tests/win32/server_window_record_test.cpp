// The host's server windows (host/platform/win32/server_window.cpp): a window whose creation fails after
// WM_NCCREATE has handed it its record deletes that record once, not twice. The program counts the
// deletes of the record's address through its own operator delete.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "module/platform/window_registry.h"

namespace {

void* watched = nullptr;
int watchedDeletes = 0;

void Count(void* p) {
  if (p != nullptr && p == watched) ++watchedDeletes;
}

}  // namespace

void operator delete(void* p) noexcept {
  Count(p);
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  Count(p);
  std::free(p);
}

namespace kvr {
namespace {

uintptr_t Answer(void*, uint32_t, uintptr_t, intptr_t) { return 1; }

WNDPROC serverProcedure = nullptr;

// The server's own procedure in every respect, except that WM_CREATE fails, which ends the creation after
// the record was handed over.
LRESULT CALLBACK FailingCreate(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) watched = reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams;
  const LRESULT result = CallWindowProcA(serverProcedure, window, message, wParam, lParam);
  return message == WM_CREATE ? -1 : result;
}

TEST(ServerWindowRecord, ACreationThatFailsAfterNcCreateDeletesTheRecordOnce) {
  void* working = KvrCreateWindow("KvrRecordWorking", Answer, nullptr);
  ASSERT_NE(working, nullptr);
  EXPECT_EQ(KvrSendMessage(working, WM_USER + 1, 0, 0), 1u);
  WNDCLASSA registered{};
  ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "KvrRecordWorking", &registered));
  serverProcedure = registered.lpfnWndProc;

  WNDCLASSA failing{};
  failing.lpfnWndProc = FailingCreate;
  failing.hInstance = GetModuleHandleA(nullptr);
  failing.lpszClassName = "KvrRecordFailing";
  ASSERT_NE(RegisterClassA(&failing), 0);
  EXPECT_EQ(KvrCreateWindow("KvrRecordFailing", Answer, nullptr), nullptr);
  EXPECT_NE(watched, nullptr);
  EXPECT_EQ(watchedDeletes, 1);
  watched = nullptr;
  KvrDestroyWindow(working);
}

}  // namespace
}  // namespace kvr

// A process-wide table of server windows by class name: the interface both server-window twins are
// written against. On POSIX it is the stand-in for FindWindowExA and SendMessageA, a shared library of its
// own (posix/window_registry/) so that the module and the host, which load it separately, see one table; on
// Windows the host implements it with user32 (host/platform/win32/server_window.cpp). Implements: register,
// destroy, find by class, synchronous send.
// Leaves out: titles, parents, queued (posted) messages and threads other than the caller's.
#pragma once

#include <stdint.h>

#if defined(__GNUC__) && !defined(_WIN32)
#define KVR_WINDOW_API __attribute__((visibility("default")))
#else
#define KVR_WINDOW_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Answers one message sent to a window; `context` is what was given at registration.
typedef uintptr_t (*KvrWindowProcedure)(void* context, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Creates a window of `className` whose messages go to `procedure`. Null when the arguments are null.
// A later window of the same class hides an earlier one from KvrFindWindow until it is destroyed.
KVR_WINDOW_API void* KvrCreateWindow(const char* className, KvrWindowProcedure procedure, void* context);

// Destroys a window made by KvrCreateWindow; unknown or null handles are ignored.
KVR_WINDOW_API void KvrDestroyWindow(void* window);

// The newest live window of `className`, or null.
KVR_WINDOW_API void* KvrFindWindow(const char* className);

// Calls the window's procedure and returns its answer; 0 when the window does not exist (any more).
KVR_WINDOW_API uintptr_t KvrSendMessage(void* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

#ifdef __cplusplus
}
#endif

// The module's seams to the operating system: server windows, library loading and the module's own
// resources. Nothing outside module/platform/ includes an operating-system header; a subsystem that needs
// one of these calls the functions here. Sound and drawing have seams of their own beside this one.
//
// Every function is called on the simulator's panel thread only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvr::platform {

// ---- Server windows ------------------------------------------------------------------------------------
// A server in the same process (the FSUIPC server) is reached through a top-level window found by its
// class name and one synchronous message. On Windows these are FindWindowExA and SendMessageA; on POSIX a
// small process-wide registry shared by the module and the host stands in for them.

using WindowHandle = void*;

// The top-level window whose class is `className` (any title), or null.
WindowHandle FindServerWindow(const char* className);

// Sends `message` to `window` and waits for the answer; 0 when the window does not exist.
uintptr_t SendServerMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// ---- Library loading -----------------------------------------------------------------------------------

using LibraryHandle = void*;

// Loads a library by name as LoadLibraryA would: a library already loaded under that name is found and
// its reference count raised. Null when it cannot be loaded.
LibraryHandle LoadLibraryByName(const char* name);

// Drops one reference taken by LoadLibraryByName. Null is ignored.
void FreeLibraryHandle(LibraryHandle library);

// The loaded image of a library: its load address (the address that offsets inside the image are counted
// from, as a Windows module handle is) and the bytes from there to the end of its highest segment. A
// Windows image is readable throughout; an ELF image may keep unreadable gaps between its segments, which
// the stand-in modules avoid by holding every place the probe reads in their last segment, read forward
// from there. {null, 0} when unknown.
struct LibraryImage {
  const uint8_t* base;
  size_t size;
};
LibraryImage ImageOfLibrary(LibraryHandle library);

// The address stored in the word at `word` when that word can be read and holds the address of code in a
// loaded program or library; null otherwise (an unreadable word, null, data, or memory that belongs to no
// loaded image). Used before calling through a table word that an older host may not have.
const void* CodeAddressAt(const void* const* word);

// Size in bytes of the file at `path`, relative to the working directory; 0 when it cannot be measured.
uint64_t FileSizeBytes(const char* path);

// ---- The module's own resources ------------------------------------------------------------------------
// Bitmaps are found by numeric id (the bytes of a Windows bitmap resource: BITMAPINFOHEADER, palette,
// pixels), raw data by name without regard to case. The bytes live as long as the module.

struct ResourceBytes {
  const uint8_t* data;
  size_t size;
};

ResourceBytes FindBitmapResource(uint32_t id);     // {null, 0} when absent
ResourceBytes FindDataResource(const char* name);  // {null, 0} when absent

}  // namespace kvr::platform

// Resources on Windows: the module's own resource directory, reached through the handle of the module
// this code is linked into (found from an address inside it, so it holds in a DLL and in a test program
// alike). The lookup itself is resource_lookup.h, which the Windows host uses too.
#include <windows.h>

#include "module/platform/platform.h"
#include "module/platform/win32/resource_lookup.h"

namespace kvr::platform {

namespace {

HMODULE OwnModule() {
  static HMODULE module = [] {
    HMODULE found = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&OwnModule), &found);
    return found;
  }();
  return module;
}

// An empty span's data is null: "absent".
ResourceBytes AsResourceBytes(std::span<const uint8_t> bytes) { return {bytes.data(), bytes.size()}; }

}  // namespace

ResourceBytes FindBitmapResource(uint32_t id) { return AsResourceBytes(FindBitmapBytes(OwnModule(), id)); }

ResourceBytes FindDataResource(const char* name) { return AsResourceBytes(FindDataBytes(OwnModule(), name)); }

}  // namespace kvr::platform

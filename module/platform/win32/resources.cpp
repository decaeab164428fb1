// Resources on Windows: the module's own resource directory, reached through the handle of the module
// this code is linked into (found from an address inside it, so it holds in a DLL and in a test program
// alike). Bitmaps are resource type 2 by numeric id; recordings are RCDATA by name, which Windows matches
// without regard to case.
#include <windows.h>

#include "module/platform/platform.h"

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

// The bytes stay valid for the module's life: a loaded resource is part of its image.
ResourceBytes Find(LPCSTR name, LPCSTR type) {
  HMODULE module = OwnModule();
  HRSRC resource = module != nullptr ? FindResourceA(module, name, type) : nullptr;
  HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return {nullptr, 0};
  return {static_cast<const uint8_t*>(bytes), SizeofResource(module, resource)};
}

}  // namespace

ResourceBytes FindBitmapResource(uint32_t id) {
  if (id == 0 || id > 0xFFFF) return {nullptr, 0};
  return Find(MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));
}

ResourceBytes FindDataResource(const char* name) {
  if (name == nullptr || name[0] == '\0') return {nullptr, 0};
  return Find(name, MAKEINTRESOURCEA(10));
}

}  // namespace kvr::platform

// Resources in a loaded module's image, found through its handle: bitmaps are resource type 2 by numeric
// id, data is RCDATA by name (Windows matches names without regard to case). The module reads its own
// resources with these and the Windows host reads the module's; the bytes stay valid while the module
// stays loaded, since a loaded resource is part of its image.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>

namespace kvr::platform {

inline constexpr WORD kBitmapResourceType = 2;
inline constexpr WORD kDataResourceType = 10;  // RCDATA

// The bytes of resource `name` of `type` in `module`; empty when there is none.
inline std::span<const uint8_t> FindResourceBytes(HMODULE module, LPCSTR name, WORD type) {
  HRSRC resource = module != nullptr ? FindResourceA(module, name, MAKEINTRESOURCEA(type)) : nullptr;
  HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return {};
  return {static_cast<const uint8_t*>(bytes), SizeofResource(module, resource)};
}

// Bitmap `id`; ids are 16 bits, and 0 names none.
inline std::span<const uint8_t> FindBitmapBytes(HMODULE module, uint32_t id) {
  if (id == 0 || id > 0xFFFF) return {};
  return FindResourceBytes(module, MAKEINTRESOURCEA(id), kBitmapResourceType);
}

// Data resource `name`; a null or empty name names none.
inline std::span<const uint8_t> FindDataBytes(HMODULE module, const char* name) {
  if (name == nullptr || name[0] == '\0') return {};
  return FindResourceBytes(module, name, kDataResourceType);
}

}  // namespace kvr::platform

// Read-only file mapping on Windows: the file is opened sharing reads, only if it exists, mapped whole,
// and its handles closed at once; the view stays valid until unmapped.
#include <windows.h>

#include "module/platform/sound.h"

namespace kvr::platform {

bool MapFileReadOnly(const char* path, MappedFile& file) {
  file = {};
  if (path == nullptr) return false;
  HANDLE handle =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handle, &size) || size.QuadPart <= 0 || static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) {
    CloseHandle(handle);
    return false;
  }
  HANDLE mapping = CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  void* view = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
  if (mapping != nullptr) CloseHandle(mapping);
  CloseHandle(handle);
  if (view == nullptr) return false;
  file = {static_cast<const uint8_t*>(view), static_cast<size_t>(size.QuadPart), view};
  return true;
}

void UnmapFile(MappedFile& file) {
  if (file.view != nullptr) UnmapViewOfFile(file.view);
  file = {};
}

}  // namespace kvr::platform

// Library loading on Windows: LoadLibraryA (a library already loaded is found and counted), the loaded
// image measured by its PE header's SizeOfImage, _stat for file sizes.
#include <windows.h>
#include <sys/stat.h>

#include "module/platform/platform.h"

namespace kvr::platform {

LibraryHandle LoadLibraryByName(const char* name) {
  if (name == nullptr) return nullptr;
  return LoadLibraryA(name);
}

void FreeLibraryHandle(LibraryHandle library) {
  if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

// A module handle is the image's load address; the image is readable from there to SizeOfImage.
LibraryImage ImageOfLibrary(LibraryHandle library) {
  if (library == nullptr) return {nullptr, 0};
  const auto* base = static_cast<const uint8_t*>(library);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0) return {nullptr, 0};
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return {nullptr, 0};
  return {base, nt->OptionalHeader.SizeOfImage};
}

uint64_t FileSizeBytes(const char* path) {
  struct _stat64 info {};
  if (path == nullptr || _stat64(path, &info) != 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

}  // namespace kvr::platform

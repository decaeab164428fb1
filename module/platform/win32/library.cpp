// Library loading on Windows: LoadLibraryA (a library already loaded is found and counted), the loaded
// image measured by its PE header's SizeOfImage, _stat for file sizes.
#include <sys/stat.h>
#include <windows.h>

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

namespace {

// Whether `size` bytes at `address` are committed memory with any of the `access` protections.
bool Committed(const void* address, DWORD access, DWORD type = 0) {
  MEMORY_BASIC_INFORMATION info{};
  if (VirtualQuery(address, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT) return false;
  if (type != 0 && info.Type != type) return false;
  return (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) == 0 && (info.Protect & access) != 0;
}

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kExecutable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

}  // namespace

// The word must lie in readable memory (a table that ends before it may end at its page's end), and its
// value in the executable part of a loaded image.
const void* CodeAddressAt(const void* const* word) {
  if (word == nullptr || !Committed(word, kReadable) || *word == nullptr) return nullptr;
  return Committed(*word, kExecutable, MEM_IMAGE) ? *word : nullptr;
}

uint64_t FileSizeBytes(const char* path) {
  struct _stat64 info {};
  if (path == nullptr || _stat64(path, &info) != 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

}  // namespace kvr::platform

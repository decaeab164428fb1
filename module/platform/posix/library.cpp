// Library loading on POSIX: dlopen by name (a library already loaded under that soname is found, as
// LoadLibraryA finds a loaded DLL), the image found through the loader's program headers, stat for sizes.
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include "module/platform/platform.h"

namespace kvr::platform {

LibraryHandle LoadLibraryByName(const char* name) {
  if (name == nullptr) return nullptr;
  return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

void FreeLibraryHandle(LibraryHandle library) {
  if (library != nullptr) dlclose(library);
}

namespace {

struct ImageSearch {
  ElfW(Addr) loadBias;
  size_t extent;  // bytes from the load bias to the end of the highest loaded segment
  bool found;
};

int MeasureImage(dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<ImageSearch*>(data);
  if (info->dlpi_addr != search->loadBias) return 0;
  size_t extent = 0;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type == PT_LOAD && segment.p_vaddr + segment.p_memsz > extent)
      extent = segment.p_vaddr + segment.p_memsz;
  }
  search->extent = extent;
  search->found = true;
  return 1;
}

// Whether `address` lies in an executable segment of a loaded program or library.
int FindCodeSegment(dl_phdr_info* info, size_t, void* data) {
  const auto address = *static_cast<const uintptr_t*>(data);
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
    if (segment.p_type == PT_LOAD && (segment.p_flags & PF_X) != 0 && address >= start &&
        address - start < segment.p_memsz)
      return 1;
  }
  return 0;
}

}  // namespace

// The word itself is taken as readable: a POSIX host hands out whole tables.
const void* CodeAddressAt(const void* const* word) {
  if (word == nullptr || *word == nullptr) return nullptr;
  uintptr_t address = reinterpret_cast<uintptr_t>(*word);
  return dl_iterate_phdr(FindCodeSegment, &address) != 0 ? *word : nullptr;
}

LibraryImage ImageOfLibrary(LibraryHandle library) {
  if (library == nullptr) return {nullptr, 0};
  link_map* map = nullptr;
  if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return {nullptr, 0};
  ImageSearch search{map->l_addr, 0, false};
  dl_iterate_phdr(MeasureImage, &search);
  if (!search.found) return {nullptr, 0};
  return {reinterpret_cast<const uint8_t*>(map->l_addr), search.extent};
}

uint64_t FileSizeBytes(const char* path) {
  struct stat info {};
  if (path == nullptr || stat(path, &info) != 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

}  // namespace kvr::platform

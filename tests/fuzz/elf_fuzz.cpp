// The ELF reader over any bytes, as the host reads a module file: its sections and exported names, or a
// std::runtime_error naming the file; no other exception and no read outside the bytes.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "host/platform/posix/elf_file.h"
#include "module/platform/resource_pack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const kvr::host::ElfFile elf(std::vector<uint8_t>(data, data + size), "fuzz.gau");
    (void)elf.Section(kvr::resource_pack::kSectionName);
    (void)elf.ExportedNames();
  } catch (const std::runtime_error&) {
  }
  return 0;
}

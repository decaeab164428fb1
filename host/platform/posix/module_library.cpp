// Module libraries on POSIX: dlopen, and the resource pack read from the file's own section.
#include <dlfcn.h>

#include <stdexcept>

#include "host/platform/module_library.h"
#include "host/platform/posix/elf_file.h"
#include "module/platform/resource_pack.h"

namespace kvr::host::platform {

ModuleLibrary::ModuleLibrary(const std::filesystem::path& path) {
  if (auto pack = ElfFile(path).Section(resource_pack::kSectionName)) {
    // Checked before the library is mapped: a damaged module is refused before any of its code runs.
    if (!resource_pack::ChecksumMatches({pack->data(), pack->size()}))
      throw std::runtime_error(
          path.string() + ": its resource pack (" + resource_pack::kSectionName +
          ") is damaged: the checksum does not match its contents; rebuild or reinstall the module");
    resources_ = std::move(*pack);
  }
  // A relative path without a slash would make dlopen search the library path instead of this file.
  const std::string file = path.has_parent_path() ? path.string() : "./" + path.string();
  library_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) throw std::runtime_error(path.string() + ": cannot load: " + dlerror());
}

ModuleLibrary::~ModuleLibrary() { dlclose(library_); }

void* ModuleLibrary::Symbol(const char* name) const { return dlsym(library_, name); }

std::vector<uint8_t> ModuleLibrary::Bitmap(uint32_t id) const {
  const auto found = resource_pack::FindBitmap({resources_.data(), resources_.size()}, id);
  return {found.data, found.data + found.size};
}

std::vector<uint8_t> ModuleLibrary::Data(const std::string& name) const {
  const auto found = resource_pack::FindData({resources_.data(), resources_.size()}, name.c_str());
  return {found.data, found.data + found.size};
}

size_t ModuleLibrary::ResourceCount() const {
  return resource_pack::EntryCount({resources_.data(), resources_.size()});
}

}  // namespace kvr::host::platform

#include "host/module_loader.h"

#include <dlfcn.h>

#include <stdexcept>

#include "host/elf_file.h"
#include "module/platform/resource_pack.h"

namespace kvr::host {

LoadedModule::LoadedModule(const std::filesystem::path& path, PanelHost* services) : path_(path) {
  const std::string where = path.string() + ": ";
  if (!std::filesystem::exists(path)) throw std::runtime_error(where + "no such module file");
  if (auto pack = ElfFile(path).Section(resource_pack::kSectionName)) resources_ = std::move(*pack);

  // A relative path without a slash would make dlopen search the library path instead of this file.
  const std::string file = path.has_parent_path() ? path.string() : "./" + path.string();
  library_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) throw std::runtime_error(where + "cannot load: " + dlerror());

  imports_ = static_cast<ImportTableRecord*>(dlsym(library_, "ImportTable"));
  linkage_ = static_cast<LinkageRecord*>(dlsym(library_, "Linkage"));
  if (imports_ == nullptr || linkage_ == nullptr) {
    dlclose(library_);
    throw std::runtime_error(where + "does not export ImportTable and Linkage");
  }
  if (linkage_->moduleId != kLinkageModuleId || imports_->panel.tableId != kPanelServiceTableId) {
    dlclose(library_);
    throw std::runtime_error(where + "is not a gauge module (wrong Linkage or ImportTable identifier)");
  }
  imports_->panel.table = services;
  for (GaugeHeader* gauge : linkage_->gauges) {
    if (gauge == nullptr) break;
    gauges_.push_back(gauge);
  }
  if (linkage_->moduleInit != nullptr) linkage_->moduleInit();
}

LoadedModule::~LoadedModule() {
  if (linkage_->moduleDeinit != nullptr) linkage_->moduleDeinit();
  dlclose(library_);
}

GaugeHeader* LoadedModule::FindGauge(const std::string& name) const {
  for (GaugeHeader* gauge : gauges_)
    if (gauge->name != nullptr && name == gauge->name) return gauge;
  return nullptr;
}

std::vector<uint8_t> LoadedModule::Bitmap(uint32_t id) const {
  const auto found = resource_pack::FindBitmap({resources_.data(), resources_.size()}, id);
  return {found.data, found.data + found.size};
}

std::vector<uint8_t> LoadedModule::Data(const std::string& name) const {
  const auto found = resource_pack::FindData({resources_.data(), resources_.size()}, name.c_str());
  return {found.data, found.data + found.size};
}

size_t LoadedModule::ResourceCount() const {
  return resource_pack::EntryCount({resources_.data(), resources_.size()});
}

}  // namespace kvr::host

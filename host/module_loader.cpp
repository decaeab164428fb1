#include "host/module_loader.h"

#include <stdexcept>

namespace kvr::host {

LoadedModule::LoadedModule(const std::filesystem::path& path, PanelHost* services) : path_(path) {
  const std::string where = path.string() + ": ";
  if (!std::filesystem::exists(path)) throw std::runtime_error(where + "no such module file");
  library_ = std::make_unique<platform::ModuleLibrary>(path);
  imports_ = static_cast<ImportTableRecord*>(library_->Symbol("ImportTable"));
  linkage_ = static_cast<LinkageRecord*>(library_->Symbol("Linkage"));
  if (imports_ == nullptr || linkage_ == nullptr)
    throw std::runtime_error(where + "does not export ImportTable and Linkage");
  if (linkage_->moduleId != kLinkageModuleId || imports_->panel.tableId != kPanelServiceTableId)
    throw std::runtime_error(where + "is not a gauge module (wrong Linkage or ImportTable identifier)");
  imports_->panel.table = services;
  for (GaugeHeader* gauge : linkage_->gauges) {
    if (gauge == nullptr) break;
    gauges_.push_back(gauge);
  }
  if (linkage_->moduleInit != nullptr) linkage_->moduleInit();
}

LoadedModule::~LoadedModule() {
  if (linkage_->moduleDeinit != nullptr) linkage_->moduleDeinit();
}

GaugeHeader* LoadedModule::FindGauge(const std::string& name) const {
  for (GaugeHeader* gauge : gauges_)
    if (gauge->name != nullptr && name == gauge->name) return gauge;
  return nullptr;
}

std::vector<uint8_t> LoadedModule::Bitmap(uint32_t id) const { return library_->Bitmap(id); }

std::vector<uint8_t> LoadedModule::Data(const std::string& name) const { return library_->Data(name); }

size_t LoadedModule::ResourceCount() const { return library_->ResourceCount(); }

}  // namespace kvr::host

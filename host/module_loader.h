// Loads a gauge module file as a simulator does: the library is mapped into the process (its static
// initialisation runs), its two exported records are found by name, the host's service table is written
// into ImportTable, and the gauge headers are read from Linkage. The module's resources are read from the
// file itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/bitmap_info.h"
#include "host/platform/module_library.h"
#include "module/gauge/panel_sdk.h"

namespace kvr::host {

class LoadedModule {
 public:
  // Loads `path` and hands it `services`. Throws std::runtime_error naming the file and the reason.
  LoadedModule(const std::filesystem::path& path, PanelHost* services);
  ~LoadedModule();  // unloads: the module's static clean-up runs
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The module's name as panel.cfg writes it before "!": the file name without its extension.
  std::string Name() const { return path_.stem().string(); }
  // The handle a simulator passes with service code 2.
  uintptr_t Handle() const { return reinterpret_cast<uintptr_t>(library_->Handle()); }

  LinkageRecord& Linkage() const { return *linkage_; }
  ImportTableRecord& Imports() const { return *imports_; }
  const std::vector<GaugeHeader*>& Gauges() const { return gauges_; }
  GaugeHeader* FindGauge(const std::string& name) const;

  // Resources, read as a simulator reads them (see host/platform/module_library.h).
  std::vector<uint8_t> Bitmap(uint32_t id) const;  // empty when absent; ReadBitmapInfo reads its header
  std::vector<uint8_t> Data(const std::string& name) const;
  size_t ResourceCount() const;

 private:
  std::filesystem::path path_;
  std::unique_ptr<platform::ModuleLibrary> library_;
  LinkageRecord* linkage_ = nullptr;
  ImportTableRecord* imports_ = nullptr;
  std::vector<GaugeHeader*> gauges_;
};

}  // namespace kvr::host

// One simulator session: the panel services and the FSUIPC server come up first (the module opens its
// link while it loads), then the module is loaded and the panel placed. Destruction runs the other way:
// removal, disconnection, unload (the module closes its link), then the server goes.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "host/fsuipc/fsuipc_server.h"
#include "host/module_loader.h"
#include "host/panel.h"
#include "host/panel_config.h"
#include "host/panel_services.h"

namespace kvr::host {

struct SessionOptions {
  std::filesystem::path panelFile;
  std::filesystem::path gaugesDir;  // where "<Module>.gau" is looked for
  FsuipcServerOptions fsuipc;
};

class PanelSession {
 public:
  // Throws PanelConfigError or std::runtime_error with the file and the reason.
  explicit PanelSession(const SessionOptions& options);
  ~PanelSession();

  PanelServices& Services() { return *services_; }
  FsuipcServer& Fsuipc() { return *fsuipc_; }
  LoadedModule& Module() { return *module_; }
  Panel& GetPanel() { return *panel_; }
  const PanelConfig& Config() const { return config_; }
  const std::vector<std::string>& Warnings() const { return warnings_; }

  // The simulator's pause and slew states as FSUIPC shows them (0x0264 and 0x05DC, non-zero when on).
  void SetPaused(bool paused) { fsuipc_->Poke<uint16_t>(kPauseOffset, paused ? 1 : 0); }
  void SetSlewing(bool slewing) { fsuipc_->Poke<uint16_t>(kSlewOffset, slewing ? 1 : 0); }
  static constexpr uint32_t kPauseOffset = 0x0264;
  static constexpr uint32_t kSlewOffset = 0x05DC;

  // Drops the panel and unloads the module now (what the destructor does), so that a caller can look at
  // the server and the services after the module is gone.
  void Unload();

  // What was loaded: gauges, elements, mouse areas, published variables and the link.
  void Describe(std::ostream& out) const;

 private:
  PanelConfig config_;
  std::vector<std::string> warnings_;
  std::unique_ptr<PanelServices> services_;
  std::unique_ptr<FsuipcServer> fsuipc_;
  std::unique_ptr<LoadedModule> module_;
  std::unique_ptr<Panel> panel_;
};

// The single module a panel names (the first "Module!" prefix); throws if it names none.
std::string ModuleNameOf(const PanelConfig& config);

}  // namespace kvr::host

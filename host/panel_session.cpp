#include "host/panel_session.h"

#include <algorithm>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <stdexcept>

namespace kvr::host {

std::string ModuleNameOf(const PanelConfig& config) {
  for (const PanelWindow& window : config.windows)
    for (const GaugePlacement& gauge : window.gauges) return gauge.module;
  throw PanelConfigError(config.path.string() + ": the panel places no gauge");
}

PanelSession::PanelSession(const SessionOptions& options)
    : config_(ReadPanelConfig(options.panelFile)),
      services_(std::make_unique<PanelServices>()),
      fsuipc_(std::make_unique<FsuipcServer>(options.fsuipc)) {
  const std::filesystem::path modulePath = options.gaugesDir / (ModuleNameOf(config_) + ".gau");
  module_ = std::make_unique<LoadedModule>(modulePath, services_->Table());
  panel_ = std::make_unique<Panel>(config_, *module_, *services_, warnings_);
}

PanelSession::~PanelSession() { Unload(); }

void PanelSession::Unload() {
  panel_.reset();
  module_.reset();
}

namespace {

const char* TypeName(uint32_t typeCode) {
  switch (typeCode) {
    case kTypeFlag32: return "flag";
    case kTypeInt32: return "int32";
    case kTypeObject: return "object";
    default: return "?";
  }
}

std::string Hex(uint32_t value) {
  std::ostringstream s;
  s << "0x" << std::hex << std::uppercase << value;
  return s.str();
}

}  // namespace

void PanelSession::Describe(std::ostream& out) const {
  out << "module " << module_->Path().string() << ": " << module_->Gauges().size() << " gauges, "
      << module_->ResourceCount() << " resources\n";
  for (GaugeHeader* gauge : module_->Gauges()) {
    const auto records = MouseAreaRecords(*gauge);
    const auto areas =
        std::count_if(records.begin(), records.end(), [](const MouseArea& a) { return a.kind == kMouseArea; });
    out << "  " << std::left << std::setw(12) << gauge->name << " design width " << std::setw(4) << gauge->designWidth
        << areas << " mouse areas\n";
  }
  out << "panel " << config_.path.string() << ": " << panel_->Instances().size() << " gauges placed\n";
  for (const auto& instance : panel_->Instances()) {
    const GaugeHeader& h = instance->header;
    out << "  " << instance->placement.window << " " << h.name << " at (" << h.x << ", " << h.y << ") size " << h.width
        << "x" << h.height << ", " << instance->elements.size() << " elements";
    if (!instance->parameters.empty()) out << ", parameters \"" << instance->parameters << "\"";
    out << "\n";
    for (const ElementHeader* e : instance->elements) {
      out << "      " << (e->type == kElementIcon ? "icon   " : "static ") << Hex(e->imageId) << " at (" << e->x << ", "
          << e->y << ") flags " << Hex(e->flags);
      if (e->surfaceInfo != nullptr)
        out << ", drawing surface " << e->surfaceInfo->width << "x" << e->surfaceInfo->height;
      out << "\n";
    }
  }
  for (const std::string& warning : warnings_) out << "warning: " << warning << "\n";
  out << "published variables: " << services_->Published().size() << "\n";
  for (const auto& [name, variable] : services_->Published()) {
    out << "  " << std::left << std::setw(34) << name << " " << std::setw(6) << TypeName(variable.typeCode);
    if (variable.typeCode == kTypeFlag32 || variable.typeCode == kTypeInt32)
      out << " = " << *static_cast<const int32_t*>(variable.address);
    else if (variable.typeCode == kTypeObject)
      out << " -> " << (*static_cast<void* const*>(variable.address) ? "object" : "null");
    out << "\n";
  }
  out << "FSUIPC link: " << (fsuipc_->ClientVersion() != 0 ? "open" : "not open") << " (client version "
      << fsuipc_->ClientVersion() << " at 0x330A), " << fsuipc_->BlocksServed() << " blocks served, "
      << fsuipc_->BlocksRefused() << " refused\n";
}

}  // namespace kvr::host

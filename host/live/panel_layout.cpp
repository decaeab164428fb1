#include "host/live/panel_layout.h"

#include <cmath>

namespace kvr::host {

PanelLayout::PanelLayout(const Panel& panel, PanelRenderer& renderer, std::string windowName)
    : panel_(panel), renderer_(renderer), windowName_(std::move(windowName)) {}

std::optional<GaugeHit> PanelLayout::HitAt(double panelX, double panelY) const {
  const auto& instances = panel_.Instances();
  for (auto it = instances.rbegin(); it != instances.rend(); ++it) {
    GaugeInstance& instance = **it;
    const GaugeHeader& h = instance.header;
    if (instance.placement.window != windowName_ || h.width <= 0 || h.height <= 0) continue;
    if (panelX < h.x || panelY < h.y || panelX >= h.x + h.width || panelY >= h.y + h.height) continue;
    const DesignSize design = renderer_.DesignSizeOf(instance);
    GaugeHit hit;
    hit.instance = &instance;
    hit.x = static_cast<int>(std::floor((panelX - h.x) * design.width / h.width));
    hit.y = static_cast<int>(std::floor((panelY - h.y) * design.height / h.height));
    return hit;
  }
  return std::nullopt;
}

int32_t PanelLayout::CursorAt(const GaugeHit& hit) {
  if (hit.instance == nullptr) return kCursorNone;
  for (const MouseArea& a : MouseAreaRecords(hit.instance->header))
    if (a.kind == kMouseArea && Contains(a, hit.x, hit.y)) return a.cursor;
  return kCursorNone;
}

}  // namespace kvr::host

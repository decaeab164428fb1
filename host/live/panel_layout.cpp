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
    double designWidth = h.designWidth, designHeight = h.designHeight;
    if (designWidth <= 0 || designHeight <= 0) {
      const Image* top = instance.Root() != nullptr ? renderer_.Bitmap(instance.Root()->imageId) : nullptr;
      if (designWidth <= 0) designWidth = top != nullptr ? top->width : h.width;
      if (designHeight <= 0) designHeight = top != nullptr ? top->height : h.height;
    }
    GaugeHit hit;
    hit.instance = &instance;
    hit.x = static_cast<int>(std::floor((panelX - h.x) * designWidth / h.width));
    hit.y = static_cast<int>(std::floor((panelY - h.y) * designHeight / h.height));
    return hit;
  }
  return std::nullopt;
}

int32_t PanelLayout::CursorAt(const GaugeHit& hit) {
  const MouseArea* area = hit.instance != nullptr ? hit.instance->header.mouseAreas : nullptr;
  if (area == nullptr || area->kind != kMouseListStart) return kCursorNone;
  for (int i = 1; i < 256 && area[i].kind != kMouseListEnd; ++i) {
    const MouseArea& a = area[i];
    if (a.kind != kMouseArea) continue;
    if (hit.x >= a.x && hit.y >= a.y && hit.x < a.x + a.width && hit.y < a.y + a.height) return a.cursor;
  }
  return kCursorNone;
}

}  // namespace kvr::host

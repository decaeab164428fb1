// Where the gauges of one panel window sit, for pointing at them: a point of the panel picture (panel
// pixels, as PanelRenderer draws it) is turned into the gauge under it and the point in that gauge's design
// pixels, which is what its mouse areas are written in. The design size is the renderer's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/panel.h"
#include "host/render/panel_renderer.h"

namespace kvr::host {

struct GaugeHit {
  GaugeInstance* instance = nullptr;
  int x = 0, y = 0;  // design pixels of the gauge
};

class PanelLayout {
 public:
  // `panel` and `renderer` outlive the layout; `windowName` is the [WindowNN] section the renderer draws.
  PanelLayout(const Panel& panel, PanelRenderer& renderer, std::string windowName);

  // The gauge drawn topmost at (x, y) of the panel picture (fractions of a pixel allowed), or none. Gauges
  // drawn later lie over earlier ones.
  std::optional<GaugeHit> HitAt(double panelX, double panelY) const;

  // The cursor code of the first mouse area of `hit`'s gauge that contains its point, as the panel looks
  // areas up; kCursorNone when no area holds it.
  static int32_t CursorAt(const GaugeHit& hit);

 private:
  const Panel& panel_;
  PanelRenderer& renderer_;
  std::string windowName_;
};

}  // namespace kvr::host

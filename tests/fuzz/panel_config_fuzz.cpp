// panel.cfg over any text: either a configuration whose every position and size lies within the bounds,
// or a PanelConfigError; nothing else.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/panel_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const kvr::host::PanelConfig config = kvr::host::ParsePanelConfig(text, "fuzz.cfg");
    using kvr::host::kMaxPanelSide;
    if (config.windows.size() > kvr::host::kMaxPanelWindows) std::abort();
    for (const auto& window : config.windows) {
      if (window.gauges.size() > kvr::host::kMaxGaugesPerWindow) std::abort();
      // A module is looked for inside the gauges folder: never at an absolute path or on a drive.
      for (const auto& g : window.gauges)
        if (g.module.empty() || g.module[0] == '/' || g.module[0] == '\\' || g.module.find(':') != std::string::npos)
          std::abort();
      if (window.widthPx < 0 || window.widthPx > kMaxPanelSide || window.heightPx < 0 ||
          window.heightPx > kMaxPanelSide)
        std::abort();
      for (const auto& g : window.gauges)
        if (g.x < -kMaxPanelSide || g.x > kMaxPanelSide || g.y < -kMaxPanelSide || g.y > kMaxPanelSide || g.width < 0 ||
            g.width > kMaxPanelSide || g.height < 0 || g.height > kMaxPanelSide)
          std::abort();
    }
  } catch (const kvr::host::PanelConfigError&) {
  }
  return 0;
}

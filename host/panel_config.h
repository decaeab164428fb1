// A panel configuration in the simulator's panel.cfg convention:
//
//   [Window00]
//   size_mm=640,480
//   gauge00=KVR_TCAS!IVSI, 10, 10, 158, 158, pic=n aa=1
//
// Sections are "[name]"; lines are "key=value"; "//" and ";" start comments. In "[WindowNN]" sections each
// "gaugeNN" key places a gauge: "Module!Gauge, x, y[, width[, height]][, parameter string]" where the
// parameter string is the rest of the line after the fifth comma. The module is looked for in the panel's
// gauges folder only: a name that is absolute or climbs out of that folder is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace kvr::host {

// The largest panel window, in pixels a side, and the bound of every coordinate and size a panel file
// gives: positions lie within -kMaxPanelSide..kMaxPanelSide, sizes within 0..kMaxPanelSide, so that sums
// of them cannot overflow and no picture of the panel exceeds kMaxPanelSide x kMaxPanelSide.
inline constexpr int kMaxPanelSide = 4096;

// The largest panel configuration read (real ones hold a few kilobytes), and the most windows and gauges
// per window it may place: well above any real panel, low enough that placing them all cannot take the
// machine's memory.
inline constexpr uintmax_t kMaxPanelConfigBytes = 4 * 1024 * 1024;
inline constexpr size_t kMaxPanelWindows = 64;
inline constexpr size_t kMaxGaugesPerWindow = 256;

struct GaugePlacement {
  std::string module;  // before "!"; a path inside the panel's gauges folder, without ".gau"
  std::string gauge;   // after "!"
  int x = 0, y = 0;
  int width = 0;           // 0: the gauge's design size
  int height = 0;          // 0: in proportion to the width
  std::string parameters;  // as written, without surrounding blanks
  std::string window;      // the section it was found in
  int line = 0;            // for messages
};

struct PanelWindow {
  std::string name;               // "Window00"
  int widthPx = 0, heightPx = 0;  // from size_mm, when given
  std::vector<GaugePlacement> gauges;
};

struct PanelConfig {
  std::filesystem::path path;
  std::vector<PanelWindow> windows;
};

// A malformed file: the message is "FILE:LINE: reason".
class PanelConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

PanelConfig ReadPanelConfig(const std::filesystem::path& path);
PanelConfig ParsePanelConfig(const std::string& text, const std::filesystem::path& pathForMessages);

}  // namespace kvr::host

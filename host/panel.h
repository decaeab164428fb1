// The placed gauges of a panel and their life: each placement gets its own copy of the gauge header and
// element tree (so instances keep their own parameter string, state slot, flags and drawing surfaces), and
// the panel drives every instance's callback with the service codes in the order a simulator does.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/module_loader.h"
#include "host/panel_config.h"
#include "host/panel_services.h"
#include "host/platform/element_surface.h"
#include "module/gauge/panel_sdk.h"

namespace kvr::host {

// What an element's drawing surface showed when the panel last took its content: 0x00RRGGBB, rows from the
// top; empty before the first take.
struct ShownSurface {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;  // width * height
};

// The deepest element tree the panel copies, and so the deepest a renderer walks.
inline constexpr int kMaxTreeDepth = 16;

struct GaugeInstance {
  GaugePlacement placement;
  GaugeHeader* source = nullptr;  // the module's template
  GaugeHeader header{};           // this instance's copy, passed to the callback
  std::string parameters;
  ElementHeader* elementList[2] = {nullptr, nullptr};
  std::vector<ElementHeader*> elements;  // every element of the copied tree, parents before children
  std::vector<double> iconValues;        // last image index per element (icons only; 0 otherwise)
  std::vector<ShownSurface> shown;       // per element; empty for elements without a drawing surface
  std::vector<uint64_t> redraws;         // per element: how often its gauge cleared the on-screen bit

  ElementHeader* Root() const { return elementList[0]; }

 private:
  friend class Panel;
  std::vector<std::unique_ptr<uint8_t[]>> storage_;                  // element records, child lists, surface records
  std::vector<std::unique_ptr<platform::ElementSurface>> surfaces_;  // per element; null without flags 0x26
};

// The records of a gauge's mouse-area list between its start and end markers, in list order (at most 255,
// so a list without its end marker is not followed far); empty when the list is missing or does not open
// with its start marker. Records of other kinds than kMouseArea may be among them.
std::span<const MouseArea> MouseAreaRecords(const GaugeHeader& gauge);

// Whether design point (x, y) lies in `area`.
inline bool Contains(const MouseArea& area, int x, int y) {
  return x >= area.x && y >= area.y && x < area.x + area.width && y < area.y + area.height;
}

// The most memory the drawing surfaces of one panel's gauges may take. The host's surfaces of a real panel
// take well under a megabyte, and a module keeps working memory in proportion to the surfaces it draws.
inline constexpr uint64_t kMaxPanelSurfaceBytes = 16 * 1024 * 1024;

// A panel that would exceed kMaxPanelSurfaceBytes: refused whole, before any gauge is started.
class PanelBudgetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Panel {
 public:
  static constexpr int kTicksPerSecond = 18;

  // Places every gauge of `config` that `module` has. Placements naming another module or an unknown
  // gauge are left out and described in `warnings`; the rest of the panel still loads. Throws
  // PanelBudgetError "FILE:LINE: reason" at the placement whose surfaces would exceed the budget.
  Panel(const PanelConfig& config, LoadedModule& module, PanelServices& services, std::vector<std::string>& warnings);
  ~Panel();  // removes and disconnects what is still installed
  Panel(const Panel&) = delete;
  Panel& operator=(const Panel&) = delete;

  const std::vector<std::unique_ptr<GaugeInstance>>& Instances() const { return instances_; }

  // The simulator's order: Connect (0, query, 1, 14), Install (install, 2, 3, 4, initialise, 5, 16), Frame
  // (update, 6, 7, 8, 9, 10, draw, 11) as often as wanted, Remove (17, 12, kill, 13), Disconnect (15). Each
  // step is taken once; Start does the first two.
  void Start();
  void Connect();
  void Install();
  // Advances simulated time by one frame at `framesPerSecond`, sets the 18 Hz tick counter (simulator
  // variable 1), then calls code 6 and code 10 on every instance, evaluates every icon and takes the
  // content of the elements whose gauges asked for it (TakeContent).
  void Frame(double framesPerSecond);
  // What a simulator does after the gauges have drawn: every element whose on-screen bit
  // (kElementOnScreen) is clear gets its drawing surface's pixels taken into `shown`, and the bit set
  // again. An element whose bit stays set keeps showing what it showed, whatever its surface now holds.
  void TakeContent();
  void Remove();
  void Disconnect();

  // Simulated time and the 18 Hz tick counter, both from whole frames counted at one rate (a new rate
  // counts on from where the old one stopped): after n frames at r per second the counter reads exactly
  // floor(18 n / r). Summing 1/r seconds instead falls a hair short of whole ticks and holds the counter
  // back a frame.
  double TimeS() const;
  uint32_t Ticks() const;

  // A click at (x, y) in design pixels of `instance` with the given mouse flags: the first area of its
  // list that contains the point and accepts one of the flags gets it. Returns whether a handler ran.
  bool Click(GaugeInstance& instance, int x, int y, uint32_t mouseFlags);

 private:
  void CopyTree(GaugeInstance& instance);
  ElementHeader* CopyElement(GaugeInstance& instance, const ElementHeader* source, int depth);
  void Broadcast(int32_t code, uintptr_t extra);

  LoadedModule& module_;
  PanelServices& services_;
  std::vector<std::unique_ptr<GaugeInstance>> instances_;
  bool connected_ = false, installed_ = false;
  double rateHz_ = 0;          // frames per second of the current count; 0 before the first frame
  uint64_t framesAtRate_ = 0;  // frames run at rateHz_
  double baseTimeS_ = 0;       // time and ticks when the current rate began
  uint32_t baseTicks_ = 0;
  uint64_t surfaceBytes_ = 0;  // of the drawing surfaces made so far, against kMaxPanelSurfaceBytes
};

}  // namespace kvr::host

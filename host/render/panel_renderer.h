// The panel window as the simulator shows it, drawn headless: every placed gauge's element tree at the
// element positions (relative to the gauge, parents before children), scaled from the gauge's design size
// to its size on the panel and clipped to it, over a dark panel background. Pure black is transparent; an
// element with the hidden bit is left out with its children; an icon shows its first image id plus its
// last callback value; an element with a drawing surface shows what the gauge painted there.
// The tree walk is shared (panel_window.cpp); the compositing and PNG files are the platform's
// (host/platform/<platform>/panel_renderer.cpp: Cairo and libpng, or software and stb). No window and no
// live drawing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/module_loader.h"
#include "host/panel.h"
#include "host/panel_config.h"
#include "host/render/bitmap.h"

namespace kvr::host {

// The size a gauge is drawn from, in design pixels (its bitmaps' pixels).
struct DesignSize {
  double width = 0, height = 0;
};

struct RenderOptions {
  size_t window = 0;                  // which [WindowNN] section of the configuration, in file order
  uint32_t backgroundRgb = 0x2A2D31;  // the panel behind the gauges, 0x00RRGGBB
};

class PanelRenderer {
 public:
  // Draws `panel`'s gauges of window `options.window` of `config` (the configuration the panel was placed
  // from) with `module`'s bitmaps; all three outlive the renderer. Throws std::runtime_error when the
  // configuration has no such window.
  PanelRenderer(const LoadedModule& module, const PanelConfig& config, const Panel& panel, RenderOptions options = {});
  ~PanelRenderer();
  PanelRenderer(const PanelRenderer&) = delete;
  PanelRenderer& operator=(const PanelRenderer&) = delete;

  // The window's size in pixels: its size_mm when given, else the bounding box of its placed gauges; at
  // most kMaxPanelSide a side (a larger box is cut to it, and Warnings() says so).
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }

  // The window as it looks now.
  Image Render();

  // The module's bitmap `id`, decoded once; null when the module has none or it does not decode (the
  // reason is added to Warnings() once).
  const Image* Bitmap(uint32_t id);
  const std::vector<std::string>& Warnings() const { return warnings_; }

  // The design size `instance` is scaled from to its size on the panel: its declared width and height,
  // else those of its top image, else its size on the panel.
  DesignSize DesignSizeOf(const GaugeInstance& instance);

 private:
  // A decoded bitmap and, where the platform draws from one, its own form of it (a Cairo surface).
  struct Picture {
    Image image;
    std::shared_ptr<void> platformImage;
  };
  static void Prepare(Picture& picture);  // fills platformImage; each platform's renderer defines it
  Picture* Find(uint32_t id);
  // The bitmap a static element or an icon shows (for an icon, the image its callback chose at the last
  // frame); null when it shows none. `index` is the element's place in the instance's element list.
  Picture* ShownPicture(const GaugeInstance& instance, const ElementHeader* element, size_t index);
  // How a gauge is drawn: scaled from its design size to its size on the panel.
  struct GaugeScale {
    double x = 1, y = 1;
    bool Scaled() const { return x != 1.0 || y != 1.0; }
  };
  // The scale of `instance`; nothing when it has no element tree or no size on the panel.
  std::optional<GaugeScale> ScaleOf(const GaugeInstance& instance);
  // Sets the platform's canvas up for one gauge (its box as clip, its position and scale) and draws its
  // tree through DrawTree. Each platform's renderer defines it.
  void DrawGauge(void* canvas, const GaugeInstance& instance);
  // Walks a gauge's element tree, parents before children, and paints what each element shows with
  // PaintElement: an element with the hidden bit is left out with everything it carries, and so is what
  // lies deeper than kMaxTreeDepth. The one walk both platforms draw by.
  void DrawTree(void* canvas, const GaugeInstance& instance, bool scaled);
  void DrawElement(void* canvas, const GaugeInstance& instance, const ElementHeader* element, int depth, bool scaled);
  // Paints at the element's position either the pixels the panel took from its drawing surface (`shown`,
  // non-empty) or `picture`; exactly one of the two is non-null. Each platform's renderer defines it.
  static void PaintElement(void* canvas, const ElementHeader& element, const ShownSurface* shown,
                           const Picture* picture, bool scaled);

  const LoadedModule& module_;
  const Panel& panel_;
  RenderOptions options_;
  std::string windowName_;
  int32_t width_ = 1, height_ = 1;
  std::map<uint32_t, std::unique_ptr<Picture>> pictures_;  // by bitmap id; null entry: no usable bitmap
  std::vector<std::string> warnings_;
};

// PNG files of an Image (8-bit RGB). Throw std::runtime_error naming the file and the reason.
void WritePng(const Image& image, const std::filesystem::path& file);
Image ReadPng(const std::filesystem::path& file);

}  // namespace kvr::host

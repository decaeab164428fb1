// What the panel renderers of both platforms share: the window's size, the module's bitmaps decoded once
// (each platform makes its own picture of them) and the design size a gauge is scaled from.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "host/render/panel_renderer.h"

namespace kvr::host {

PanelRenderer::PanelRenderer(const LoadedModule& module, const PanelConfig& config, const Panel& panel,
                             RenderOptions options)
    : module_(module), panel_(panel), options_(options) {
  if (options_.window >= config.windows.size())
    throw std::runtime_error(config.path.string() + ": no panel window number " + std::to_string(options_.window));
  const PanelWindow& window = config.windows[options_.window];
  windowName_ = window.name;
  // In 64 bits, since a header's position and size may each be anything a 32-bit field holds.
  int64_t width = 1, height = 1;
  if (window.widthPx > 0 && window.heightPx > 0) {
    width = window.widthPx;
    height = window.heightPx;
  } else {
    for (const auto& instance : panel.Instances()) {
      if (instance->placement.window != windowName_) continue;
      width = std::max(width, int64_t{instance->header.x} + instance->header.width);
      height = std::max(height, int64_t{instance->header.y} + instance->header.height);
    }
  }
  // The picture is cut, not scaled, to the largest panel window: what lies beyond is left out.
  if (width > kMaxPanelSide || height > kMaxPanelSide)
    warnings_.push_back("the panel window " + windowName_ + " reaches " + std::to_string(width) + "x" +
                        std::to_string(height) + " pixels; its picture is cut to the largest panel window, " +
                        std::to_string(kMaxPanelSide) + "x" + std::to_string(kMaxPanelSide));
  width_ = static_cast<int32_t>(std::clamp<int64_t>(width, 1, kMaxPanelSide));
  height_ = static_cast<int32_t>(std::clamp<int64_t>(height, 1, kMaxPanelSide));
}

PanelRenderer::Picture* PanelRenderer::Find(uint32_t id) {
  auto found = pictures_.find(id);
  if (found != pictures_.end()) return found->second.get();
  std::unique_ptr<Picture> picture;
  const std::vector<uint8_t> bytes = module_.Bitmap(id);
  char name[16];
  std::snprintf(name, sizeof name, "0x%04X", id);
  if (bytes.empty()) {
    warnings_.push_back(std::string("the module has no bitmap ") + name + "; elements showing it are left out");
  } else {
    try {
      picture = std::make_unique<Picture>();
      picture->image = DecodeBitmap(bytes);
      Prepare(*picture);
    } catch (const BitmapError& e) {
      picture.reset();
      warnings_.push_back(std::string("bitmap ") + name + ": " + e.what() + "; elements showing it are left out");
    }
  }
  return pictures_.emplace(id, std::move(picture)).first->second.get();
}

const Image* PanelRenderer::Bitmap(uint32_t id) {
  Picture* picture = Find(id);
  return picture != nullptr ? &picture->image : nullptr;
}

PanelRenderer::Picture* PanelRenderer::ShownPicture(const GaugeInstance& instance, const ElementHeader* element,
                                                    size_t index) {
  uint32_t id = element->imageId;
  if (element->type == kElementIcon) {
    // A value that names no image shows nothing.
    const double value = index < instance.iconValues.size() ? instance.iconValues[index] : 0.0;
    if (!std::isfinite(value) || value < 0 || value >= 65536) return nullptr;
    id += static_cast<uint32_t>(value);
  }
  return Find(id);
}

DesignSize PanelRenderer::DesignSizeOf(const GaugeInstance& instance) {
  const GaugeHeader& h = instance.header;
  DesignSize size{static_cast<double>(h.designWidth), static_cast<double>(h.designHeight)};
  if (size.width <= 0 || size.height <= 0) {
    const Picture* top = instance.Root() != nullptr ? Find(instance.Root()->imageId) : nullptr;
    if (size.width <= 0) size.width = top != nullptr ? top->image.width : h.width;
    if (size.height <= 0) size.height = top != nullptr ? top->image.height : h.height;
  }
  return size;
}

std::optional<PanelRenderer::GaugeScale> PanelRenderer::ScaleOf(const GaugeInstance& instance) {
  const GaugeHeader& h = instance.header;
  if (instance.Root() == nullptr || h.width <= 0 || h.height <= 0) return std::nullopt;
  const DesignSize design = DesignSizeOf(instance);
  return GaugeScale{h.width / design.width, h.height / design.height};
}

void PanelRenderer::DrawTree(void* canvas, const GaugeInstance& instance, bool scaled) {
  DrawElement(canvas, instance, instance.Root(), 0, scaled);
}

void PanelRenderer::DrawElement(void* canvas, const GaugeInstance& instance, const ElementHeader* element, int depth,
                                bool scaled) {
  if (element == nullptr || depth > kMaxTreeDepth) return;
  if (element->flags & kElementHidden) return;  // hidden with everything it carries

  const auto at = std::find(instance.elements.begin(), instance.elements.end(), element);
  const size_t index = size_t(at - instance.elements.begin());
  if ((element->flags & 0xFF) == kElementDrawingSurface) {
    // An element with a drawing surface shows what the panel took from it when the gauge last cleared its
    // on-screen bit; the live surface is not read here.
    const ShownSurface* shown = index < instance.shown.size() ? &instance.shown[index] : nullptr;
    if (shown != nullptr && !shown->pixels.empty()) PaintElement(canvas, *element, shown, nullptr, scaled);
  } else if (const Picture* picture = ShownPicture(instance, element, index)) {
    PaintElement(canvas, *element, nullptr, picture, scaled);
  }
  if (element->children != nullptr)
    for (size_t i = 0; i < 64 && element->children[i] != nullptr; ++i)
      DrawElement(canvas, instance, element->children[i], depth + 1, scaled);
}

}  // namespace kvr::host

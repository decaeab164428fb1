// The panel picture on Windows, composed in software from the pixels a simulator would show: the module's
// bitmaps (read through its handle) and what the panel took from each drawing surface. The tree walk is
// the shared one (host/render/panel_window.cpp); same clipping and transparency as the Cairo renderer; a
// gauge placed at another size than its design is sampled at the nearest design pixel. PNG files through
// stb_image_write and stb_image.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/render/panel_renderer.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO_FOPEN_WIDE
#include <stb_image_write.h>
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

namespace kvr::host {
namespace {

// Where one gauge is being drawn: the picture, the gauge's box on it and its scale from design pixels.
struct Target {
  Image* picture;
  int32_t left, top, right, bottom;  // the gauge's box, clipped to the picture; right and bottom excluded
  double originX, originY;           // the gauge's position on the picture
  double scaleX, scaleY;
};

// Lays `pixels` (w x h design pixels at design position (x, y)) over the target; pure black is transparent.
void Blit(const Target& t, const uint32_t* pixels, int32_t w, int32_t h, int32_t x, int32_t y) {
  const int32_t x0 = std::max(t.left, static_cast<int32_t>(std::floor(t.originX + x * t.scaleX)));
  const int32_t y0 = std::max(t.top, static_cast<int32_t>(std::floor(t.originY + y * t.scaleY)));
  const int32_t x1 = std::min(t.right, static_cast<int32_t>(std::ceil(t.originX + (x + w) * t.scaleX)));
  const int32_t y1 = std::min(t.bottom, static_cast<int32_t>(std::ceil(t.originY + (y + h) * t.scaleY)));
  for (int32_t py = y0; py < y1; ++py) {
    const auto v = static_cast<int32_t>(std::floor((py + 0.5 - t.originY) / t.scaleY)) - y;
    if (v < 0 || v >= h) continue;
    for (int32_t px = x0; px < x1; ++px) {
      const auto u = static_cast<int32_t>(std::floor((px + 0.5 - t.originX) / t.scaleX)) - x;
      if (u < 0 || u >= w) continue;
      const uint32_t pixel = pixels[size_t(v) * size_t(w) + size_t(u)] & 0x00FFFFFF;
      if (!IsTransparent(pixel)) t.picture->At(px, py) = pixel;
    }
  }
}

}  // namespace

PanelRenderer::~PanelRenderer() = default;

// The software compositor draws straight from the decoded pixels.
void PanelRenderer::Prepare(Picture&) {}

Image PanelRenderer::Render() {
  Image picture(width_, height_, options_.backgroundRgb & 0x00FFFFFF);
  for (const auto& instance : panel_.Instances())
    if (instance->placement.window == windowName_) DrawGauge(&picture, *instance);
  return picture;
}

void PanelRenderer::DrawGauge(void* canvas, const GaugeInstance& instance) {
  auto* picture = static_cast<Image*>(canvas);
  const std::optional<GaugeScale> scale = ScaleOf(instance);
  if (!scale) return;
  const GaugeHeader& h = instance.header;
  Target target{picture,
                std::max(0, h.x),
                std::max(0, h.y),
                static_cast<int32_t>(std::min<int64_t>(picture->width, int64_t{h.x} + h.width)),
                static_cast<int32_t>(std::min<int64_t>(picture->height, int64_t{h.y} + h.height)),
                double(h.x),
                double(h.y),
                scale->x,
                scale->y};
  DrawTree(&target, instance, scale->Scaled());
}

void PanelRenderer::PaintElement(void* canvas, const ElementHeader& element, const ShownSurface* shown,
                                 const Picture* picture, bool /*scaled: sampled at the nearest pixel*/) {
  const auto& target = *static_cast<const Target*>(canvas);
  if (shown != nullptr) Blit(target, shown->pixels.data(), shown->width, shown->height, element.x, element.y);
  else Blit(target, picture->image.pixels.data(), picture->image.width, picture->image.height, element.x, element.y);
}

void WritePng(const Image& image, const std::filesystem::path& file) {
  if (image.width <= 0 || image.height <= 0)
    throw std::runtime_error(file.string() + ": cannot write an empty picture");
  std::vector<uint8_t> rgb(size_t(image.width) * size_t(image.height) * 3);
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    rgb[3 * i] = uint8_t(image.pixels[i] >> 16);
    rgb[3 * i + 1] = uint8_t(image.pixels[i] >> 8);
    rgb[3 * i + 2] = uint8_t(image.pixels[i]);
  }
  if (stbi_write_png(file.string().c_str(), image.width, image.height, 3, rgb.data(), image.width * 3) == 0)
    throw std::runtime_error(file.string() + ": cannot write the PNG");
}

Image ReadPng(const std::filesystem::path& file) {
  int width = 0, height = 0, channels = 0;
  unsigned char* data = stbi_load(file.string().c_str(), &width, &height, &channels, 3);
  if (data == nullptr) throw std::runtime_error(file.string() + ": cannot read the PNG: " + stbi_failure_reason());
  Image image(width, height);
  for (size_t i = 0; i < image.pixels.size(); ++i)
    image.pixels[i] = uint32_t{data[3 * i]} << 16 | uint32_t{data[3 * i + 1]} << 8 | data[3 * i + 2];
  stbi_image_free(data);
  return image;
}

}  // namespace kvr::host

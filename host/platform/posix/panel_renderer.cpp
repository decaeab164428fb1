#include "host/render/panel_renderer.h"

#include <cairo.h>
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace kvr::host {
namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

// A Cairo source of 0x00RRGGBB pixels with pure black made transparent (premultiplied: all zero).
SurfacePtr KeyedSurface(const uint32_t* pixels, int32_t width, int32_t height, size_t stridePixels) {
  SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  cairo_surface_flush(surface.get());
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  for (int32_t y = 0; y < height; ++y) {
    auto* out = reinterpret_cast<uint32_t*>(data + size_t(y) * size_t(stride));
    const uint32_t* in = pixels + size_t(y) * stridePixels;
    for (int32_t x = 0; x < width; ++x) out[x] = IsTransparent(in[x]) ? 0 : 0xFF000000u | (in[x] & 0x00FFFFFF);
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

Image ImageOf(cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  Image image(width, height);
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
    for (int x = 0; x < width; ++x) image.At(x, y) = row[x] & 0x00FFFFFF;
  }
  return image;
}

}  // namespace

PanelRenderer::~PanelRenderer() = default;

void PanelRenderer::Prepare(Picture& picture) {
  SurfacePtr surface =
      KeyedSurface(picture.image.pixels.data(), picture.image.width, picture.image.height, size_t(picture.image.width));
  picture.platformImage.reset(surface.release(),
                              [](void* s) { cairo_surface_destroy(static_cast<cairo_surface_t*>(s)); });
}

Image PanelRenderer::Render() {
  SurfacePtr target(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width_, height_));
  ContextPtr cr(cairo_create(target.get()));
  const uint32_t bg = options_.backgroundRgb;
  cairo_set_source_rgb(cr.get(), ((bg >> 16) & 0xFF) / 255.0, ((bg >> 8) & 0xFF) / 255.0, (bg & 0xFF) / 255.0);
  cairo_paint(cr.get());
  for (const auto& instance : panel_.Instances())
    if (instance->placement.window == windowName_) DrawGauge(cr.get(), *instance);
  return ImageOf(target.get());
}

void PanelRenderer::DrawGauge(void* canvas, const GaugeInstance& instance) {
  auto* cr = static_cast<cairo_t*>(canvas);
  const std::optional<GaugeScale> scale = ScaleOf(instance);
  if (!scale) return;
  const GaugeHeader& h = instance.header;
  cairo_save(cr);
  cairo_rectangle(cr, h.x, h.y, h.width, h.height);
  cairo_clip(cr);
  cairo_translate(cr, h.x, h.y);
  cairo_scale(cr, scale->x, scale->y);
  DrawTree(cr, instance, scale->Scaled());
  cairo_restore(cr);
}

void PanelRenderer::PaintElement(void* canvas, const ElementHeader& element, const ShownSurface* shown,
                                 const Picture* picture, bool scaled) {
  auto* cr = static_cast<cairo_t*>(canvas);
  SurfacePtr painted;
  cairo_surface_t* source = nullptr;
  if (shown != nullptr) {
    painted = KeyedSurface(shown->pixels.data(), shown->width, shown->height, size_t(shown->width));
    source = painted.get();
  } else {
    source = static_cast<cairo_surface_t*>(picture->platformImage.get());
  }
  const int w = cairo_image_surface_get_width(source), h = cairo_image_surface_get_height(source);
  cairo_set_source_surface(cr, source, element.x, element.y);
  cairo_pattern_set_filter(cairo_get_source(cr), scaled ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
  cairo_rectangle(cr, element.x, element.y, w, h);
  cairo_fill(cr);
}

// Frame pictures are written many times a run: one row filter (each pixel less the one to its left)
// instead of trying all five on every row, and zlib's level 2 instead of its default 6, make them several
// times faster to write for a few per cent more bytes.
constexpr int kPngCompressionLevel = 2;

void WritePng(const Image& image, const std::filesystem::path& file) {
  if (image.width <= 0 || image.height <= 0)
    throw std::runtime_error(file.string() + ": cannot write an empty picture");
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(file.string().c_str(), "wb"), &std::fclose);
  if (!out) throw std::runtime_error(file.string() + ": cannot write the PNG: " + std::strerror(errno));
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    throw std::runtime_error(file.string() + ": cannot write the PNG: out of memory");
  }
  // Rows as libpng takes them: red, green, blue, from the 0x00RRGGBB words.
  std::vector<unsigned char> rgb(size_t(image.width) * size_t(image.height) * 3);
  for (size_t i = 0; i < size_t(image.width) * size_t(image.height); ++i) {
    const uint32_t word = image.pixels[i];
    rgb[3 * i] = static_cast<unsigned char>(word >> 16);
    rgb[3 * i + 1] = static_cast<unsigned char>(word >> 8);
    rgb[3 * i + 2] = static_cast<unsigned char>(word);
  }
  std::vector<png_bytep> rows(size_t(image.height));
  for (int32_t y = 0; y < image.height; ++y) rows[size_t(y)] = rgb.data() + size_t(y) * size_t(image.width) * 3;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error(file.string() + ": cannot write the PNG");
  }
  png_init_io(png, out.get());
  png_set_compression_level(png, kPngCompressionLevel);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_rows(png, info, rows.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fflush(out.get()) != 0 || std::ferror(out.get()))
    throw std::runtime_error(file.string() + ": cannot write the PNG: " + std::strerror(errno));
}

Image ReadPng(const std::filesystem::path& file) {
  SurfacePtr surface(cairo_image_surface_create_from_png(file.string().c_str()));
  const cairo_status_t status = cairo_surface_status(surface.get());
  if (status != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error(file.string() + ": cannot read the PNG: " + cairo_status_to_string(status));
  if (cairo_image_surface_get_format(surface.get()) != CAIRO_FORMAT_RGB24) {
    // A PNG with transparency: flatten it onto black so that every pixel is 0x00RRGGBB.
    SurfacePtr flat(cairo_image_surface_create(CAIRO_FORMAT_RGB24, cairo_image_surface_get_width(surface.get()),
                                               cairo_image_surface_get_height(surface.get())));
    ContextPtr cr(cairo_create(flat.get()));
    cairo_set_source_surface(cr.get(), surface.get(), 0, 0);
    cairo_paint(cr.get());
    return ImageOf(flat.get());
  }
  return ImageOf(surface.get());
}

}  // namespace kvr::host

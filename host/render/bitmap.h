// Windows bitmaps as the module carries them, decoded into 0x00RRGGBB pixels, and the pixel image the
// renderer composes with. Decodes 8-bit (plain and BI_RLE8) and 4-bit (plain) palette bitmaps stored
// bottom-up or top-down; other depths and compressions are refused with a reason.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "host/bitmap_info.h"

namespace kvr::host {

// A picture of 0x00RRGGBB pixels, row 0 at the top.
struct Image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;  // width * height

  Image() = default;
  Image(int32_t w, int32_t h, uint32_t fill = 0) : width(w), height(h), pixels(size_t(w) * size_t(h), fill) {}
  uint32_t At(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
  uint32_t& At(int32_t x, int32_t y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// `image` enlarged `factor` times in both directions, each pixel becoming a factor x factor block: the
// nearest-pixel filtering of the live window, which keeps the panel's edges and text sharp. Factor 1 gives
// a copy; factors below 1 are refused with std::invalid_argument.
Image ScaleImage(const Image& image, int factor);

// Pure black is what the panel leaves transparent.
inline bool IsTransparent(uint32_t pixel) { return (pixel & 0x00FFFFFF) == 0; }

// Decodes a bitmap resource (BITMAPINFOHEADER, palette, pixels) or a .bmp file (the same after its
// 14-byte "BM" file header). Palette indices past the palette give black; pixels an RLE8 stream skips
// (with a delta or an early end of line or bitmap) take palette entry 0; runs past the end of a row are
// cut there. A header ReadBitmapInfo refuses, a stream cut inside a run or an escape, an RLE8 stream too
// short to paint the claimed size (at most 255 pixels per two bytes), or pixel data shorter than the rows
// is refused with a BitmapError saying why; so what is allocated is bounded by the bytes given.
Image DecodeBitmap(std::span<const uint8_t> bytes);

}  // namespace kvr::host

#include "host/render/bitmap.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace kvr::host {
namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr size_t kFileHeaderBytes = 14;
constexpr uint64_t kMaxRunPixels = 255;  // the longest run one two-byte RLE8 code paints

[[noreturn]] void Fail(const std::string& reason) { throw BitmapError(reason); }

// Walks a BI_RLE8 stream into `indices` (one palette index per pixel, row 0 of the stream at the bottom).
void DecodeRle8(std::span<const uint8_t> data, int32_t width, int32_t height, std::vector<uint8_t>& indices) {
  int32_t x = 0, row = 0;  // row counts up from the bottom of the picture
  auto put = [&](uint8_t index) {
    if (x < width && row < height) indices[size_t(height - 1 - row) * size_t(width) + size_t(x)] = index;
    ++x;
  };
  size_t at = 0;
  while (at < data.size()) {
    if (at + 2 > data.size()) Fail("RLE8 stream cut inside a run");
    const uint8_t first = data[at], second = data[at + 1];
    at += 2;
    if (first > 0) {  // a run of `first` pixels of one index
      for (int i = 0; i < first && x < width; ++i) put(second);
      continue;
    }
    switch (second) {
      case 0:  // end of line
        x = 0;
        ++row;
        break;
      case 1:  // end of bitmap
        return;
      case 2:  // delta: move right and up
        if (at + 2 > data.size()) Fail("RLE8 stream cut inside a delta");
        x += data[at];
        row += data[at + 1];
        at += 2;
        break;
      default: {  // absolute run of `second` indices, padded to a 16-bit boundary
        const size_t count = second, padded = count + (count & 1);
        if (at + padded > data.size()) Fail("RLE8 stream cut inside an absolute run");
        for (size_t i = 0; i < count; ++i) put(data[at + i]);
        at += padded;
        break;
      }
    }
    if (row >= height) return;  // nothing further can land in the picture
  }
}

}  // namespace

Image DecodeBitmap(std::span<const uint8_t> bytes) {
  // A .bmp file: skip its file header, remembering where it says the pixels start.
  size_t pixelOffsetInFile = 0;
  if (bytes.size() >= kFileHeaderBytes && bytes[0] == 'B' && bytes[1] == 'M') {
    pixelOffsetInFile = ReadField<uint32_t>(bytes, 10);
    bytes = bytes.subspan(kFileHeaderBytes);
    pixelOffsetInFile = pixelOffsetInFile >= kFileHeaderBytes ? pixelOffsetInFile - kFileHeaderBytes : 0;
  }
  const BitmapInfo info = ReadBitmapInfo(bytes);
  const uint32_t headerBytes = info.headerBytes;
  const int32_t width = info.width, height = info.height;
  const uint16_t bits = info.bitsPerPixel;
  const uint32_t compression = info.compression, sizeImage = info.imageBytes, coloursUsed = info.coloursUsed;
  const bool topDown = info.topDown;
  if (bits != 4 && bits != 8) Fail(std::to_string(bits) + " bits per pixel are not supported (4 and 8 are)");
  if (compression != kBiRgb && !(compression == kBiRle8 && bits == 8))
    Fail("compression " + std::to_string(compression) + " is not supported with " + std::to_string(bits) + " bits");
  if (compression == kBiRle8 && topDown) Fail("an RLE8 bitmap cannot be stored top-down");

  const uint32_t paletteSlots = 1u << bits;
  const uint32_t paletteEntries = coloursUsed == 0 ? paletteSlots : coloursUsed;
  if (paletteEntries > paletteSlots)
    Fail("palette of " + std::to_string(coloursUsed) + " colours for " + std::to_string(bits) + " bits");
  const size_t paletteEnd = size_t(headerBytes) + size_t(paletteEntries) * 4;
  if (paletteEnd > bytes.size()) Fail("palette runs past the end of the data");
  uint32_t palette[256] = {};  // missing entries stay black
  for (uint32_t i = 0; i < paletteEntries; ++i) {
    const uint8_t* bgr = bytes.data() + headerBytes + size_t(i) * 4;
    palette[i] = (uint32_t{bgr[2]} << 16) | (uint32_t{bgr[1]} << 8) | bgr[0];
  }

  // Pixels follow the palette in a resource; a file may place them elsewhere.
  const size_t pixelStart =
      pixelOffsetInFile >= paletteEnd && pixelOffsetInFile <= bytes.size() ? pixelOffsetInFile : paletteEnd;
  std::span<const uint8_t> data = bytes.subspan(pixelStart);

  if (compression == kBiRle8) {
    if (sizeImage != 0 && sizeImage < data.size()) data = data.first(sizeImage);
    // Every two bytes of the stream paint at most 255 pixels; a header claiming more than the stream can
    // paint is refused before anything of the claimed size is allocated.
    const uint64_t paintable = (uint64_t(data.size()) + 1) / 2 * kMaxRunPixels;
    if (uint64_t(width) * uint64_t(height) > paintable)
      Fail("an RLE8 stream of " + std::to_string(data.size()) + " bytes cannot describe " + std::to_string(width) +
           "x" + std::to_string(height) + " pixels");
  }
  std::vector<uint8_t> indices(size_t(width) * size_t(height), 0);
  if (compression == kBiRle8) {
    DecodeRle8(data, width, height, indices);
  } else {
    const size_t stride = ((size_t(width) * bits + 31) / 32) * 4;
    if (data.size() < stride * size_t(height))
      Fail("pixel data holds " + std::to_string(data.size()) + " bytes, its rows need " +
           std::to_string(stride * size_t(height)));
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t* line = data.data() + stride * size_t(topDown ? y : height - 1 - y);
      uint8_t* out = indices.data() + size_t(y) * size_t(width);
      for (int32_t x = 0; x < width; ++x)
        out[x] = bits == 8 ? line[x] : static_cast<uint8_t>(x % 2 == 0 ? line[x / 2] >> 4 : line[x / 2] & 0x0F);
    }
  }

  Image image(width, height);
  for (size_t i = 0; i < indices.size(); ++i) image.pixels[i] = palette[indices[i]];
  return image;
}

Image ScaleImage(const Image& image, int factor) {
  if (factor < 1) throw std::invalid_argument("scale factor " + std::to_string(factor) + " is below 1");
  Image scaled(image.width * factor, image.height * factor);
  for (int32_t y = 0; y < image.height; ++y) {
    uint32_t* row = scaled.pixels.data() + size_t(y) * size_t(factor) * size_t(scaled.width);
    for (int32_t x = 0; x < image.width; ++x) std::fill_n(row + size_t(x) * size_t(factor), factor, image.At(x, y));
    for (int copy = 1; copy < factor; ++copy) std::copy_n(row, scaled.width, row + size_t(copy) * size_t(scaled.width));
  }
  return scaled;
}

}  // namespace kvr::host

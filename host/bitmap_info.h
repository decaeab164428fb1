// The header of a bitmap resource as the module carries it (a BITMAPINFOHEADER, then the palette and the
// pixels), read with the bounds everything that sizes pixels by it relies on: a header that fits in the
// bytes, and a width and a height of 1 to kMaxBitmapSide pixels. Depth and compression are reported, not
// judged: what can be decoded is the decoder's business (host/render/bitmap.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>

namespace kvr::host {

// Pixels a side; anything larger is taken as a corrupt or hostile header. The panel's own limit
// (kMaxPanelSide): no element's picture or drawing surface is larger than the panel that shows it.
inline constexpr int32_t kMaxBitmapSide = 4096;

struct BitmapInfo {
  int32_t width = 0;     // pixels, 1..kMaxBitmapSide
  int32_t height = 0;    // rows, whatever the storage order, 1..kMaxBitmapSide
  bool topDown = false;  // rows stored from the top (the header's height is negative)
  uint16_t bitsPerPixel = 0;
  uint32_t compression = 0;  // 0 none, 1 RLE8
  uint32_t headerBytes = 0;  // 40 or more; the palette follows
  uint32_t imageBytes = 0;   // size of the pixel data as the header gives it; 0: not given
  uint32_t coloursUsed = 0;  // palette entries; 0: all that the depth allows
};

// A bitmap that cannot be used: the message says why.
class BitmapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The field of type T at byte `at` of a bitmap's headers, in the machine's little-endian order; the caller
// has checked that it lies within `bytes`.
template <typename T>
T ReadField(std::span<const uint8_t> bytes, size_t at) {
  T value;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

// Reads the header at the start of `bytes`; throws BitmapError when it is not a BITMAPINFOHEADER or its
// size is out of range.
BitmapInfo ReadBitmapInfo(std::span<const uint8_t> bytes);

}  // namespace kvr::host

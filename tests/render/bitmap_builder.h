// Hand-made Windows bitmaps for the tests: a BITMAPINFOHEADER, a palette and the pixel bytes as given.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace kvr::host::testing {

struct Rgb {
  uint8_t r, g, b;
};

// `height` negative stores the rows top-down; `coloursUsed` 0 means a full palette for `bits`.
inline std::vector<uint8_t> MakeBitmap(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                                       const std::vector<Rgb>& palette, const std::vector<uint8_t>& pixels,
                                       uint32_t coloursUsed = 0) {
  std::vector<uint8_t> out(40, 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(out.data() + at, &v, 4); };
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(out.data() + at, &v, 2); };
  put32(0, 40);
  put32(4, static_cast<uint32_t>(width));
  put32(8, static_cast<uint32_t>(height));
  put16(12, 1);
  put16(14, bits);
  put32(16, compression);
  put32(20, static_cast<uint32_t>(pixels.size()));
  put32(32, coloursUsed);
  const size_t slots = coloursUsed != 0 ? coloursUsed : (size_t{1} << bits);
  for (size_t i = 0; i < slots; ++i) {
    const Rgb c = i < palette.size() ? palette[i] : Rgb{0, 0, 0};
    out.insert(out.end(), {c.b, c.g, c.r, 0});
  }
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

}  // namespace kvr::host::testing

// The bitmap header reader and the decoder over any bytes: a picture of the size the header states, made
// without allocating more than the bytes can describe, or a BitmapError.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "host/bitmap_info.h"
#include "host/render/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  try {
    kvr::host::ReadBitmapInfo(bytes);
  } catch (const kvr::host::BitmapError&) {
  }
  try {
    const kvr::host::Image image = kvr::host::DecodeBitmap(bytes);
    if (image.pixels.size() != size_t(image.width) * size_t(image.height)) std::abort();
  } catch (const kvr::host::BitmapError&) {
  }
  return 0;
}

// Drawing surfaces on POSIX: a HostSurface record followed by its pixels, in one block.
#include "host/platform/element_surface.h"

#include <cstring>
#include <stdexcept>

#include "module/gauge/panel_sdk.h"

namespace kvr::host::platform {

ElementSurface::ElementSurface(int32_t width, int32_t height) : width_(width), height_(height) {
  if (width <= 0 || height <= 0) throw std::runtime_error("drawing surface of no size");
  const size_t pixelBytes = size_t(width) * size_t(height) * 4;
  record_.assign(sizeof(HostSurface) + pixelBytes + 4, 0);  // one spare pixel past the end, as before
  pixels_ = reinterpret_cast<uint32_t*>(record_.data() + sizeof(HostSurface));
  HostSurface surface{kHostSurfaceMagic, width, height, width * 4, pixels_};
  std::memcpy(record_.data(), &surface, sizeof surface);
  context_ = record_.data();
}

ElementSurface::~ElementSurface() = default;

void ElementSurface::CopyPixels(std::vector<uint32_t>& out) const {
  out.assign(pixels_, pixels_ + size_t(width_) * size_t(height_));
}

}  // namespace kvr::host::platform

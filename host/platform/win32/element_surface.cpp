// Drawing surfaces on Windows: a memory DC with a 32-bit top-down DIB section selected, made as the
// module makes its own (module/platform/win32/dib_section.h). The gauge draws into the DC with GDI; the
// host reads the DIB's bits after GdiFlush.
#include <windows.h>

#include "host/platform/element_surface.h"
#include "module/platform/win32/dib_section.h"

#include <stdexcept>
#include <string>

namespace kvr::host::platform {

ElementSurface::ElementSurface(int32_t width, int32_t height) : width_(width), height_(height) {
  if (width <= 0 || height <= 0) throw std::runtime_error("drawing surface of no size");
  HDC dc = CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  HBITMAP bitmap = dc != nullptr ? ::kvr::platform::MakeDibSection(dc, width, height, bits) : nullptr;
  if (bitmap == nullptr) {
    if (dc != nullptr) DeleteDC(dc);
    throw std::runtime_error("cannot make a " + std::to_string(width) + "x" + std::to_string(height) +
                             " drawing surface (CreateDIBSection)");
  }
  previous_ = SelectObject(dc, bitmap);
  context_ = dc;
  bitmap_ = bitmap;
  pixels_ = static_cast<uint32_t*>(bits);  // a fresh DIB section is zero: black
}

ElementSurface::~ElementSurface() {
  auto* dc = static_cast<HDC>(context_);
  SelectObject(dc, static_cast<HGDIOBJ>(previous_));
  DeleteObject(static_cast<HGDIOBJ>(bitmap_));
  DeleteDC(dc);
}

void ElementSurface::CopyPixels(std::vector<uint32_t>& out) const {
  GdiFlush();
  const size_t count = size_t(width_) * size_t(height_);
  out.resize(count);
  for (size_t i = 0; i < count; ++i) out[i] = pixels_[i] & 0x00FFFFFF;
}

}  // namespace kvr::host::platform

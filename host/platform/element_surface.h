// The drawing surface the host gives an element with flags 0x26: what goes into the element's device
// context field, and the pixels behind it, which the host reads to show the element.
//   POSIX:   a HostSurface (module/gauge/panel_sdk.h) over pixels this object owns.
//   Windows: the HDC of a memory DC with a 32-bit top-down DIB section selected, as a simulator gives it.
#pragma once

#include <cstdint>
#include <vector>

namespace kvr::host::platform {

class ElementSurface {
 public:
  // A black surface of width x height pixels (1 or more each). Throws std::runtime_error when it cannot
  // be made.
  ElementSurface(int32_t width, int32_t height);
  ~ElementSurface();
  ElementSurface(const ElementSurface&) = delete;
  ElementSurface& operator=(const ElementSurface&) = delete;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  void* DeviceContext() const { return context_; }

  // The pixels as the gauge left them: 0x00RRGGBB, rows from the top, width x height of them.
  void CopyPixels(std::vector<uint32_t>& out) const;

 private:
  int32_t width_, height_;
  void* context_ = nullptr;
  uint32_t* pixels_ = nullptr;   // row 0 first, rows width_ pixels apart
  std::vector<uint8_t> record_;  // POSIX: the HostSurface and its pixels
  void* bitmap_ = nullptr;       // Windows: the DIB section, and what the DC held before it
  void* previous_ = nullptr;
};

}  // namespace kvr::host::platform

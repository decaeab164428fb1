// The 32-bit top-down DIB section that drawing surfaces are made of, on the module's side (MakeSurface)
// and on the Windows host's (the drawing surface it hands a gauge): one way to make it, so that both
// sides lay their pixels out alike.
#pragma once

#include <windows.h>

#include <cstdint>

namespace kvr::platform {

// A width x height (both > 0) bitmap of 0x00RRGGBB words, row 0 first in memory, rows width * 4 bytes
// apart, for `dc` (null: the screen); `bits` gets its pixels. Null, with nothing left behind, when GDI
// cannot make it.
inline HBITMAP MakeDibSection(HDC dc, int32_t width, int32_t height, void*& bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr && bits == nullptr) {
    DeleteObject(bitmap);
    bitmap = nullptr;
  }
  return bitmap;
}

}  // namespace kvr::platform

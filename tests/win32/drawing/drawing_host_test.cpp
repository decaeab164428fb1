// The drawing seam on the device context a Windows host hands an element: a memory DC with the host's own
// bitmap, which the layer draws into and leaves as it found it.
#include <windows.h>

#include <gtest/gtest.h>

#include "module/platform/drawing.h"
#include "tests/drawing/canvas.h"

namespace kvr::platform::testing {
namespace {

// A host's element surface: a memory DC with a DIB section of `bits` per pixel selected.
struct HostDc {
  HostDc(int32_t width, int32_t height, WORD bits, bool bottomUp) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, bottomUp ? height : -height, 1, bits, BI_RGB, 0, 0, 0, 0, 0};
    void* memory = nullptr;
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
    initial = SelectObject(dc, bitmap);
  }
  ~HostDc() {
    SelectObject(dc, initial);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ initial;
};

TEST(DrawingHost, DrawsIntoTheHostsBitmapAndLeavesItsContextAsItWas) {
  Canvas source(4, 4);
  Brush yellow = MakeSolidBrush(kYellow);
  FillBox(source.context(), 0, 0, 4, 4, yellow);
  for (bool bottomUp : {false, true}) {
    HostDc host(6, 4, 32, bottomUp);
    const HGDIOBJ hostPen = GetCurrentObject(host.dc, OBJ_PEN);
    SetTextColor(host.dc, RGB(1, 2, 3));

    DrawContext dc = ContextFromHost(host.dc);
    ASSERT_NE(dc, nullptr);
    EXPECT_FALSE(UseSurface(dc, nullptr));  // its surface is the host's
    Brush green = MakeSolidBrush(kGreen);
    FillBox(dc, 0, 0, 6, 4, green);
    ReleaseBrush(green);
    Pen red = MakePen(1, kRed, LineCap::Flat, LineJoin::Mitre);
    UsePen(dc, red);
    ReleasePen(red);  // still selected: lives on until the context lets it go
    MoveTo(dc, 0, 0);
    DrawLineTo(dc, 6, 0);
    ASSERT_TRUE(CopyBlock(dc, 4, 2, 4, 4, source.context(), 0, 0));  // cut by the host's right edge
    SetTextColour(dc, kWhite);
    SetClipBox(dc, 0, 0, 1, 1);

    // Row 0 of the view is the top row whatever the orientation of the host's bitmap.
    const PixelView view = SurfacePixels(SelectedSurface(dc));
    ASSERT_NE(view.pixels, nullptr);
    ASSERT_EQ(view.width, 6);
    ASSERT_EQ(view.height, 4);
    for (int32_t y = 0; y < 4; ++y) {
      for (int32_t x = 0; x < 6; ++x) {
        const Rgb expected = y == 0 ? kRed : x >= 4 && y >= 2 ? kYellow : kGreen;
        EXPECT_EQ(view.pixels[y * (view.strideBytes / 4) + x], PixelWord(expected)) << x << ", " << y;
      }
    }
    ReleaseContext(dc);

    // The host's DC keeps its bitmap, pen, text colour and (absent) clip.
    EXPECT_EQ(GetCurrentObject(host.dc, OBJ_BITMAP), host.bitmap);
    EXPECT_EQ(GetCurrentObject(host.dc, OBJ_PEN), hostPen);
    EXPECT_EQ(GetTextColor(host.dc), RGB(1, 2, 3));
    HRGN clip = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetClipRgn(host.dc, clip), 0);
    DeleteObject(clip);
  }
  ReleaseBrush(yellow);

  // A host bitmap of another depth is drawn through GDI; only its pixels are not offered.
  HostDc shallow(5, 5, 16, false);
  DrawContext dc = ContextFromHost(shallow.dc);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(SurfacePixels(SelectedSurface(dc)).pixels, nullptr);
  ASSERT_TRUE(CopyBlock(dc, 0, 0, 4, 4, source.context(), 0, 0));
  ReleaseContext(dc);
  EXPECT_EQ(GetPixel(shallow.dc, 3, 3), RGB(255, 255, 0));

  // Anything that is not a memory DC gives no context.
  int notAContext = 0;
  EXPECT_EQ(ContextFromHost(nullptr), nullptr);
  EXPECT_EQ(ContextFromHost(&notAContext), nullptr);
}

}  // namespace
}  // namespace kvr::platform::testing

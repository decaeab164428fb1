// The IVSI drawn by the display code through GDI and composed into an element's device context as the
// simulator hands it: every pixel written, in the picture's own colours only, the right way up.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/display/display_test_support.h"

namespace kvr::display_test {
namespace {

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 200, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kLightBlue{99, 181, 232};
constexpr Rgb kBackground{0, 0, 16};

TEST(IvsiOnGdi, ClimbAdvisoryComposesIntoTheElementsDeviceContext) {
  // Plain (not anti-aliased), so that every pixel has exactly one of the picture's colours.
  ResetSelectors(kModeTaRa);
  FakeSource source;
  source.SetAdvisory(1500, 10000, 1500);  // red below +1500 ft/min, green from 1500 to 2000
  TrafficSource* cell = &source;
  IvsiDisplay* display = CreateIvsiDisplay(nullptr, &cell, 132, 132, false, true, 999, 1.0f);
  ASSERT_NE(display, nullptr);

  // The element's surface: a bottom-up DIB in a memory DC, every pixel first set to kUntouched.
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 132, 132, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* memory = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
  const HGDIOBJ initial = SelectObject(dc, bitmap);
  std::fill_n(static_cast<uint32_t*>(memory), 132 * 132, kUntouched);

  DrawTrafficLayer(*display);
  ComposeFrame(*display, dc, 0, 0, 0.0f, true, false);
  int32_t counts[5] = {};
  int32_t greenBottom = -1, redBottom = -1;
  for (int32_t y = 0; y < 132; ++y) {
    for (int32_t x = 0; x < 132; ++x) {
      const COLORREF p = GetPixel(dc, x, y);  // GDI's own view of the element
      const Rgb colour{GetRValue(p), GetGValue(p), GetBValue(p)};
      const Rgb kinds[5] = {kBackground, kWhite, kRed, kGreen, kLightBlue};
      for (int k = 0; k < 5; ++k) counts[k] += PixelWord(colour) == PixelWord(kinds[k]);
      if (PixelWord(colour) == PixelWord(kGreen)) greenBottom = y;
      if (PixelWord(colour) == PixelWord(kRed)) redBottom = y;
    }
  }
  // Every pixel is written, in the picture's own colours only.
  EXPECT_EQ(counts[0] + counts[1] + counts[2] + counts[3] + counts[4], 132 * 132);
  EXPECT_GT(counts[0], 132 * 132 / 2);
  EXPECT_GT(counts[1], 50);
  EXPECT_GT(counts[2], 200);
  EXPECT_GT(counts[3], 20);
  // The green sector lies at the top of the dial (12 o'clock and a little right); red runs to the bottom.
  EXPECT_LT(greenBottom, 20);
  EXPECT_GT(redBottom, 110);

  SelectObject(dc, initial);
  DeleteObject(bitmap);
  DeleteDC(dc);
  DestroyIvsiDisplay(display);
}

}  // namespace
}  // namespace kvr::display_test

// Shapes, pens, clip paths, block copies and surfaces of the drawing seam, judged by the pixels they
// leave: the ones GDI would cover, in exactly the colours drawn.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "module/gauge/panel_sdk.h"
#include "module/platform/drawing.h"
#include "tests/drawing/canvas.h"

namespace kvr::platform::testing {
namespace {

TEST(DrawingShapes, BoxesCoverGdiPixels) {
  Canvas canvas(40, 30);
  Brush red = MakeSolidBrush(kRed);
  FillBox(canvas.context(), 12, 9, 2, 3, red);  // reversed: put in order first
  ReleaseBrush(red);
  const Extent filled = canvas.ExtentOf(kRed);
  EXPECT_EQ(filled.left, 2);
  EXPECT_EQ(filled.top, 3);
  EXPECT_EQ(filled.right, 11);  // the right column and bottom row are left out
  EXPECT_EQ(filled.bottom, 8);
  EXPECT_EQ(canvas.Count(kRed), 10 * 6);

  // Rectangle: a one-pixel outline through left, right-1, top, bottom-1, filled inside.
  canvas.Pen(1, kWhite);
  canvas.Brush(kGreen);
  DrawRectangle(canvas.context(), 20, 3, 30, 9);
  const Extent outline = canvas.ExtentOf(kWhite);
  EXPECT_EQ(outline.left, 20);
  EXPECT_EQ(outline.top, 3);
  EXPECT_EQ(outline.right, 29);
  EXPECT_EQ(outline.bottom, 8);
  EXPECT_EQ(canvas.Count(kWhite), 2 * 10 + 2 * 4);
  EXPECT_EQ(canvas.Count(kGreen), 8 * 4);

  // With the null pen the fill stops one pixel short on the right and at the bottom.
  canvas.NoPen();
  DrawRectangle(canvas.context(), 2, 15, 12, 21);
  const Extent inside = canvas.ExtentOf(kGreen);
  EXPECT_EQ(inside.left, 2);
  EXPECT_EQ(inside.bottom, 19);
  EXPECT_EQ(canvas.Count(kGreen), 8 * 4 + 9 * 5);
  canvas.ExpectOnly({kRed, kWhite, kGreen});
}

TEST(DrawingShapes, PolygonIsFilledInsideItsOutline) {
  Canvas canvas(50, 24);
  canvas.Pen(1, kWhite);
  canvas.Brush(kRed);
  const Point square[] = {{5, 5}, {15, 5}, {15, 15}, {5, 15}};
  DrawPolygon(canvas.context(), square, 4);
  // The outline runs through the vertices' pixels, 11 on a side; the fill is everything inside.
  EXPECT_EQ(canvas.Count(kWhite), 4 * 11 - 4);
  EXPECT_EQ(canvas.Count(kRed), 9 * 9);
  EXPECT_EQ(canvas.At(5, 5), PixelWord(kWhite));
  EXPECT_EQ(canvas.At(15, 15), PixelWord(kWhite));
  EXPECT_EQ(canvas.At(10, 10), PixelWord(kRed));

  // A diamond of half-width 4: the outline is the ring |dx| + |dy| = 4, the fill everything nearer.
  canvas.Pen(1, kYellow);
  const Point diamond[] = {{35, 8}, {31, 12}, {35, 16}, {39, 12}};
  DrawPolygon(canvas.context(), diamond, 4);
  for (int32_t y = 6; y <= 18; ++y) {
    for (int32_t x = 29; x <= 41; ++x) {
      const int32_t distance = std::abs(x - 35) + std::abs(y - 12);
      const uint32_t expected = distance == 4 ? PixelWord(kYellow) : distance < 4 ? PixelWord(kRed) : 0;
      EXPECT_EQ(canvas.At(x, y), expected) << "at " << x << ", " << y;
    }
  }
  canvas.ExpectOnly({kRed, kWhite, kYellow});
}

// GDI fills a wide line's outline with its right and bottom edges left out, as it fills every shape: there
// a square cap reaches one pixel less beyond the end than on the left or at the top.
#ifdef _WIN32
constexpr int32_t kWideCapShortfallPx = 1;
#else
constexpr int32_t kWideCapShortfallPx = 0;
#endif

TEST(DrawingShapes, PenWidthsAndCapsGiveTheirPixels) {
  Canvas canvas(60, 80);
  const int32_t widths[] = {1, 3, 5};
  for (int32_t i = 0; i < 3; ++i) {
    const int32_t w = widths[i];
    const int32_t flatY = 8 + 12 * i;
    const int32_t squareY = 44 + 12 * i;
    canvas.Pen(w, kWhite, LineCap::Flat);
    MoveTo(canvas.context(), 10, flatY);
    DrawLineTo(canvas.context(), 30, flatY);
    canvas.Pen(w, kRed, LineCap::Square);
    MoveTo(canvas.context(), 10, squareY);
    DrawLineTo(canvas.context(), 30, squareY);

    // w rows centred on the line; a flat cap ends at the end point (which it leaves out), a square cap
    // reaches half the width beyond both ends.
    int32_t flatRows = 0, squareRows = 0;
    for (int32_t y = 0; y < canvas.height(); ++y) {
      flatRows += canvas.At(20, y) == PixelWord(kWhite) && y >= flatY - 2 && y <= flatY + 2;
      squareRows += canvas.At(20, y) == PixelWord(kRed) && y >= squareY - 2 && y <= squareY + 2;
    }
    EXPECT_EQ(flatRows, w) << "width " << w;
    EXPECT_EQ(squareRows, w) << "width " << w;
    EXPECT_EQ(canvas.At(20, flatY - w / 2), PixelWord(kWhite));
    EXPECT_EQ(canvas.At(20, flatY + w / 2), PixelWord(kWhite));
    EXPECT_EQ(canvas.At(10, flatY), PixelWord(kWhite));
    EXPECT_EQ(canvas.At(29, flatY), PixelWord(kWhite));
    EXPECT_EQ(canvas.At(30, flatY), 0u);
    EXPECT_EQ(canvas.At(10 - w / 2, squareY), PixelWord(kRed));
    const int32_t rightReach = w / 2 - (w > 1 ? kWideCapShortfallPx : 0);
    EXPECT_EQ(canvas.At(30 + rightReach, squareY), PixelWord(kRed));
    EXPECT_EQ(canvas.At(9 - w / 2, squareY), 0u);
    EXPECT_EQ(canvas.At(31 + rightReach, squareY), 0u);
  }
  canvas.ExpectOnly({kWhite, kRed});
}

TEST(DrawingShapes, ThinLinesAndDotsArePixelExact) {
  Canvas canvas(64, 40);
  // A one-pixel line lights one pixel per step along its longer axis, never two.
  canvas.Pen(1, kWhite, LineCap::Flat);
  MoveTo(canvas.context(), 0, 0);
  DrawLineTo(canvas.context(), 20, 7);
  for (int32_t x = 0; x < 20; ++x) {
    int32_t lit = 0;
    for (int32_t y = 0; y < 10; ++y) lit += canvas.At(x, y) == PixelWord(kWhite);
    EXPECT_EQ(lit, 1) << "column " << x;
  }
  EXPECT_EQ(canvas.Count(kWhite), 20);

  // A zero-length round-capped stroke is a disc the pen's width across, centred on the point.
  canvas.Pen(5, kYellow, LineCap::Round, LineJoin::Round);
  MoveTo(canvas.context(), 40, 20);
  DrawLineTo(canvas.context(), 40, 20);
  EXPECT_EQ(canvas.Count(kYellow), 21);  // 5 x 5 without the corners
  const Extent disc = canvas.ExtentOf(kYellow);
  EXPECT_EQ(disc.left, 38);
  EXPECT_EQ(disc.right, 42);
  EXPECT_EQ(disc.top, 18);
  EXPECT_EQ(disc.bottom, 22);
  canvas.Pen(1, kRed, LineCap::Round, LineJoin::Round);
  MoveTo(canvas.context(), 50, 30);
  DrawLineTo(canvas.context(), 50, 30);
  EXPECT_EQ(canvas.Count(kRed), 1);
  EXPECT_EQ(canvas.At(50, 30), PixelWord(kRed));
  canvas.Pen(3, kGreen, LineCap::Square);
  MoveTo(canvas.context(), 10, 30);
  DrawLineTo(canvas.context(), 10, 30);
  EXPECT_EQ(canvas.Count(kGreen), 9);
  canvas.ExpectOnly({kWhite, kYellow, kRed, kGreen});
}

TEST(DrawingShapes, PieRunsCounterClockwiseFromTheFirstRadial) {
  // The box (10, 10)-(50, 50); the first radial points down-right, the second up-right: counter-clockwise
  // between them is the right quadrant only. Swapped, the pie is the other three.
  for (bool swapped : {false, true}) {
    Canvas canvas(60, 60);
    canvas.NoPen();
    canvas.Brush(kRed);
    if (!swapped) {
      DrawPie(canvas.context(), 10, 10, 50, 50, 50, 50, 50, 10);
    } else {
      DrawPie(canvas.context(), 10, 10, 50, 50, 50, 10, 50, 50);
    }
    const uint32_t in = PixelWord(kRed);
    EXPECT_EQ(canvas.At(42, 30), swapped ? 0u : in);  // right
    EXPECT_EQ(canvas.At(17, 30), swapped ? in : 0u);  // left
    EXPECT_EQ(canvas.At(30, 17), swapped ? in : 0u);  // top
    EXPECT_EQ(canvas.At(30, 42), swapped ? in : 0u);  // bottom
    EXPECT_EQ(canvas.At(8, 30), 0u);                  // beyond the ellipse
    if (!swapped) {
      const Extent e = canvas.ExtentOf(kRed);
      EXPECT_GE(e.left, 28);
      EXPECT_LE(e.right, 49);
      EXPECT_NEAR(canvas.Count(kRed), 3.14159 * 19.5 * 19.5 / 4, 40);
    }
    canvas.ExpectOnly({kRed});
  }
}

TEST(DrawingClip, DiskAndRectangleMinusDiskSplitTheSurface) {
  Canvas canvas(60, 60);
  Surface other = MakeSurface(canvas.context(), 60, 60);
  Brush red = MakeSolidBrush(kRed);
  Brush green = MakeSolidBrush(kGreen);
  DrawContext dc = canvas.context();

  EXPECT_FALSE(ClipToPath(dc, ClipCombine::Copy));  // no path yet
  StartPath(dc);
  DrawEllipse(dc, 10, 10, 50, 50);
  FinishPath(dc);
  ASSERT_TRUE(ClipToPath(dc, ClipCombine::Copy));
  FillBox(dc, 0, 0, 60, 60, red);
  EXPECT_EQ(canvas.At(30, 30), PixelWord(kRed));
  EXPECT_EQ(canvas.At(30, 11), PixelWord(kRed));
  EXPECT_EQ(canvas.At(30, 8), 0u);
  EXPECT_EQ(canvas.At(13, 13), 0u);
  // Within a pixel of the circle through the box's edge pixels (radius 19.5): GDI flattens a path's
  // ellipse into a polygon inside the curve.
  const int32_t disk = canvas.Count(kRed);
  EXPECT_GT(disk, 3.14159 * 18.5 * 18.5);
  EXPECT_LT(disk, 3.14159 * 20.5 * 20.5);

  // The clip stays with the context when another surface is selected.
  ASSERT_TRUE(UseSurface(dc, other));
  FillBox(dc, 0, 0, 60, 60, red);
  PixelView view = SurfacePixels(other);
  int32_t otherRed = 0;
  for (int32_t i = 0; i < 60 * 60; ++i) otherRed += view.pixels[i] == PixelWord(kRed);
  EXPECT_EQ(otherRed, disk);
  ASSERT_TRUE(UseSurface(dc, canvas.surface()));

  // The whole surface minus the same disk: together the two fills cover every pixel exactly once.
  StartPath(dc);
  DrawRectangle(dc, 0, 0, 60, 60);
  FinishPath(dc);
  ASSERT_TRUE(ClipToPath(dc, ClipCombine::Copy));
  StartPath(dc);
  DrawEllipse(dc, 10, 10, 50, 50);
  FinishPath(dc);
  ASSERT_TRUE(ClipToPath(dc, ClipCombine::Difference));
  FillBox(dc, 0, 0, 60, 60, green);
  EXPECT_EQ(canvas.Count(kRed), disk);
  EXPECT_EQ(canvas.Count(kGreen), 60 * 60 - disk);
  EXPECT_EQ(canvas.At(0, 0), PixelWord(kGreen));
  EXPECT_EQ(canvas.At(59, 59), PixelWord(kGreen));

  // On a surface of another size the clip is found for that size: the pixels are those of the same clip
  // made on such a surface from the start.
  Canvas reference(30, 30);
  StartPath(reference.context());
  DrawRectangle(reference.context(), 0, 0, 60, 60);
  FinishPath(reference.context());
  ASSERT_TRUE(ClipToPath(reference.context(), ClipCombine::Copy));
  StartPath(reference.context());
  DrawEllipse(reference.context(), 10, 10, 50, 50);
  FinishPath(reference.context());
  ASSERT_TRUE(ClipToPath(reference.context(), ClipCombine::Difference));
  FillBox(reference.context(), 0, 0, 60, 60, green);
  Surface small = MakeSurface(dc, 30, 30);
  ASSERT_TRUE(UseSurface(dc, small));
  FillBox(dc, 0, 0, 60, 60, green);
  const PixelView smallView = SurfacePixels(small);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 30; ++x)
      ASSERT_EQ(smallView.pixels[y * smallView.strideBytes / 4 + x], reference.At(x, y)) << x << "," << y;
  ASSERT_TRUE(UseSurface(dc, canvas.surface()));
  EXPECT_TRUE(ReleaseSurface(small));

  // A clip box, then no clip at all.
  SetClipBox(dc, 0, 0, 5, 5);
  FillBox(dc, 0, 0, 60, 60, red);
  EXPECT_EQ(canvas.At(4, 4), PixelWord(kRed));
  EXPECT_EQ(canvas.At(5, 5), PixelWord(kGreen));
  ClearClip(dc);
  FillBox(dc, 0, 0, 60, 60, red);
  EXPECT_EQ(canvas.Count(kRed), 60 * 60);
  canvas.ExpectOnly({kRed, kGreen});

  ReleaseBrush(red);
  ReleaseBrush(green);
  EXPECT_FALSE(ReleaseSurface(canvas.surface()));  // still selected
  EXPECT_TRUE(ReleaseSurface(other));
}

TEST(DrawingSurfaces, PixelsAreTopDownWordsWithoutGaps) {
  EXPECT_EQ(MakeSurface(nullptr, 0, 5), nullptr);
  EXPECT_EQ(MakeSurface(nullptr, 5, -1), nullptr);
  EXPECT_EQ(MakeSurface(nullptr, 20000, 5), nullptr);
  Canvas canvas(7, 5);
  const PixelView view = SurfacePixels(canvas.surface());
  ASSERT_NE(view.pixels, nullptr);
  EXPECT_EQ(view.strideBytes, 7 * 4);
  Brush red = MakeSolidBrush(kRed);
  FillBox(canvas.context(), 6, 4, 7, 5, red);
  ReleaseBrush(red);
  EXPECT_EQ(view.pixels[4 * 7 + 6], 0x00FF0000u);  // the last pixel, with a zero top byte
  EXPECT_EQ(canvas.Count(kRed), 1);

  // Pixels written directly are what a copy reads.
  view.pixels[0] = 0x00123456;
  MarkPixelsChanged(canvas.surface());
  Canvas target(3, 3);
  ASSERT_TRUE(CopyBlock(target.context(), 1, 1, 1, 1, canvas.context(), 0, 0));
  EXPECT_EQ(target.At(1, 1), 0x00123456u);
  EXPECT_EQ(target.CountWord(0), 8);
}

#ifndef _WIN32  // a Windows host hands an HDC instead: tests/win32/drawing
TEST(DrawingSurfaces, HostSurfaceDrawsIntoTheHostsMemory) {
  constexpr int32_t kWidth = 6, kHeight = 4, kStrideWords = 8;  // two words of padding per row
  constexpr uint32_t kUntouched = 0xDEADBEEF;
  std::vector<uint32_t> memory(kStrideWords * kHeight, kUntouched);
  HostSurface host{kHostSurfaceMagic, kWidth, kHeight, kStrideWords * 4, memory.data()};

  HostSurface wrongMagic = host;
  wrongMagic.magic = 0;
  EXPECT_EQ(ContextFromHost(&wrongMagic), nullptr);
  HostSurface narrowStride = host;
  narrowStride.strideBytes = kWidth * 4 - 4;
  EXPECT_EQ(ContextFromHost(&narrowStride), nullptr);
  EXPECT_EQ(ContextFromHost(nullptr), nullptr);

  DrawContext dc = ContextFromHost(&host);
  ASSERT_NE(dc, nullptr);
  EXPECT_FALSE(UseSurface(dc, nullptr));  // its surface is the host's
  Brush green = MakeSolidBrush(kGreen);
  FillBox(dc, 0, 0, kWidth, kHeight, green);
  ReleaseBrush(green);
  ReleaseContext(dc);
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kStrideWords; ++x) {
      EXPECT_EQ(memory[y * kStrideWords + x], x < kWidth ? PixelWord(kGreen) : kUntouched) << x << ", " << y;
    }
  }
}
#endif

TEST(DrawingSurfaces, CopyBlockCopiesExactlyTheRectangle) {
  Canvas source(20, 20);
  auto word = [](int32_t x, int32_t y) { return uint32_t(0x010000 + 100 * y + x); };
  PixelView pixels = SurfacePixels(source.surface());
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) pixels.pixels[y * 20 + x] = word(x, y);
  MarkPixelsChanged(source.surface());

  Canvas target(30, 30);
  constexpr uint32_t kBackground = 0x00ABCDEF;
  PixelView back = SurfacePixels(target.surface());
  for (int32_t i = 0; i < 30 * 30; ++i) back.pixels[i] = kBackground;
  MarkPixelsChanged(target.surface());

  ASSERT_TRUE(CopyBlock(target.context(), 10, 7, 5, 4, source.context(), 2, 3));
  // Reaching beyond the source: only the 5 x 5 pixels that exist are copied.
  ASSERT_TRUE(CopyBlock(target.context(), 0, 20, 10, 10, source.context(), 15, 15));
  for (int32_t y = 0; y < 30; ++y) {
    for (int32_t x = 0; x < 30; ++x) {
      uint32_t expected = kBackground;
      if (x >= 10 && x < 15 && y >= 7 && y < 11) expected = word(x - 10 + 2, y - 7 + 3);
      if (x < 5 && y >= 20 && y < 25) expected = word(x + 15, y - 20 + 15);
      ASSERT_EQ(target.At(x, y), expected) << "at " << x << ", " << y;
    }
  }

  // Within one surface, overlapping: the block moves as a whole.
  ASSERT_TRUE(CopyBlock(source.context(), 1, 0, 10, 1, source.context(), 0, 0));
  for (int32_t x = 1; x <= 10; ++x) EXPECT_EQ(source.At(x, 0), word(x - 1, 0));
  EXPECT_EQ(source.At(0, 0), word(0, 0));

  DrawContext empty = MakeCompatibleContext(nullptr);
  EXPECT_FALSE(CopyBlock(target.context(), 0, 0, 1, 1, empty, 0, 0));
  ReleaseContext(empty);
}

// Symbols and tags are drawn again and again at other places: after the first time from stored pixels.
// Those must be the pixels a first drawing gives, at the same place under a clip and moved elsewhere.
TEST(DrawingRepeats, ASecondDrawingCoversThePixelsOfTheFirst) {
  struct Case {
    const char* name;
    std::function<void(Canvas&, int32_t, int32_t)> draw;  // at an origin
  };
  const Case cases[] = {
      {"rectangle", [](Canvas& c, int32_t x, int32_t y) { DrawRectangle(c.context(), x, y, x + 17, y + 13); }},
      {"ellipse", [](Canvas& c, int32_t x, int32_t y) { DrawEllipse(c.context(), x, y, x + 17, y + 17); }},
      {"arrow",
       [](Canvas& c, int32_t x, int32_t y) {
         const Point arrow[7] = {{x, y + 16},    {x, y + 3}, {x + 3, y + 3}, {x, y},
                                 {x - 3, y + 3}, {x, y + 3}, {x, y + 16}};
         DrawPolygon(c.context(), arrow, 7);
       }},
      {"tag outline", [](Canvas& c, int32_t x, int32_t y) { StrokeTextOutline(c.context(), x, y, "+7Q"); }},
      {"tag", [](Canvas& c, int32_t x, int32_t y) { WriteText(c.context(), x, y, "+7Q"); }},
  };
  for (const Case& test : cases) {
    Canvas canvas(120, 100);
    Font font = MakeFont({"Lucida Console", 23, 400, true});
    UseFont(canvas.context(), font);
    SetBackgroundOpaque(canvas.context(), false);
    SetTextColour(canvas.context(), kWhite);
    canvas.Pen(7, kDark);
    canvas.Brush(kYellow);
    StartPath(canvas.context());
    DrawEllipse(canvas.context(), 10, 10, 90, 90);
    FinishPath(canvas.context());
    ClipToPath(canvas.context(), ClipCombine::Copy);
    const PixelView view = SurfacePixels(canvas.surface());
    const auto snapshot = [&] { return std::vector<uint32_t>(view.pixels, view.pixels + 120 * 100); };
    const auto clear = [&] {
      std::memset(view.pixels, 0, 120 * 100 * 4);
      MarkPixelsChanged(canvas.surface());
    };
    test.draw(canvas, 70, 20);  // across the clip's edge
    const std::vector<uint32_t> first = snapshot();
    EXPECT_GT(canvas.Count(kDark) + canvas.Count(kWhite), 0) << test.name;
    for (int again = 0; again < 2; ++again) {
      clear();
      test.draw(canvas, 70, 20);
      EXPECT_EQ(snapshot(), first) << test.name << ", drawing " << again + 2;
    }
    // Moved inside the clip, the pixels move with it.
    ClearClip(canvas.context());
    clear();
    test.draw(canvas, 70, 20);
    const std::vector<uint32_t> unclipped = snapshot();
    clear();
    test.draw(canvas, 40, 50);
    for (int32_t y = 0; y < 100; ++y)
      for (int32_t x = 0; x < 120; ++x) {
        const int32_t fromX = x + 30, fromY = y - 30;
        const uint32_t expected = fromX < 120 && fromY >= 0 ? unclipped[fromY * 120 + fromX] : 0;
        ASSERT_EQ(view.pixels[y * 120 + x], expected) << test.name << " at " << x << ", " << y;
      }
    SelectDefaultObjects(canvas.context());
    ReleaseFont(font);
  }
}

// Objects are counted: a pen or brush whose owner releases it while a context has it selected keeps
// drawing until the context lets it go (a miscount frees it early, which the sanitizer build catches).
TEST(DrawingObjects, ReleasedWhileSelectedDrawsUntilReplaced) {
  Canvas canvas(16, 8);
  Pen pen = MakePen(1, kRed, LineCap::Flat, LineJoin::Mitre);
  Brush brush = MakeSolidBrush(kGreen);
  ASSERT_NE(pen, nullptr);
  ASSERT_NE(brush, nullptr);
  const Pen before = UsePen(canvas.context(), pen);
  UseBrush(canvas.context(), brush);
  ReleasePen(pen);
  ReleaseBrush(brush);
  DrawRectangle(canvas.context(), 2, 2, 8, 6);
  EXPECT_EQ(canvas.Count(kRed), 16);   // the 6 x 4 outline
  EXPECT_EQ(canvas.Count(kGreen), 8);  // the 4 x 2 inside
  EXPECT_EQ(UsePen(canvas.context(), before), pen);
  SelectDefaultObjects(canvas.context());

  // Without a context, the setters change nothing and say so.
  EXPECT_EQ(UsePen(nullptr, before), nullptr);
  EXPECT_EQ(UseFont(canvas.context(), nullptr), nullptr);
  SetTextColour(nullptr, kRed);
  SetTextAlignment(nullptr, TextAlignX::Right, TextAlignY::Bottom);
  EXPECT_EQ(SetCharacterSpacing(nullptr, 4), 0);
}

}  // namespace
}  // namespace kvr::platform::testing

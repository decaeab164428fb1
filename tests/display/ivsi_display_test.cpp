// The IVSI drawing object as built: surface and display sizes, line widths, font heights, colours, the
// needle's shape, and the face it draws before its first frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "tests/display/display_test_support.h"

// fontconfig loses a few hundred bytes while it parses its configuration, once per process; that is its
// own, so the leak check of sanitizer builds leaves it out. One definition for the whole test program.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the sanitizer's own hook name
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace kvr::display_test {
namespace {

// The cell height of a font, as the platform lays text out with it.
int32_t CellHeight(platform::Font font) {
  platform::DrawContext context = platform::MakeCompatibleContext(nullptr);
  platform::UseFont(context, font);
  const int32_t height = platform::MeasureText(context, "0").height;
  platform::ReleaseContext(context);
  return height;
}

struct Built {
  explicit Built(bool antiAliased, float fontScale = 1.0f, bool bluePlane = true, TrafficSource** cell = nullptr)
      : display(CreateIvsiDisplay(nullptr, cell, 132, 132, antiAliased, bluePlane, 999, fontScale)) {}
  ~Built() { DestroyIvsiDisplay(display); }
  IvsiDisplay* display;
};

void ExpectNeedle(const IvsiDisplay& d, int32_t half, int32_t length, int32_t head, int32_t tip) {
  const platform::Point expected[7] = {{0, -half},     {length, -half}, {length, -head}, {tip, 0},
                                       {length, head}, {length, half},  {0, half}};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(d.needleShape[i].x, expected[i].x) << "point " << i;
    EXPECT_EQ(d.needleShape[i].y, expected[i].y) << "point " << i;
  }
}

TEST(IvsiDisplaySizes, SurfaceWidthsFontsAndNeedleFollowTheDisplaySize) {
  struct Case {
    bool antiAliased;
    float fontScale;
    int32_t surface, size, line, outline, needle, font, halfWidth, arrowOffset, half, length, head, tip;
  };
  const Case cases[] = {
      {false, 1.0f, 132, 128, 1, 5, 1, 10, 4, 7, 0, 38, 4, 48},
      {true, 1.0f, 265, 257, 3, 7, 5, 20, 8, 16, 2, 77, 8, 98},  // arrow offset 3 x 3 + 8, made even
      {false, 1.5f, 132, 128, 1, 5, 1, 15, 4, 7, 0, 38, 4, 48},  // only the main font scales
  };
  for (const Case& c : cases) {
    ResetSelectors();
    Built built(c.antiAliased, c.fontScale);
    ASSERT_NE(built.display, nullptr);
    const IvsiDisplay& d = *built.display;
    SCOPED_TRACE(::testing::Message() << "aa " << c.antiAliased << " fontscale " << c.fontScale);
    EXPECT_EQ(d.surfaceWidth, c.surface);
    EXPECT_EQ(d.surfaceHeight, c.surface);
    EXPECT_EQ(d.displaySize, c.size);
    EXPECT_EQ(d.lineWidth, c.line);
    EXPECT_EQ(d.outlineWidth, c.outline);
    EXPECT_EQ(d.needleWidth, c.needle);
    EXPECT_EQ(CellHeight(d.mainFont), c.font);
    EXPECT_EQ(d.symbolHalfWidth, c.halfWidth);
    EXPECT_EQ(d.arrowOffset, c.arrowOffset);
    EXPECT_EQ(d.arrowWidth, 2 * c.line);
    ExpectNeedle(d, c.half, c.length, c.head, c.tip);
    EXPECT_EQ(d.fullBox.right, c.surface - 1);
  }
  Built plain(false);
  EXPECT_EQ(plain.display->tagOffsetBelow, 5);  // round(6.4), capped at half height + line width
  EXPECT_EQ(plain.display->tagOffsetAbove, 4);
  EXPECT_NEAR(plain.display->greenArcSpan, -0.3403392f, 1e-6f);
  EXPECT_FLOAT_EQ(plain.display->scaleBottomAngle, -0.1658063f);
  // A font scale no surface could show makes a display without a main font, not an overflowing height.
  for (const float scale : {1e30f, -1e30f, std::numeric_limits<float>::infinity(), std::nanf("")}) {
    Built absurd(true, scale);
    ASSERT_NE(absurd.display, nullptr) << scale;
    EXPECT_EQ(absurd.display->mainFont, nullptr) << scale;
  }
  // An element without pixels gives no display rather than one that cannot draw.
  EXPECT_EQ(CreateIvsiDisplay(nullptr, nullptr, 0, 132, true, true, 999, 1.0f), nullptr);
}

TEST(IvsiDisplayConstruction, FirstFaceIsDrawnSavedAndWhollyDirty) {
  ResetSelectors(kModeTaRa);
  selectors.vsiFlag = 0;
  FakeSource source;
  TrafficSource* cell = &source;
  for (bool antiAliased : {false, true}) {
    Built built(antiAliased, 1.0f, true, &cell);
    ASSERT_NE(built.display, nullptr);
    const IvsiDisplay& d = *built.display;
    EXPECT_FALSE(d.logicFailed);
    EXPECT_EQ(d.displayMode, kDisplayModeTaRa);
    EXPECT_EQ(d.drawnMode, kDisplayModeTaRa);
    EXPECT_EQ(d.drawnRangeNm, 6);
    EXPECT_EQ(d.drawnAboveBelow, 1);
    EXPECT_EQ(d.dirtyBox.left, d.fullBox.left);
    EXPECT_EQ(d.dirtyBox.bottom, d.fullBox.bottom);
    // Dial centre and radius: the middle of the surface, odd when anti-aliased; 0.39 of the display size.
    EXPECT_EQ(d.ringCentreX, antiAliased ? 133 : 66);
    EXPECT_EQ(d.ringCentreY, antiAliased ? 133 : 66);
    EXPECT_EQ(d.ringRadius, antiAliased ? 100 : 50);
    // The saved face is the face: background fill with a white scale on it.
    const platform::PixelView face = platform::SurfacePixels(d.faceLayer);
    EXPECT_EQ(std::memcmp(face.pixels, d.savedFace, static_cast<size_t>(d.pixelCount) * 4), 0);
    EXPECT_EQ(d.savedFace[0], kBackgroundPixel);
    EXPECT_EQ(FaceAt(d, 3.1415927f, 0.40f * d.displaySize), PixelWord(kWhite));  // the 0 tick at 9 o'clock
  }
}

TEST(IvsiDisplayConstruction, UnboundLogicIsAFailureNamedAfterTheVariable) {
  ResetSelectors(kModeTest);
  Built built(false);
  ASSERT_NE(built.display, nullptr);
  EXPECT_TRUE(built.display->logicFailed);
  EXPECT_STREQ(built.display->failureText, "KVR_TCAS!Logic");
  EXPECT_TRUE(built.display->drawnLogicFailed);
  // Unavailable feed: the failure text is the name the source reports.
  FakeSource source;
  source.available = false;
  source.missing = "TrafficInfo";
  TrafficSource* cell = &source;
  Built failing(false, 1.0f, true, &cell);
  ASSERT_NE(failing.display, nullptr);
  EXPECT_TRUE(failing.display->logicFailed);
  EXPECT_STREQ(failing.display->failureText, "TrafficInfo");
}

}  // namespace
}  // namespace kvr::display_test

// Frame composition judged by what reaches the gauge's surface: the needle where the scale puts it, only
// the changed region copied (at half size when anti-aliased), the face redrawn exactly when what it shows
// changes, the plain background while unpowered, and the 2:1 filter against a straightforward one.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/display/display_test_support.h"

namespace kvr::display_test {
namespace {

// One IVSI picture: a display over a fake traffic picture, composing into a 132 x 132 host surface.
struct Scene {
  explicit Scene(bool antiAliased, int32_t modeIndex = kModeTaRa) {
    ResetSelectors(modeIndex);
    selectors.vsiFlag = 0;
    display = CreateIvsiDisplay(nullptr, &cell, 132, 132, antiAliased, true, 999, 1.0f);
  }
  ~Scene() { DestroyIvsiDisplay(display); }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // A frame as the gauge runs it when the traffic layer is due: repaint it, then compose.
  void Frame(float verticalSpeedFpm, bool powered = true, bool vsiFailed = false) {
    DrawTrafficLayer(*display);
    Compose(verticalSpeedFpm, powered, vsiFailed);
  }
  void Compose(float verticalSpeedFpm, bool powered = true, bool vsiFailed = false) {
    ComposeFrame(*display, target.Context(), 0, 0, verticalSpeedFpm, powered, vsiFailed);
  }
  bool CopiedWhole() const {
    const Box written = target.Written();
    return written.left == 0 && written.top == 0 && written.right == 131 && written.bottom == 131;
  }
  void Save(const std::string& name) {
    platform::DrawContext context = platform::ContextFromHost(target.Context());
    EXPECT_TRUE(platform::WriteSurfacePng(platform::SelectedSurface(context), PicturePath(name).c_str()));
    platform::ReleaseContext(context);
  }

  FakeSource source;
  TrafficSource* cell = &source;
  IvsiDisplay* display = nullptr;
  HostTarget target{132, 132};
};

// The needle's bounding box on the surface for a vertical speed, worked out from its shape: each point
// turned by the scale angle about the surface's middle, widened to even bounds when anti-aliased.
Box NeedleBox(const IvsiDisplay& d, float verticalSpeedFpm) {
  const double angle = VerticalSpeedAngle(verticalSpeedFpm);
  Box box;
  for (const platform::Point& p : d.needleShape) {
    const int32_t x =
        d.surfaceWidth / 2 + static_cast<int32_t>(std::lround(p.x * std::cos(angle) - p.y * std::sin(angle)));
    const int32_t y =
        d.surfaceHeight / 2 - static_cast<int32_t>(std::lround(p.x * std::sin(angle) + p.y * std::cos(angle)));
    box.Grow(Box{x, y, x, y});
  }
  if (d.antiAliased) {
    box.left = static_cast<int32_t>(std::floor((box.left - 1) / 2.0)) * 2;
    box.top = static_cast<int32_t>(std::floor((box.top - 1) / 2.0)) * 2;
    box.right = static_cast<int32_t>(std::floor((box.right + 2) / 2.0)) * 2;
    box.bottom = static_cast<int32_t>(std::floor((box.bottom + 2) / 2.0)) * 2;
  }
  return box;
}

// The host pixels written by an anti-aliased composition are those the even-bounded surface box filters to.
void ExpectCopiedAtHalfSize(const Box& written, const Box& surfaceBox) {
  EXPECT_EQ(written.left, surfaceBox.left / 2);
  EXPECT_EQ(written.top, surfaceBox.top / 2);
  EXPECT_EQ(written.right, surfaceBox.right / 2 - 1);
  EXPECT_EQ(written.bottom, surfaceBox.bottom / 2 - 1);
}

TEST(ComposeFrame, NeedleFollowsTheScaleAndPlainPicturesAreCopiedWhole) {
  Scene scene(false);
  ASSERT_NE(scene.display, nullptr);
  const uint32_t white = PixelWord(kWhite);
  scene.Frame(0.0f);
  EXPECT_TRUE(scene.CopiedWhole());
  // Level flight: the needle's shaft lies left of the pivot along the middle row, nothing to its right.
  EXPECT_EQ(scene.target.At(40, 66), white);
  EXPECT_EQ(scene.target.At(30, 66), white);
  EXPECT_EQ(scene.target.At(92, 66), kBackgroundPixel);
  // 1500 ft/min: straight up; the old needle is gone. Without anti-aliasing all is copied every time.
  scene.target.Reset();
  scene.Compose(1500.0f);
  EXPECT_TRUE(scene.CopiedWhole());
  EXPECT_EQ(scene.target.At(66, 40), white);
  EXPECT_EQ(scene.target.At(40, 66), kBackgroundPixel);
  // -1500 ft/min: straight down (the own aircraft lies over the needle further down).
  scene.Compose(-1500.0f);
  EXPECT_EQ(scene.target.At(66, 80), white);
  EXPECT_EQ(scene.target.At(66, 40), kBackgroundPixel);
}

TEST(ComposeFrame, AntiAliasedNeedleMoveCopiesOnlyOldAndNewNeedleAtHalfSize) {
  Scene scene(true);
  ASSERT_NE(scene.display, nullptr);
  scene.Frame(0.0f);
  EXPECT_TRUE(scene.CopiedWhole());  // the first frame carries the whole face
  scene.Compose(0.0f);

  scene.target.Reset();
  scene.Compose(1000.0f);
  Box changed = NeedleBox(*scene.display, 0.0f);
  changed.Grow(NeedleBox(*scene.display, 1000.0f));
  const Box written = scene.target.Written();
  ExpectCopiedAtHalfSize(written, changed);
  // Inside the box every pixel was written; outside it none was.
  int32_t outsideWritten = 0, insideUntouched = 0;
  for (int32_t y = 0; y < 132; ++y) {
    for (int32_t x = 0; x < 132; ++x) {
      const bool inside = x >= written.left && x <= written.right && y >= written.top && y <= written.bottom;
      const bool touched = scene.target.At(x, y) != kUntouched;
      outsideWritten += !inside && touched;
      insideUntouched += inside && !touched;
    }
  }
  EXPECT_EQ(outsideWritten, 0);
  EXPECT_EQ(insideUntouched, 0);
  // The filtered needle is white along its middle: 1000 ft/min points up and left of the pivot.
  const double angle = VerticalSpeedAngle(1000.0f);
  const int32_t x = 66 + static_cast<int32_t>(std::lround(20 * std::cos(angle)));
  const int32_t y = 66 - static_cast<int32_t>(std::lround(20 * std::sin(angle)));
  EXPECT_EQ(scene.target.At(x, y), PixelWord(kWhite));

  // The same speed again: only that needle is restored and copied.
  scene.target.Reset();
  scene.Compose(1000.0f);
  const Box again = scene.target.Written();
  const Box needle = NeedleBox(*scene.display, 1000.0f);
  EXPECT_EQ(again.left, needle.left / 2);
  EXPECT_EQ(again.bottom, needle.bottom / 2 - 1);
}

// Needles shown again and again, over the same traffic or after it was repainted, reach the panel
// exactly as a display composing its very first frame at that speed shows them.
TEST(ComposeFrame, RepeatedAntiAliasedNeedlesMatchAFreshComposition) {
  std::vector<float> speeds;
  speeds.reserve(150);
  for (int i = 0; i < 150; ++i) speeds.push_back(-6700.0f + 90.0f * static_cast<float>(i));
  std::vector<std::vector<uint32_t>> expected;
  for (float speed : speeds) {
    Scene fresh(true);
    fresh.Frame(speed);
    expected.push_back(fresh.target.pixels);
  }
  Scene scene(true);
  ASSERT_NE(scene.display, nullptr);
  scene.Frame(0.0f);
  const auto expectShown = [&](size_t i, const char* pass) {
    scene.Compose(speeds[i]);
    EXPECT_EQ(scene.target.pixels, expected[i]) << pass << ", speed " << speeds[i];
  };
  // A needle is noted when first shown, kept when shown again, and reused from then on.
  for (const char* pass : {"first sweep", "second sweep", "third sweep"})
    for (size_t i = 0; i < speeds.size(); ++i) expectShown(i, pass);
  scene.Frame(speeds.back());  // the traffic repainted: every kept needle is stale
  for (size_t i = 0; i < speeds.size(); ++i)
    for (const char* pass : {"after the repaint", "shown again", "shown a third time"}) expectShown(i, pass);
}

TEST(ComposeFrame, WhatCouldNotBeCopiedIsCopiedByTheNextComposition) {
  Scene scene(true);
  ASSERT_NE(scene.display, nullptr);
  scene.Frame(0.0f);
  scene.Compose(0.0f);
  ComposeFrame(*scene.display, nullptr, 0, 0, 1000.0f, true, false);  // the host gave no surface

  scene.target.Reset();
  scene.Compose(1000.0f);
  Box changed = NeedleBox(*scene.display, 0.0f);  // the old needle is still on the panel
  changed.Grow(NeedleBox(*scene.display, 1000.0f));
  ExpectCopiedAtHalfSize(scene.target.Written(), changed);
}

TEST(ComposeFrame, FaceIsRedrawnExactlyWhenWhatItShowsChanges) {
  struct Change {
    const char* what;
    std::function<void(Scene&)> apply;
    bool powered, vsiFailed;
    int compositionThatRedraws;  // 0: none within two
  };
  const std::vector<Change> changes = {
      {"nothing", [](Scene&) {}, true, false, 0},
      {"above/below", [](Scene&) { selectors.aboveBelow = 0; }, true, false, 1},
      {"altitude readout", [](Scene& s) { selectors.absoluteRelative = 0, s.source.ownPressureAltitudeFt = 12000; },
       true, false, 1},
      {"altitude within the same hundred", [](Scene& s) { s.source.ownPressureAltitudeFt = 40; }, true, false, 0},
      {"power", [](Scene&) {}, false, false, 1},
      {"vertical speed flag", [](Scene&) {}, true, true, 1},
      {"feed lost", [](Scene& s) { s.source.available = false; }, true, false, 1},
      // Range, mode and advisory are taken after the test: the next composition redraws for them.
      {"range", [](Scene&) { selectors.rangeIndex = 2; }, true, false, 2},
      {"mode", [](Scene& s) { s.source.advisory.modeStatus = static_cast<int32_t>(OperatingMode::TaOnly); }, true,
       false, 2},
      {"advisory", [](Scene& s) { s.source.SetAdvisory(1500, 10000, 1500); }, true, false, 2},
  };
  for (const Change& change : changes) {
    Scene scene(true);
    ASSERT_NE(scene.display, nullptr);
    scene.Frame(0.0f);
    scene.Compose(0.0f);
    change.apply(scene);
    int redrawnAt = 0;
    for (int composition = 1; composition <= 2 && redrawnAt == 0; ++composition) {
      scene.target.Reset();
      scene.Compose(0.0f, change.powered, change.vsiFailed);
      if (scene.CopiedWhole()) redrawnAt = composition;
    }
    EXPECT_EQ(redrawnAt, change.compositionThatRedraws) << change.what;
  }
}

TEST(ComposeFrame, UnpoweredPictureIsThePlainBackgroundUntilPowerReturns) {
  for (bool antiAliased : {false, true}) {
    Scene scene(antiAliased);
    ASSERT_NE(scene.display, nullptr);
    scene.Frame(0.0f);
    scene.Compose(0.0f, false);
    EXPECT_EQ(scene.target.Count(kBackgroundPixel), 132 * 132) << antiAliased;
    // Nothing changes while it stays off: nothing more is copied when anti-aliased.
    scene.target.Reset();
    scene.Compose(0.0f, false);
    if (antiAliased) {
      EXPECT_TRUE(scene.target.Written().Empty());
    }
    // Power back: dial, needle and own aircraft again.
    scene.Frame(0.0f, true);
    EXPECT_TRUE(scene.CopiedWhole());
    EXPECT_GT(scene.target.Count(PixelWord(kWhite)), 100) << antiAliased;
    EXPECT_EQ(scene.target.At(40, 66), PixelWord(kWhite)) << antiAliased;
  }
}

TEST(ComposeFrame, TestModeHidesTheNeedleAtOnceAndRedrawsTheFaceNext) {
  Scene scene(false);
  ASSERT_NE(scene.display, nullptr);
  scene.Frame(0.0f);
  ASSERT_EQ(scene.target.At(40, 66), PixelWord(kWhite));
  selectors.modeIndex = kModeTest;
  scene.Compose(0.0f);
  EXPECT_EQ(scene.target.At(40, 66), kBackgroundPixel);
  EXPECT_EQ(scene.display->drawnMode, kDisplayModeTaRa);
  scene.Compose(0.0f);
  EXPECT_EQ(scene.display->drawnMode, kDisplayModeTest);
  // The whole scale red in the test: just outside the dial, between the marks of -200 and -300 ft/min.
  const float angle = VerticalSpeedAngle(-250.0f);
  EXPECT_EQ(scene.target.At(66 + static_cast<int32_t>(std::lround(52 * std::cos(angle))),
                            66 - static_cast<int32_t>(std::lround(52 * std::sin(angle)))),
            PixelWord(kRed));
}

TEST(ComposeFrame, LostFeedRemovesTrafficAndOwnAircraftButNotTheNeedle) {
  Scene scene(false);
  ASSERT_NE(scene.display, nullptr);
  scene.source.Add(ThreatClass::TrafficAdvisory, 2.0f, 0.5f, 300.0f, 1);
  scene.Frame(0.0f);
  const platform::Point own = scene.display->ownPoint;
  auto countNear = [&](platform::Point at, Rgb colour) {
    int32_t n = 0;
    for (int32_t y = at.y - 8; y <= at.y + 8; ++y)
      for (int32_t x = at.x - 8; x <= at.x + 8; ++x) n += scene.target.At(x, y) == PixelWord(colour);
    return n;
  };
  EXPECT_GT(countNear(own, kLightBlue), 5);
  const int32_t yellowBefore = scene.target.Count(PixelWord(kYellow));
  EXPECT_GT(yellowBefore, 10);

  scene.source.available = false;
  scene.Frame(0.0f);
  EXPECT_EQ(countNear(own, kLightBlue), 0);
  EXPECT_EQ(scene.target.At(40, 66), PixelWord(kWhite));  // the needle stays
  // The yellow left is the "TCAS" flag in place of the range, not the traffic advisory.
  const Box flag{66 + 32 - 20, 66 - 12, 66 + 32 + 20, 66 + 12};
  int32_t yellowOutsideFlag = 0;
  for (int32_t y = 0; y < 132; ++y)
    for (int32_t x = 0; x < 132; ++x)
      if (scene.target.At(x, y) == PixelWord(kYellow) &&
          !(x >= flag.left && x <= flag.right && y >= flag.top && y <= flag.bottom))
        ++yellowOutsideFlag;
  EXPECT_EQ(yellowOutsideFlag, 0);
}

TEST(ComposeFrame, OutOfRangeIndexIsStoredBackAsTheLastRange) {
  Scene scene(false);
  ASSERT_NE(scene.display, nullptr);
  selectors.rangeIndex = 7;
  scene.Frame(0.0f);
  EXPECT_EQ(selectors.rangeIndex, 4);
  EXPECT_EQ(selectedRangeNm, 40.0f);
  selectors.rangeIndex = -3;
  scene.Compose(0.0f);
  EXPECT_EQ(selectors.rangeIndex, 0);
  EXPECT_EQ(selectedRangeNm, 6.0f);
}

// ---- The 2:1 filter ------------------------------------------------------------------------------------

// Each channel on its own, term by term as the filter's definition gives it.
uint32_t ReferencePixel(const std::vector<uint32_t>& in, int32_t width, int32_t outX, int32_t outY) {
  const int32_t cx = 2 * outX + 1, cy = 2 * outY + 1;
  uint32_t out = 0;
  for (int shift : {16, 8, 0}) {
    auto channel = [&](int32_t x, int32_t y) { return (in[static_cast<size_t>(y) * width + x] >> shift) & 0xFFu; };
    auto outer = [&](int32_t y) {
      return (channel(cx, y) >> 3) + (channel(cx - 1, y) >> 4) + (channel(cx + 1, y) >> 4);
    };
    const uint32_t middle = (channel(cx, cy) >> 2) + (channel(cx - 1, cy) >> 3) + (channel(cx + 1, cy) >> 3);
    const uint32_t v = outer(cy - 1) + middle + outer(cy + 1);
    out |= (v + ((v >> 5) & 7) + ((v >> 7) & 1)) << shift;
  }
  return out;
}

class Downsample : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSelectors(kModeStandby);
    display = CreateIvsiDisplay(nullptr, nullptr, 132, 132, true, true, 999, 1.0f);
    ASSERT_NE(display, nullptr);
  }
  void TearDown() override { DestroyIvsiDisplay(display); }

  uint32_t* Face() const { return platform::SurfacePixels(display->faceLayer).pixels; }
  void Fill(const std::function<uint32_t(int32_t, int32_t)>& value) {
    uint32_t* face = Face();
    for (int32_t y = 0; y < display->surfaceHeight; ++y)
      for (int32_t x = 0; x < display->surfaceWidth; ++x) face[y * display->surfaceWidth + x] = value(x, y);
    platform::MarkPixelsChanged(display->faceLayer);
  }

  IvsiDisplay* display = nullptr;
};

TEST_F(Downsample, WhiteStaysWhiteAndBackgroundStaysBackground) {
  for (uint32_t word : {0x00FFFFFFu, kBackgroundPixel, 0x00FF0000u}) {
    Fill([&](int32_t, int32_t) { return word; });
    DownsampleRegion(*display, Box{0, 0, 2, 2});  // one 3 x 3 block
    EXPECT_EQ(Face()[0], word);
    Fill([&](int32_t, int32_t) { return word; });
    DownsampleRegion(*display, display->fullBox);
    for (int32_t y = 0; y < 132; ++y)
      for (int32_t x = 0; x < 132; ++x) ASSERT_EQ(Face()[y * 265 + x], word) << x << ", " << y;
  }
}

TEST_F(Downsample, InPlaceResultMatchesAStraightforwardFilterOnRandomPictures) {
  std::mt19937 random(20240611);
  const Box boxes[] = {display->fullBox, Box{0, 0, 10, 6}, Box{40, 58, 120, 100}, Box{2, 130, 264, 264},
                       Box{100, 0, 102, 264}};
  for (const Box& box : boxes) {
    Fill([&](int32_t, int32_t) { return static_cast<uint32_t>(random()) & 0x00FFFFFFu; });
    const std::vector<uint32_t> input(Face(), Face() + 265 * 265);
    DownsampleRegion(*display, box);
    const int32_t outWidth = (box.right - box.left) / 2, outHeight = (box.bottom - box.top) / 2;
    int32_t mismatches = 0, farFromMean = 0;
    for (int32_t j = 0; j < outHeight; ++j) {
      for (int32_t i = 0; i < outWidth; ++i) {
        const int32_t outX = box.left / 2 + i, outY = box.top / 2 + j;
        const uint32_t got = Face()[outY * 265 + outX];
        mismatches += got != ReferencePixel(input, 265, outX, outY);
        // And the definition is a 1-2-1 weighted mean to within a few levels.
        for (int shift : {16, 8, 0}) {
          double mean = 0;
          const double weights[3] = {1, 2, 1};
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
              mean += weights[dx + 1] * weights[dy + 1] *
                      ((input[(2 * outY + 1 + dy) * 265 + 2 * outX + 1 + dx] >> shift) & 0xFF);
          farFromMean += std::fabs(mean / 16 - ((got >> shift) & 0xFF)) > 9.0;
        }
      }
    }
    EXPECT_EQ(mismatches, 0) << box.left << "," << box.top;
    EXPECT_EQ(farFromMean, 0) << box.left << "," << box.top;
  }
}

// ---- Pictures for review ---------------------------------------------------------------------------------

TEST(ComposeFramePictures, ClimbDescentTestStandbyAndFailuresAreWrittenForReview) {
  struct Picture {
    const char* name;
    int32_t modeIndex;
    bool antiAliased;
    std::function<void(Scene&)> setUp;
    float speedFpm;
    bool vsiFailed;
  };
  const std::vector<Picture> pictures = {
      {"ivsi_climb_ra", kModeTaRa, true,
       [](Scene& s) {
         s.source.SetAdvisory(1500, 10000, 1500);
         s.source.Add(ThreatClass::OtherTraffic, 4.0f, -0.8f, 2400.0f);
         s.source.Add(ThreatClass::ProximateTraffic, 3.0f, 2.2f, -900.0f, -1);
         s.source.Add(ThreatClass::TrafficAdvisory, 2.5f, 0.9f, 700.0f, 1);
         s.source.Add(ThreatClass::ResolutionAdvisory, 1.5f, -0.3f, -400.0f, 1);
         s.source.raCount = 0;  // show the other traffic too
       },
       800.0f, false},
      {"ivsi_descent_ra", kModeTaRa, true, [](Scene& s) { s.source.SetAdvisory(-10000, -1500, -1500); }, -1200.0f,
       false},
      {"ivsi_test", kModeTest, true, [](Scene&) {}, 0.0f, false},
      {"ivsi_standby", kModeStandby, true, [](Scene&) {}, 300.0f, false},
      {"ivsi_feed_lost_test", kModeTest, true, [](Scene& s) { s.source.available = false; }, 0.0f, false},
      {"ivsi_feed_lost_ta", kModeTaOnly, true, [](Scene& s) { s.source.available = false; }, 0.0f, false},
      {"ivsi_vs_failed_ra", kModeTaRa, true, [](Scene&) {}, 0.0f, true},
      {"ivsi_plain_ta", kModeTaOnly, false,
       [](Scene& s) {
         s.source.advisory.modeStatus = static_cast<int32_t>(OperatingMode::TaOnly);
         s.source.Add(ThreatClass::TrafficAdvisory, 2.5f, 0.9f, 700.0f, 1);
         selectors.absoluteRelative = 0;
         s.source.ownPressureAltitudeFt = 8500;
       },
       2600.0f, false},
  };
  // A sheet of every picture at three times its size, for looking at.
  constexpr int32_t kScale = 3, kCell = 132 * kScale + 8, kColumns = 4;
  platform::Surface sheet = platform::MakeSurface(nullptr, kCell * kColumns, kCell * 2);
  const platform::PixelView sheetPixels = platform::SurfacePixels(sheet);
  int32_t index = 0;
  for (const Picture& picture : pictures) {
    Scene scene(picture.antiAliased, picture.modeIndex);
    ASSERT_NE(scene.display, nullptr);
    picture.setUp(scene);
    // Two frames: the second shows what the first composition took in.
    scene.Frame(picture.speedFpm, true, picture.vsiFailed);
    scene.Frame(picture.speedFpm, true, picture.vsiFailed);
    scene.Save(picture.name);
    const int32_t left = (index % kColumns) * kCell, top = (index / kColumns) * kCell;
    for (int32_t y = 0; y < 132 * kScale; ++y)
      for (int32_t x = 0; x < 132 * kScale; ++x)
        sheetPixels.pixels[(top + y) * sheetPixels.width + left + x] = scene.target.At(x / kScale, y / kScale);
    ++index;
    // Every picture is a dial: white scale marks and numbers.
    EXPECT_GT(scene.target.Count(PixelWord(kWhite)), 50) << picture.name;
  }
  platform::MarkPixelsChanged(sheet);
  EXPECT_TRUE(platform::WriteSurfacePng(sheet, PicturePath("ivsi_review_sheet").c_str()));
  platform::ReleaseSurface(sheet);
}

}  // namespace
}  // namespace kvr::display_test

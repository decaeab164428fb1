// The IVSI traffic layer drawn for real: symbols, tags, arrows, the own aircraft and the range dots,
// judged by the pixels they leave at positions computed from the dial's geometry.
#include <limits>
#include <numbers>

#include "tests/display/display_test_support.h"

namespace kvr::display_test {
namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr Rgb kTraffic = kLightBlue;  // "blueplane" off: traffic light blue, own aircraft white

class TrafficLayer : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ResetSelectors();
    display = CreateIvsiDisplay(nullptr, &cell, 132, 132, GetParam(), false, 27, 1.0f);
    ASSERT_NE(display, nullptr);
    display->displayMode = kDisplayModeTaRa;
  }
  void TearDown() override { DestroyIvsiDisplay(display); }

  void Draw() { DrawTrafficLayer(*display); }
  uint32_t At(int32_t x, int32_t y) const { return PixelOf(display->trafficLayer, x, y); }
  int32_t Count(Rgb colour) const {
    int32_t n = 0;
    for (int32_t y = 0; y < display->surfaceHeight; ++y)
      for (int32_t x = 0; x < display->surfaceWidth; ++x) n += At(x, y) == PixelWord(colour);
    return n;
  }

  // Where the picture puts an intruder: the own aircraft sits half a radius below the dial centre (an
  // even offset anti-aliased), and the top of the dial, less a pixel's margin (two anti-aliased), is the
  // selected range ahead of it.
  platform::Point Place(float rangeNm, float bearingRad, float selectedNm = 6.0f) const {
    const bool aa = GetParam();
    const int32_t ox = display->ringCentreX;
    const int32_t oy =
        display->ringCentreY + (static_cast<int32_t>(std::lround(display->ringRadius / 2.0)) & (aa ? ~1 : ~0));
    const double pixelsPerNm = (oy - display->ringCentreY + display->ringRadius - (aa ? 2 : 1)) / selectedNm;
    return {ox + static_cast<int32_t>(std::lround(std::sin(bearingRad) * rangeNm * pixelsPerNm)),
            oy - static_cast<int32_t>(std::lround(std::cos(bearingRad) * rangeNm * pixelsPerNm))};
  }

  // The tag's pixels, clear of the symbol's rim, are exactly those of `text` written alone at the anchor.
  void ExpectTag(platform::Point at, const char* text, bool above, Rgb colour) const {
    const IvsiDisplay& d = *display;
    platform::DrawContext context = platform::MakeCompatibleContext(nullptr);
    platform::Surface alone = platform::MakeSurface(context, d.surfaceWidth, d.surfaceHeight);
    platform::UseSurface(context, alone);
    platform::UseFont(context, d.mainFont);
    platform::SetTextColour(context, colour);
    platform::SetBackgroundOpaque(context, false);
    platform::SetTextAlignment(context, platform::TextAlignX::Centre,
                               above ? platform::TextAlignY::Bottom : platform::TextAlignY::Top);
    platform::WriteText(context, at.x, above ? at.y - d.tagOffsetAbove : at.y + d.tagOffsetBelow, text);
    const int32_t rim = d.symbolHalfHeight + d.outlineWidth + 1;  // with the mitres of arrowheads
    int32_t lit = 0, mismatches = 0;
    for (int32_t y = 0; y < d.surfaceHeight; ++y) {
      if (above ? y > at.y - rim : y < at.y + rim) continue;
      for (int32_t x = 0; x < d.surfaceWidth; ++x) {
        const bool wanted = PixelOf(alone, x, y) == PixelWord(colour);
        lit += wanted;
        mismatches += wanted != (At(x, y) == PixelWord(colour));
      }
    }
    EXPECT_GT(lit, 4) << text;
    EXPECT_EQ(mismatches, 0) << "tag " << text << (above ? " above" : " below");
    platform::SelectDefaultObjects(context);
    platform::ReleaseSurface(alone);
    platform::ReleaseContext(context);
  }

  FakeSource source;
  TrafficSource* cell = &source;
  IvsiDisplay* display = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Resolutions, TrafficLayer, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "AntiAliased" : "Plain"; });

TEST_P(TrafficLayer, EachThreatClassPaintsItsSymbolWhereThePictureSaysAndTheBoxHoldsItAll) {
  source.Add(ThreatClass::OtherTraffic, 2.5f, -kPi / 2, 400.0f);
  source.Add(ThreatClass::ProximateTraffic, 2.5f, kPi / 2, -300.0f);
  source.Add(ThreatClass::TrafficAdvisory, 3.0f, 0.0f, 200.0f, +1);
  source.Add(ThreatClass::ResolutionAdvisory, 1.0f, kPi, -100.0f, -1);
  source.raCount = 0;  // other traffic would be hidden while an RA is counted
  display->dirtyBox = Box{};
  Draw();

  EXPECT_EQ(display->ownPoint.x, display->ringCentreX);
  EXPECT_EQ(display->ownPoint.y, display->ringCentreY + (GetParam() ? 50 : 25));
  const platform::Point other = Place(2.5f, -kPi / 2), proximate = Place(2.5f, kPi / 2);
  const platform::Point advisory = Place(3.0f, 0.0f), resolution = Place(1.0f, kPi);
  const int32_t hh = display->symbolHalfHeight;
  EXPECT_EQ(At(other.x, other.y - hh), PixelWord(kTraffic));  // a hollow diamond: colour on its rim
  EXPECT_NE(At(other.x, other.y), PixelWord(kTraffic));       // and not filled
  EXPECT_EQ(At(proximate.x, proximate.y), PixelWord(kTraffic));
  EXPECT_EQ(At(advisory.x, advisory.y), PixelWord(kYellow));
  EXPECT_EQ(At(resolution.x + hh / 2 + 1, resolution.y - hh / 2 - 1), PixelWord(kRed));  // under the tail
  // Trend arrows right of the TA (head up) and the RA (head down), in the symbol's colour.
  const int32_t arrowX = advisory.x + display->arrowOffset;
  EXPECT_EQ(At(arrowX, advisory.y - hh + 1), PixelWord(kYellow));
  EXPECT_EQ(At(arrowX, advisory.y + hh - 1), PixelWord(kYellow));
  EXPECT_EQ(At(arrowX, resolution.y + hh - 1), PixelWord(kRed));

  // trafficBox is the ink's extent, widened to even bounds anti-aliased; dirtyBox holds it.
  Box ink;
  for (int32_t y = 0; y < display->surfaceHeight; ++y)
    for (int32_t x = 0; x < display->surfaceWidth; ++x)
      if (At(x, y) != 0) ink.Grow(Box{x, y, x, y});
  const Box& box = display->trafficBox;
  const int32_t slack = GetParam() ? 2 : 0;
  for (auto [bound, inked] : {std::pair{box.left, ink.left}, {box.top, ink.top}}) {
    EXPECT_TRUE(bound <= inked && bound >= inked - slack && bound % (slack ? 2 : 1) == 0);
  }
  for (auto [bound, inked] : {std::pair{box.right, ink.right}, {box.bottom, ink.bottom}}) {
    EXPECT_TRUE(bound >= inked && bound <= inked + slack && bound % (slack ? 2 : 1) == 0);
  }
  EXPECT_TRUE(display->dirtyBox.left == box.left && display->dirtyBox.bottom == box.bottom);
}

TEST_P(TrafficLayer, TagsGiveHundredsOfFeetAboveOrBelowTheSymbol) {
  struct Case {
    float relativeFt;
    int32_t absoluteRelative;
    float ownFt;
    const char* tag;
    bool above;
  };
  const Case cases[] = {{-49.0f, 1, 0.0f, "00", true},      {-50.0f, 1, 0.0f, "-01", false},
                        {12000.0f, 1, 0.0f, "+99", true},   {-12000.0f, 1, 0.0f, "-99", false},
                        {-500.0f, 0, 300.0f, "000", false}, {740.0f, 0, 34950.0f, "357", true}};
  for (const Case& c : cases) {
    source.entries.clear();
    source.Add(ThreatClass::ProximateTraffic, 4.0f, -0.4f, c.relativeFt);  // clear of the own aircraft
    source.ownPressureAltitudeFt = c.ownFt;
    selectors.absoluteRelative = c.absoluteRelative;
    Draw();
    ExpectTag(Place(4.0f, -0.4f), c.tag, c.above, kTraffic);
  }
}

TEST_P(TrafficLayer, AdvisoriesBeyondTheDialSitOnItsEdgeOnTheirBearingOtherTrafficIsDropped) {
  source.Add(ThreatClass::TrafficAdvisory, 30.0f, 0.0f, 0.0f);
  source.Add(ThreatClass::ProximateTraffic, 30.0f, 0.0f, 0.0f);
  source.Add(ThreatClass::ResolutionAdvisory, 1.0e9f, kPi / 4, 0.0f);  // far beyond any 32-bit square
  Draw();
  const int32_t cx = display->ringCentreX, cy = display->ringCentreY, r = display->ringRadius;
  EXPECT_EQ(At(cx, cy - r + 1), PixelWord(kYellow));  // straight ahead, its inner half inside the clip
  EXPECT_EQ(At(cx, cy - r - 2), 0u);
  EXPECT_EQ(Count(kTraffic), 0);
  // The RA lies where the 45-degree ray from the own aircraft leaves the dial.
  const double e = display->ownPoint.y - cy, half = std::sqrt(0.5);
  const double reach = e * half + std::sqrt(r * r - e * e / 2);  // |own + reach (half, -half) - centre| = r
  const int32_t x = display->ownPoint.x + static_cast<int32_t>(std::lround(reach * half));
  const int32_t y = display->ownPoint.y - static_cast<int32_t>(std::lround(reach * half));
  EXPECT_EQ(At(x - 2, y + 2), PixelWord(kRed)) << x << "," << y;
}

TEST_P(TrafficLayer, OtherTrafficKeepsToItsBandAndGivesWayToResolutionAdvisories) {
  // normalBand is 27 hundreds: other traffic 3,000 ft above shows only with the "above" window.
  source.Add(ThreatClass::OtherTraffic, 2.5f, kPi / 2, 3000.0f);
  source.Add(ThreatClass::ProximateTraffic, 2.5f, -kPi / 2, 3000.0f);
  const platform::Point other = Place(2.5f, kPi / 2), proximate = Place(2.5f, -kPi / 2);
  const int32_t hh = display->symbolHalfHeight;
  for (int32_t window : {1, 2, 0}) {
    selectors.aboveBelow = window;
    Draw();
    EXPECT_EQ(At(other.x, other.y - hh) == PixelWord(kTraffic), window == 0) << window;
    EXPECT_EQ(At(proximate.x, proximate.y), PixelWord(kTraffic)) << window;
  }
  source.Add(ThreatClass::ResolutionAdvisory, 30.0f, kPi, 0.0f);  // raCount 1, far behind
  Draw();
  EXPECT_EQ(At(other.x, other.y - hh), 0u);
  EXPECT_EQ(At(proximate.x, proximate.y), PixelWord(kTraffic));
}

TEST_P(TrafficLayer, UnusedEntriesAreSkippedAndLaterEntriesCoverEarlierOnes) {
  auto picture = [this](bool withUnused) {
    source.entries.clear();
    if (withUnused) {
      source.Add(ThreatClass::ResolutionAdvisory, 3.0f, 0.0f, 0.0f);
      source.entries.back().id = 0;
      source.Add(ThreatClass::ResolutionAdvisory, 3.0f, 0.0f, 0.0f);
      source.entries.back().valid = 0;
      source.Add(ThreatClass::ResolutionAdvisory, std::nanf(""), 0.0f, 0.0f);
      source.Add(ThreatClass::TrafficAdvisory, 1.0f, std::numeric_limits<float>::infinity(), 0.0f);
      source.Add(static_cast<ThreatClass>(5), 3.0f, kPi / 4, 0.0f);
    }
    source.Add(ThreatClass::TrafficAdvisory, 2.5f, kPi / 2, 0.0f);
    source.Add(ThreatClass::ResolutionAdvisory, 2.5f, kPi / 2, 0.0f);
    source.Add(ThreatClass::ResolutionAdvisory, 2.5f, -kPi / 2, 0.0f);
    source.Add(ThreatClass::TrafficAdvisory, 2.5f, -kPi / 2, 0.0f);
  };
  picture(false);
  Draw();
  const platform::Point right = Place(2.5f, kPi / 2), left = Place(2.5f, -kPi / 2);
  EXPECT_EQ(At(right.x, right.y), PixelWord(kRed));
  EXPECT_EQ(At(left.x, left.y), PixelWord(kYellow));
  const platform::PixelView view = platform::SurfacePixels(display->trafficLayer);
  const std::vector<uint32_t> expected(view.pixels, view.pixels + display->pixelCount);
  picture(true);
  Draw();
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), platform::SurfacePixels(display->trafficLayer).pixels));
}

TEST_P(TrafficLayer, OwnAircraftAndRangeDotsFollowTheSelectedRange) {
  const int32_t ox = display->ringCentreX;
  auto inside = [this](platform::Point p) {
    return std::hypot(p.x - display->ringCentreX, p.y - display->ringCentreY) < display->ringRadius - 2;
  };
  for (float rangeNm : {6.0f, 12.0f}) {
    selectedRangeNm = rangeNm;
    Draw();
    const int32_t oy = display->ownPoint.y;
    const platform::Point tail = Place(1.0f, kPi, rangeNm), nose = Place(0.3f, 0.0f, rangeNm);
    const platform::Point wing = Place(0.7f, kPi / 2, rangeNm);
    EXPECT_EQ(At(ox, tail.y - 1), PixelWord(kWhite));
    EXPECT_EQ(At(ox, nose.y + 1), PixelWord(kWhite));
    EXPECT_EQ(At(wing.x - 1, oy), PixelWord(kWhite));
    EXPECT_EQ(At(ox + (wing.x - ox) * 2, oy), 0u);
    int32_t dots2 = 0, inside2 = 0, dots5 = 0, inside5 = 0;
    for (int k = 0; k < 12; ++k) {
      const float bearing = kPi / 2 - k * kPi / 6;  // the dots go counter-clockwise from 3 o'clock
      const platform::Point two = Place(2.0f, bearing, rangeNm), five = Place(5.0f, bearing, rangeNm);
      if (inside(two)) ++inside2, dots2 += At(two.x, two.y) == PixelWord(kWhite);
      if (inside(five)) ++inside5, dots5 += At(five.x, five.y) == PixelWord(kWhite);
    }
    EXPECT_GE(inside2, 11);
    EXPECT_GT(inside5, rangeNm > 6.0f ? 6 : 0);  // at 6 miles most of the 5-mile ring is off the dial
    EXPECT_EQ(dots2, inside2) << rangeNm;
    EXPECT_EQ(dots5, rangeNm > 6.0f ? inside5 : 0) << rangeNm;
  }
}

TEST_P(TrafficLayer, TestModeShowsItsPatternOnTheSixMileScaleWhateverThePicture) {
  display->displayMode = kDisplayModeTest;
  selectedRangeNm = 40.0f;
  source.Add(ThreatClass::ResolutionAdvisory, 10.0f, 0.0f, 0.0f);
  Draw();
  // Two and three miles on the 6-mile scale; anti-aliased, every test symbol sits on odd coordinates.
  const platform::Point own = display->ownPoint;
  const int32_t two = Place(2.0f, kPi / 2).x - own.x, three = own.y - Place(3.0f, 0.0f).y;
  const int32_t odd = GetParam() ? 1 : 0, hh = display->symbolHalfHeight;
  const int32_t left = (own.x - two) | odd, right = (own.x + two) | odd;
  const int32_t ahead = (own.y - three) | odd, level = own.y | odd;
  EXPECT_EQ(At(left, ahead - hh), PixelWord(kTraffic));
  EXPECT_EQ(At(right, ahead), PixelWord(kTraffic));
  EXPECT_EQ(At(left, level - 2), PixelWord(kYellow));  // beside the 2-mile dot
  EXPECT_EQ(At(right, level - 2), PixelWord(kRed));
  EXPECT_EQ(At(display->ringCentreX, display->ringCentreY - display->ringRadius + 2), 0u);  // no picture
  ExpectTag({right, ahead}, "-10", false, kTraffic);
  ExpectTag({right, level}, "+02", true, kRed);
  platform::WriteSurfacePng(display->trafficLayer,
                            PicturePath(GetParam() ? "traffic_test_pattern_aa" : "traffic_test_pattern").c_str());

  // Without a source the test mode shows the own aircraft alone.
  cell = nullptr;
  Draw();
  EXPECT_TRUE(display->logicFailed);
  EXPECT_STREQ(display->failureText, "KVR_TCAS!Logic");
  EXPECT_EQ(Count(kRed) + Count(kYellow) + Count(kTraffic), 0);
  EXPECT_GT(Count(kWhite), 0);
}

TEST_P(TrafficLayer, StandbyAndFailedLogicLeaveTheLayerAsItWas) {
  source.Add(ThreatClass::TrafficAdvisory, 2.5f, 0.0f, 0.0f);
  Draw();
  const Box before = display->trafficBox;
  const int32_t yellow = Count(kYellow);
  source.entries.clear();
  source.Add(ThreatClass::ResolutionAdvisory, 2.5f, 0.0f, 0.0f);
  for (int32_t mode : {kDisplayModeStandby, kDisplayModeTransponder}) {
    display->displayMode = mode;
    Draw();
  }
  display->displayMode = kDisplayModeTaOnly;
  source.available = false;
  Draw();
  EXPECT_TRUE(display->logicFailed);
  EXPECT_STREQ(display->failureText, "FSUIPC");
  EXPECT_EQ(Count(kYellow), yellow);
  EXPECT_EQ(Count(kRed), 0);
  EXPECT_TRUE(display->trafficBox.left == before.left && display->trafficBox.bottom == before.bottom);

  // Back in service: the old TA is gone, and dirtyBox still covers where it was.
  source.available = true;
  display->dirtyBox = Box{};
  Draw();
  EXPECT_EQ(Count(kYellow), 0);
  EXPECT_GT(Count(kRed), 0);
  EXPECT_TRUE(display->dirtyBox.top <= before.top && display->dirtyBox.left <= before.left);
}

}  // namespace
}  // namespace kvr::display_test

// Pointing at gauges: panel pixels to the gauge on top and its design pixels, whatever size it is placed
// at, and the cursor its mouse areas ask for.
#include "host/live/panel_layout.h"

#include <gtest/gtest.h>

#include "host/live/live_simulation.h"
#include "tests/gauge/module_fixture.h"

namespace kvr::host {
namespace {

class PanelLayoutTest : public ::testing::Test {
 protected:
  LiveSimulation sim{kvr::testing::SourceDir() / "tests" / "live" / "scaled_panel.cfg", kvr::testing::BinDir()};

  // The gauge name and design point under a panel point, or "" when none.
  std::string NameAt(double x, double y, int* designX = nullptr, int* designY = nullptr) {
    const auto hit = sim.Layout().HitAt(x, y);
    if (!hit) return "";
    if (designX != nullptr) *designX = hit->x;
    if (designY != nullptr) *designY = hit->y;
    return hit->instance->placement.gauge;
  }
};

TEST_F(PanelLayoutTest, PanelPointsBecomeDesignPixelsOfTheGaugeAtItsPlacedSize) {
  int x = -1, y = -1;
  // The IVSI (158 design pixels) placed at 79: one panel pixel is two design pixels.
  ASSERT_EQ(NameAt(10.25, 20.25, &x, &y), "IVSI");
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  ASSERT_EQ(NameAt(10 + 26.1, 20 + 26.1, &x, &y), "IVSI");
  EXPECT_EQ(x, 52);
  EXPECT_EQ(y, 52);
  ASSERT_EQ(NameAt(10 + 49.6, 20 + 5.5, &x, &y), "IVSI");
  EXPECT_EQ(x, 99);
  EXPECT_EQ(y, 11);
  // The Transponder (228 x 89, height from its background image) placed at twice that.
  ASSERT_EQ(NameAt(60 + 115.5, 90 + 127.5, &x, &y), "Transponder");
  EXPECT_EQ(x, 57);
  EXPECT_EQ(y, 63);
  ASSERT_EQ(NameAt(60 + 455.9, 90 + 177.9, &x, &y), "Transponder");
  EXPECT_EQ(x, 227);
  EXPECT_EQ(y, 88);
}

TEST_F(PanelLayoutTest, TheGaugePlacedLaterIsOnTopAndEdgesBelongInsideOnlyFromTheLeftAndTop) {
  // Where the two overlap, the Transponder (placed after the IVSI) takes the point.
  EXPECT_EQ(NameAt(70, 95), "Transponder");
  EXPECT_EQ(NameAt(59.9, 95), "IVSI");
  EXPECT_EQ(NameAt(9.9, 30), "");
  EXPECT_EQ(NameAt(30, 19.9), "");
  EXPECT_EQ(NameAt(89, 50), "");  // x + width is outside
  EXPECT_EQ(NameAt(516, 120), "");
  EXPECT_EQ(NameAt(300, 10), "");  // the empty panel
}

TEST_F(PanelLayoutTest, TheCursorIsTheHandOnlyOverAMouseArea) {
  const auto corner = sim.Layout().HitAt(12, 22);  // the IVSI's top-left corner area
  ASSERT_TRUE(corner);
  EXPECT_EQ(PanelLayout::CursorAt(*corner), kCursorHand);
  const auto middle = sim.Layout().HitAt(10 + 39.5, 20 + 39.5);  // the dial: no area
  ASSERT_TRUE(middle);
  EXPECT_EQ(PanelLayout::CursorAt(*middle), kCursorNone);
  const auto knob = sim.Layout().HitAt(60 + 115.5, 90 + 127.5);  // the mode knob
  ASSERT_TRUE(knob);
  EXPECT_EQ(PanelLayout::CursorAt(*knob), kCursorHand);
  EXPECT_EQ(PanelLayout::CursorAt(GaugeHit{}), kCursorNone);
}

}  // namespace
}  // namespace kvr::host

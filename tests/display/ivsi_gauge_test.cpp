// The IVSI controller driven as a host drives it, against the host's panel services: installation builds
// the display from the drawing element, each frame repaints the traffic when the picture moved on and
// composes at the pace "vsirate" asks for, and the picture lands in the element's own pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/panel_services.h"
#include "module/display/ivsi_gauge.h"
#include "module/gauge/gauge.h"
#include "tests/display/display_test_support.h"

namespace kvr::display_test {
namespace {

// One IVSI instance: root > drawing element (132 x 132 host surface) > {bezel, lit overlay}.
class GaugeRig {
 public:
  explicit GaugeRig(std::string parameters, bool publishLogic = true) : parameters_(std::move(parameters)) {
    ResetSelectors(kModeTaRa);
    ImportTable.panel.table = services.Table();
    root_.children = rootChildren_;
    drawing.children = drawingChildren_;
    drawing.surfaceInfo = &info_;
    drawing.deviceContext = target.Context();
    header.elementList = elementList_;
    header.parameters = parameters_.c_str();
    if (publishLogic) PublishVariable(&cell, kTypeObject, "KVR_TCAS!Logic");
    IvsiConnect(&header);
    IvsiInstall(&header);
  }
  ~GaugeRig() {
    if (header.gaugeState != nullptr) {
      IvsiTeardown(&header);
      IvsiDisconnect(&header);
    }
    ImportTable.panel.table = nullptr;
  }
  GaugeRig(const GaugeRig&) = delete;
  GaugeRig& operator=(const GaugeRig&) = delete;

  IvsiGauge& Controller() const { return *static_cast<IvsiGauge*>(header.gaugeState); }

  // One drawing call at simulator tick `tick`; true when the drawing element was marked changed.
  bool Frame(double tick, double verticalSpeedFpm = 0.0) {
    services.SetSimVariable(kSimTickCount18Hz, tick);
    services.SetSimVariable(65, verticalSpeedFpm / 0.76875);
    drawing.flags |= kElementOnScreen;
    IvsiDrawFrame(&header);
    return (drawing.flags & kElementOnScreen) == 0;
  }

  host::PanelServices services;
  FakeSource source;
  TrafficSource* cell = &source;
  HostTarget target{132, 132};
  ElementHeader drawing{};
  ElementHeader litOverlay{};
  GaugeHeader header{};

 private:
  std::string parameters_;
  SurfaceInfo info_{0, 132, 132, 0};
  ElementHeader root_{}, bezel_{};
  ElementHeader* rootChildren_[2] = {&drawing, nullptr};
  ElementHeader* drawingChildren_[3] = {&bezel_, &litOverlay, nullptr};
  ElementHeader* elementList_[2] = {&root_, nullptr};
};

TEST(IvsiGauge, InstallationBuildsTheDisplayForTheElementAndBindsTheLogicOnce) {
  GaugeRig rig("pic=n aa=0 fontscale=1.5");
  IvsiGauge& ivsi = rig.Controller();
  ASSERT_NE(ivsi.display, nullptr);
  EXPECT_NE(ivsi.templateContext, nullptr);
  EXPECT_EQ(ivsi.width, 132);
  EXPECT_EQ(ivsi.display->surfaceWidth, 132);  // "aa" off
  EXPECT_EQ(ivsi.logicBinding, &rig.cell);
  EXPECT_EQ(ivsi.display->logicBinding, &rig.cell);
  EXPECT_FALSE(ivsi.display->logicFailed);
  EXPECT_EQ(ivsi.lastComposeTick, 0xFC00);
  EXPECT_NE(rig.services.Find("KVR_TCAS!IVSI.mode_index"), nullptr);

  GaugeRig lonely("pic=n", false);
  ASSERT_NE(lonely.Controller().display, nullptr);
  EXPECT_EQ(lonely.Controller().logicBinding, nullptr);
  EXPECT_EQ(lonely.Controller().display->surfaceWidth, 265);
  EXPECT_STREQ(lonely.Controller().display->failureText, "KVR_TCAS!Logic");
}

TEST(IvsiGauge, FirstFrameComposesTheDialIntoTheElementsPixels) {
  GaugeRig rig("pic=n");
  EXPECT_TRUE(rig.Frame(100));
  EXPECT_EQ(selectors.redraw, 0);
  EXPECT_EQ(rig.target.Count(kUntouched), 0);
  EXPECT_GT(rig.target.Count(kBackgroundPixel), 132 * 132 / 2);
  EXPECT_EQ(rig.target.At(40, 66), PixelWord(kWhite));  // level flight: the needle at 9 o'clock
  // Simulator variable 65 in its units: 1500 ft/min turns the needle straight up.
  rig.Frame(101, 1500.0);
  EXPECT_NEAR(rig.Controller().snapshot.verticalSpeedFpm, 1500.0f, 0.01f);
  EXPECT_EQ(rig.target.At(66, 40), PixelWord(kWhite));
  EXPECT_NE(rig.target.At(40, 66), PixelWord(kWhite));
}

TEST(IvsiGauge, CompositionsFollowVsirateOnTheSixteenBitTick) {
  GaugeRig rig("pic=n vsirate=9");  // every second tick
  ASSERT_EQ(rig.Controller().options.refreshTicks, 2);
  EXPECT_TRUE(rig.Frame(100));  // "redraw" is 1 at load
  EXPECT_FALSE(rig.Frame(101));
  EXPECT_TRUE(rig.Frame(102));
  EXPECT_FALSE(rig.Frame(102));
  EXPECT_FALSE(rig.Frame(103));
  EXPECT_TRUE(rig.Frame(104));
  // A redraw request composes at once, whatever the pacing.
  selectors.redraw = 1;
  EXPECT_TRUE(rig.Frame(105));
  EXPECT_EQ(rig.Controller().lastComposeTick, 105);
  // The tick counter keeps only its low 16 bits; its wrap reads as a long wait and composes.
  EXPECT_TRUE(rig.Frame(65535));
  EXPECT_TRUE(rig.Frame(65536));
  EXPECT_EQ(rig.Controller().lastComposeTick, 0);
  EXPECT_FALSE(rig.Frame(65537));
  EXPECT_TRUE(rig.Frame(65538.9));  // truncated to 2
}

TEST(IvsiGauge, VsirateExtremesComposeEveryFrameOrOnlyOnRequest) {
  GaugeRig everyFrame("pic=n vsirate=0");
  for (double tick : {10.0, 10.0, 11.0, 11.0}) EXPECT_TRUE(everyFrame.Frame(tick)) << tick;

  GaugeRig onRequest("pic=n vsirate=-1");
  ASSERT_EQ(onRequest.Controller().options.refreshTicks, 65518);
  EXPECT_TRUE(onRequest.Frame(10));  // the redraw at load
  for (double tick : {11.0, 30.0, 900.0, 40000.0}) EXPECT_FALSE(onRequest.Frame(tick)) << tick;
  selectors.redraw = 1;
  EXPECT_TRUE(onRequest.Frame(40001));
}

TEST(IvsiGauge, TrafficIsRepaintedWhenThePictureRanAFrame) {
  GaugeRig rig("pic=n vsirate=1 aa=0");  // a composition every 18 ticks
  rig.source.updateCount = 5;
  rig.Frame(100);
  EXPECT_EQ(rig.Controller().lastUpdateCount, 5u);
  EXPECT_FALSE(rig.Frame(101));
  // A new traffic frame with an advisory: the layer is repainted and the element marked changed, though
  // the next composition is still due later.
  rig.source.Add(ThreatClass::TrafficAdvisory, 2.0f, 0.0f, 500.0f);
  rig.source.updateCount = 6;
  EXPECT_TRUE(rig.Frame(102));
  EXPECT_EQ(rig.Controller().lastUpdateCount, 6u);
  EXPECT_EQ(rig.Controller().lastComposeTick, 100);
  EXPECT_EQ(rig.target.Count(PixelWord(kYellow)), 0);  // not composed yet
  EXPECT_TRUE(rig.Frame(118));
  EXPECT_GT(rig.target.Count(PixelWord(kYellow)), 10);
}

TEST(IvsiGauge, PowerAndLightingComeFromTheSelectorsWithoutTheProbe) {
  GaugeRig rig("pic=n aa=0");
  selectors.power = 0;
  selectors.lit = 1;
  rig.Frame(100);
  EXPECT_EQ(rig.target.Count(kBackgroundPixel), 132 * 132);
  EXPECT_EQ(rig.litOverlay.flags & kElementHidden, 0u);
  selectors.power = 1;
  selectors.lit = 0;
  rig.Frame(101);
  EXPECT_GT(rig.target.Count(PixelWord(kWhite)), 100);
  EXPECT_NE(rig.litOverlay.flags & kElementHidden, 0u);

  // With the probe and no companion module: powered, lit and a valid vertical speed.
  GaugeRig probed("");
  selectors.power = 0;
  selectors.vsiFlag = 1;
  probed.Frame(100);
  EXPECT_EQ(selectors.power, 1);
  EXPECT_EQ(selectors.lit, 1);
  EXPECT_EQ(selectors.vsiFlag, 0);
  EXPECT_FALSE(probed.Controller().display->vsiFailed);
}

TEST(IvsiGauge, RemovalReleasesTheDisplayAndWithdrawsTheVariables) {
  GaugeRig rig("pic=n");
  rig.Frame(100);
  IvsiInstall(&rig.header);  // a second installation rebuilds the display
  ASSERT_NE(rig.Controller().display, nullptr);
  EXPECT_TRUE(rig.Frame(101));
  IvsiTeardown(&rig.header);
  EXPECT_EQ(rig.Controller().display, nullptr);
  EXPECT_EQ(rig.Controller().templateContext, nullptr);
  EXPECT_EQ(rig.services.Find("KVR_TCAS!IVSI.redraw"), nullptr);
  IvsiDisconnect(&rig.header);
  EXPECT_EQ(rig.header.gaugeState, nullptr);
}

// The state word is 0 in the module's headers; whatever a host leaves there is not a controller.
TEST(IvsiGauge, AStateWordTheModuleDidNotFillIsNeitherUsedNorFreed) {
  int hostValue = 7;
  GaugeHeader header{};
  header.gaugeState = &hostValue;
  EXPECT_FALSE(IvsiHasController(&header));
  IvsiDisconnect(&header);
  EXPECT_EQ(header.gaugeState, &hostValue);
  IvsiConnect(&header);
  EXPECT_TRUE(IvsiHasController(&header));
  IvsiDisconnect(&header);
  EXPECT_EQ(header.gaugeState, nullptr);
  EXPECT_FALSE(IvsiHasController(&header));
}

TEST(SimSnapshot, TickKeepsItsLowSixteenBitsAndNonsenseGivesZero) {
  host::PanelServices services;
  ImportTable.panel.table = services.Table();
  SimSnapshot snapshot;
  for (const auto& [value, tick] : std::vector<std::pair<double, uint16_t>>{
           {70000.7, 4464}, {65535.0, 65535}, {-1.0, 65535}, {std::nan(""), 0}, {1e300, 0}}) {
    services.SetSimVariable(kSimTickCount18Hz, value);
    FillSimSnapshot(snapshot);
    EXPECT_EQ(snapshot.tick, tick) << value;
  }
  ImportTable.panel.table = nullptr;
}

}  // namespace
}  // namespace kvr::display_test

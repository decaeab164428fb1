// The renderer over the real module's placed gauges: element positions and scale, pure black as
// transparency, the hidden bit, icon images, the pixels of a drawing surface, the window size, PNG files.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "host/panel_session.h"
#include "host/render/panel_renderer.h"
#include "tests/gauge/module_fixture.h"
#include "tests/packed_field.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kPanelBackground = 0x406080;

class Renderer : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() /
                 ("kvr_render_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  std::unique_ptr<PanelSession> session;
  std::unique_ptr<PanelRenderer> renderer;

  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override {
    renderer.reset();
    session.reset();
    fs::remove_all(dir);
  }

  // A started panel of `window` lines (after "[Window00]") and a renderer over it.
  void Open(const std::string& window) {
    renderer.reset();
    session.reset();  // one session at a time: the FSUIPC server window is process-wide
    std::ofstream(dir / "panel.cfg") << "[Window00]\n" << window;
    SessionOptions options;
    options.panelFile = dir / "panel.cfg";
    options.gaugesDir = kvr::testing::BinDir();
    session = std::make_unique<PanelSession>(options);
    session->GetPanel().Start();
    RenderOptions renderOptions;
    renderOptions.backgroundRgb = kPanelBackground;
    renderer =
        std::make_unique<PanelRenderer>(session->Module(), session->Config(), session->GetPanel(), renderOptions);
  }

  GaugeInstance& Gauge(const std::string& name) {
    for (const auto& instance : session->GetPanel().Instances())
      if (instance->placement.gauge == name) return *instance;
    throw std::runtime_error("no gauge " + name);
  }
  // The index in the instance's element list of the (n-th) element showing `imageId`.
  static size_t ElementIndex(const GaugeInstance& gauge, uint32_t imageId, int n = 0) {
    for (size_t i = 0; i < gauge.elements.size(); ++i)
      if (gauge.elements[i]->imageId == imageId && n-- == 0) return i;
    throw std::runtime_error("no element with that image");
  }
  const Image& Art(uint32_t id) {
    const Image* image = renderer->Bitmap(id);
    if (image == nullptr) throw std::runtime_error("no bitmap");
    return *image;
  }
};

// What a scale-1 stack of opaque layers shows at one panel pixel: the last layer that is not pure black
// there, else the panel. Each layer is a bitmap and its top-left corner on the panel.
struct Layer {
  const Image* image;
  int x, y;
};
uint32_t Stacked(const std::vector<Layer>& layers, int x, int y) {
  uint32_t shown = kPanelBackground;
  for (const Layer& l : layers) {
    const int u = x - l.x, v = y - l.y;
    if (u < 0 || v < 0 || u >= l.image->width || v >= l.image->height) continue;
    if (!IsTransparent(l.image->At(u, v))) shown = l.image->At(u, v);
  }
  return shown;
}

// Compares a rectangle of the picture with the stack; returns the number of pixels that differ.
int Mismatches(const Image& picture, const std::vector<Layer>& layers, int x0, int y0, int w, int h) {
  int wrong = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) wrong += picture.At(x, y) != Stacked(layers, x, y) ? 1 : 0;
  return wrong;
}

TEST_F(Renderer, DrawsElementsAtTheirPositionsWithPureBlackLeftTransparent) {
  Open("size_mm=300,120\ngauge00=KVR_TCAS!Transponder, 20, 10, 228, 89, pic=n\n");
  GaugeInstance& xpdr = Gauge("Transponder");
  xpdr.elements[ElementIndex(xpdr, 0x2100)]->flags |= kElementHidden;  // backlight off
  xpdr.elements[ElementIndex(xpdr, 0x2500)]->flags |= kElementHidden;  // reply light off
  const Image picture = renderer->Render();
  ASSERT_EQ(picture.width, 300);
  ASSERT_EQ(picture.height, 120);

  const Layer background{&Art(0x2000), 20, 10};
  // The range knob (first image while its value is 0) over the background: black corners show it.
  EXPECT_EQ(Mismatches(picture, {background, {&Art(0x2300), 20 + 159, 10 + 50}}, 20 + 159, 10 + 50, 27, 27), 0);
  // The hidden reply light leaves the background beneath it.
  EXPECT_EQ(Mismatches(picture, {background}, 20 + 139, 10 + 71, 8, 8), 0);
  // The two fixed switch pictures.
  EXPECT_EQ(Mismatches(picture, {background, {&Art(0x2401), 20 + 161, 10 + 8}}, 20 + 161, 10 + 8, 11, 21), 0);
  // Outside the gauge: the panel.
  for (auto [x, y] : {std::pair{19, 50}, {248, 50}, {100, 9}, {100, 99}}) EXPECT_EQ(picture.At(x, y), kPanelBackground);
  EXPECT_NE(picture.At(20, 10), kPanelBackground);
}

TEST_F(Renderer, IconShowsItsFirstImagePlusTheValueItsCallbackGave) {
  Open("size_mm=300,120\ngauge00=KVR_TCAS!Transponder, 0, 0, 228, 89, pic=n\n");
  GaugeInstance& xpdr = Gauge("Transponder");
  xpdr.elements[ElementIndex(xpdr, 0x2100)]->flags |= kElementHidden;
  const size_t knob = ElementIndex(xpdr, 0x2300);  // the range knob comes first
  ASSERT_EQ(xpdr.elements[knob]->type, kElementIcon);
  const Layer background{&Art(0x2000), 0, 0};

  for (double value : {0.0, 1.0, 3.0, 4.0, 2.7}) {
    SCOPED_TRACE(value);
    xpdr.iconValues[knob] = value;
    const uint32_t shown = 0x2300 + static_cast<uint32_t>(value);  // a fraction is dropped
    EXPECT_EQ(Mismatches(renderer->Render(), {background, {&Art(shown), 159, 50}}, 159, 50, 27, 27), 0);
  }
  // Positions one and three differ, so the comparison above can tell them apart.
  EXPECT_NE(Art(0x2301).pixels, Art(0x2303).pixels);

  // A value that names no image shows nothing there, and a missing image is reported once.
  for (double value : {-1.0, std::numeric_limits<double>::quiet_NaN(), 1e12, 40.0}) {
    SCOPED_TRACE(value);
    xpdr.iconValues[knob] = value;
    EXPECT_EQ(Mismatches(renderer->Render(), {background}, 159, 50, 27, 27), 0);
  }
  ASSERT_EQ(renderer->Warnings().size(), 1u);
  EXPECT_NE(renderer->Warnings()[0].find("0x2328"), std::string::npos) << renderer->Warnings()[0];
}

TEST_F(Renderer, HiddenBitLeavesOutTheElementWithEverythingItCarries) {
  Open("size_mm=158,158\ngauge00=KVR_TCAS!IVSI, 0, 0, 158, 158, pic=n\n");
  GaugeInstance& ivsi = Gauge("IVSI");
  ElementHeader* lit = ivsi.elements[ElementIndex(ivsi, 0x1200)];
  const Layer bezel{&Art(0x1100), 0, 0}, overlay{&Art(0x1200), 0, 0};

  lit->flags |= kElementHidden;
  const Image dark = renderer->Render();
  lit->flags &= ~kElementHidden;
  const Image lighted = renderer->Render();
  // Compare on the frame around the face (the face itself is what the gauge painted).
  int checked = 0, litPixels = 0;
  for (int y = 0; y < 158; ++y)
    for (int x = 0; x < 158; ++x) {
      if (x >= 14 && x < 146 && y >= 14 && y < 146) continue;
      ++checked;
      ASSERT_EQ(dark.At(x, y), Stacked({bezel}, x, y)) << x << "," << y;
      ASSERT_EQ(lighted.At(x, y), Stacked({bezel, overlay}, x, y)) << x << "," << y;
      litPixels += dark.At(x, y) != lighted.At(x, y) ? 1 : 0;
    }
  EXPECT_GT(checked, 0);
  EXPECT_GT(litPixels, 100);

  // Hiding the root hides the whole gauge, children and drawing surface included.
  ivsi.Root()->flags |= kElementHidden;
  const Image none = renderer->Render();
  for (uint32_t pixel : none.pixels) ASSERT_EQ(pixel, kPanelBackground);
}

TEST_F(Renderer, DrawingSurfaceShowsWhatTheGaugePaintedInPlaceOfItsBitmap) {
  Open("size_mm=158,158\ngauge00=KVR_TCAS!IVSI, 0, 0, 158, 158, pic=n\n");
  GaugeInstance& ivsi = Gauge("IVSI");
  ElementHeader* drawing = ivsi.elements[ElementIndex(ivsi, 0x1000)];
  ASSERT_NE(testing::Field(drawing->deviceContext), nullptr);
  auto* surface = static_cast<HostSurface*>(drawing->deviceContext);
  ASSERT_EQ(surface->width, 132);
  auto paint = [&](uint32_t fill) {
    for (int i = 0; i < 132 * 132; ++i) surface->pixels[i] = fill;
    surface->pixels[0] = 0xFF0000;
    surface->pixels[7 * 132 + 5] = 0x000000;  // pure black: the panel shows through
    surface->pixels[131 * 132 + 131] = 0x00FF00;
  };
  paint(0x123456);
  session->GetPanel().TakeContent();  // the surface starts with its on-screen bit clear
  EXPECT_NE(drawing->flags & kElementOnScreen, 0u) << "the panel sets the bit again once it has taken the pixels";

  Image picture = renderer->Render();
  EXPECT_EQ(picture.At(14, 14), 0xFF0000u);
  EXPECT_EQ(picture.At(14 + 5, 14 + 7), kPanelBackground);
  EXPECT_EQ(picture.At(80, 80), 0x123456u);
  EXPECT_EQ(picture.At(145, 145), 0x00FF00u);
  EXPECT_EQ(picture.At(13, 80), Stacked({{&Art(0x1100), 0, 0}}, 13, 80));  // the bezel frames it

  // A gauge that paints again but leaves the bit set shows the old picture, as on the simulator; once it
  // clears the bit, the panel takes the new pixels.
  paint(0x654321);
  session->GetPanel().TakeContent();
  EXPECT_EQ(renderer->Render().At(80, 80), 0x123456u);
  drawing->flags &= ~kElementOnScreen;
  session->GetPanel().TakeContent();
  EXPECT_EQ(renderer->Render().At(80, 80), 0x654321u);
}

TEST_F(Renderer, ScalesFromTheDesignSizeToThePlacedSizeAndClipsToIt) {
  // The bare IVSI: everything black but the drawing surface, which is painted one colour.
  Open(
      "size_mm=420,340\n"
      "gauge00=KVR_TCAS!IVSIb, 10, 10, 316, 316, pic=n\n"
      "gauge01=KVR_TCAS!IVSI2b, 330, 10, 79, 79, pic=n\n");
  for (const char* name : {"IVSIb", "IVSI2b"}) {
    GaugeInstance& g = Gauge(name);
    auto* surface = static_cast<HostSurface*>(g.elements[ElementIndex(g, 0x1000)]->deviceContext);
    for (int i = 0; i < surface->width * surface->height; ++i) surface->pixels[i] = 0x00C000;
  }
  session->GetPanel().TakeContent();
  const Image picture = renderer->Render();
  // Twice the size: the 132-pixel surface at (14, 14) covers 38..302 on the panel.
  for (auto [x, y] : {std::pair{39, 39}, {300, 300}, {170, 170}, {39, 300}})
    EXPECT_EQ(picture.At(x, y), 0x00C000u) << x;
  for (auto [x, y] : {std::pair{36, 170}, {170, 36}, {304, 170}, {170, 304}})
    EXPECT_EQ(picture.At(x, y), kPanelBackground) << x;
  // Half the size: 66 pixels from 330 + 7.
  for (auto [x, y] : {std::pair{339, 19}, {370, 50}, {401, 80}}) EXPECT_EQ(picture.At(x, y), 0x00C000u) << x;
  for (auto [x, y] : {std::pair{335, 50}, {370, 15}, {405, 50}}) EXPECT_EQ(picture.At(x, y), kPanelBackground) << x;

  // An element that reaches past its gauge is cut at the gauge's edge.
  GaugeInstance& big = Gauge("IVSIb");
  big.elements[ElementIndex(big, 0x1000)]->x = 100;  // now spans 114..246 of the 158-pixel design
  const Image moved = renderer->Render();
  EXPECT_EQ(moved.At(320, 170), 0x00C000u);         // the gauge's last column (10 + 316 - 6)
  EXPECT_EQ(moved.At(327, 170), kPanelBackground);  // past it, before the next gauge
}

TEST_F(Renderer, WindowSizeIsItsSizeMmOrElseTheBoxAroundItsGauges) {
  Open("gauge00=KVR_TCAS!IVSI, 10, 20, 158, 158, pic=n\ngauge01=KVR_TCAS!Logic, 0, 0, 1, 1\n");
  EXPECT_EQ(renderer->Width(), 168);
  EXPECT_EQ(renderer->Height(), 178);
  EXPECT_EQ(renderer->Render().pixels.size(), 168u * 178u);
  Open("size_mm=500,260\ngauge00=KVR_TCAS!IVSI, 10, 20, 79, 79, pic=n\n");
  EXPECT_EQ(renderer->Width(), 500);
  EXPECT_EQ(renderer->Height(), 260);
  RenderOptions second;
  second.window = 1;
  EXPECT_THROW(PanelRenderer(session->Module(), session->Config(), session->GetPanel(), second), std::runtime_error);
  // Gauges far apart: the box is cut to the largest panel window, and the renderer says so.
  Open("gauge00=KVR_TCAS!IVSI, 4000, 4000, 4000, 4000, pic=n\n");
  EXPECT_EQ(renderer->Width(), kMaxPanelSide);
  EXPECT_EQ(renderer->Height(), kMaxPanelSide);
  ASSERT_EQ(renderer->Warnings().size(), 1u);
  EXPECT_NE(renderer->Warnings()[0].find("reaches 8000x8000 pixels; its picture is cut"), std::string::npos);
}

TEST_F(Renderer, PngFilesHoldThePictureExactly) {
  Open(
      "size_mm=440,180\ngauge00=KVR_TCAS!IVSI, 8, 8, 158, 158, pic=n\n"
      "gauge01=KVR_TCAS!Transponder, 184, 40, 228, 89, pic=n\n");
  session->GetPanel().Frame(18);
  const Image picture = renderer->Render();
  WritePng(picture, dir / "panel.png");
  const Image back = ReadPng(dir / "panel.png");
  EXPECT_EQ(back.width, 440);
  EXPECT_EQ(back.height, 180);
  EXPECT_EQ(back.pixels, picture.pixels);
  EXPECT_THROW(WritePng(picture, dir / "no such folder" / "panel.png"), std::runtime_error);
  EXPECT_THROW(ReadPng(dir / "missing.png"), std::runtime_error);
}

}  // namespace
}  // namespace kvr::host

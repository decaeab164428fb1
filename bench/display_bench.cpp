// The IVSI picture: a composition in the steady state (the needle moves, the traffic stays), with and
// without anti-aliasing, and with the traffic repainted once a second; a full redraw of the face with
// its traffic; and the 2:1 filter per output pixel against a plain copy of the same input bytes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "module/display/display.h"
#include "module/display/ivsi_display.h"
#include "module/gauge/panel_sdk.h"
#include "module/logic/logic.h"

namespace {

using namespace kvr;

// A traffic picture of four intruders of every class around the own aircraft, with a climb advisory.
class BenchSource final : public TrafficSource {
 public:
  BenchSource() {
    advisory = {0, nullptr, 1500.0f, 10000.0f, 1500.0f, 0};
    const ThreatClass classes[] = {ThreatClass::OtherTraffic, ThreatClass::ProximateTraffic,
                                   ThreatClass::TrafficAdvisory, ThreatClass::ResolutionAdvisory};
    for (int i = 0; i < 4; ++i)
      entries_[i] = {300.0f * (i - 2),
                     MakeStatus(0, i % 2 ? 1 : -1, classes[i]),
                     1,
                     {},
                     1.0f + i,
                     -1.2f + 0.8f * i,
                     static_cast<uint32_t>(i + 1)};
    for (int i = 0; i < 4; ++i) order_[i] = &entries_[i];
    intruderOrder = order_;
    intruderCount = 4;
    raCount = 0;
  }
  ~BenchSource() override { intruderOrder = nullptr; }
  bool IsPaused() override { return false; }
  bool CheckAvailable(const char**) override { return true; }
  bool IsAvailable() override { return true; }
  bool Update(float, float, float, float, float, float, OperatingMode) override { return true; }

 private:
  IntruderEntry entries_[4];
  IntruderEntry* order_[4];
};

struct Picture {
  explicit Picture(bool antiAliased) : pixels(132 * 132) {
    selectors = SelectorVariables{};
    selectors.modeIndex = kModeTaRa;
    selectors.vsiFlag = 0;
    target = {kHostSurfaceMagic, 132, 132, 132 * 4, pixels.data()};
    display = CreateIvsiDisplay(nullptr, &cell, 132, 132, antiAliased, true, 999, 1.0f);
    DrawTrafficLayer(*display);
    ComposeFrame(*display, &target, 0, 0, 0.0f, true, false);
    ComposeFrame(*display, &target, 0, 0, 0.0f, true, false);
  }
  ~Picture() { DestroyIvsiDisplay(display); }

  BenchSource source;
  TrafficSource* cell = &source;
  std::vector<uint32_t> pixels;
  HostSurface target{};
  IvsiDisplay* display = nullptr;
};

// The needle swings through a climb and back, a little every frame.
void ComposeSteadyState(benchmark::State& state) {
  Picture picture(state.range(0) != 0);
  int frame = 0;
  for (auto _ : state) {
    const float speedFpm = 2000.0f * std::sin(0.05f * static_cast<float>(frame++));
    ComposeFrame(*picture.display, &picture.target, 0, 0, speedFpm, true, false);
  }
  state.SetLabel(state.range(0) != 0 ? "anti-aliased" : "plain");
}
BENCHMARK(ComposeSteadyState)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The same swing with the traffic layer repainted once a second (every 60th frame) as in flight, which
// makes every needle kept before it stale; the repaint itself is not timed.
void ComposeWithTrafficRepaints(benchmark::State& state) {
  Picture picture(true);
  int frame = 0;
  for (auto _ : state) {
    if (frame % 60 == 0) {
      state.PauseTiming();
      DrawTrafficLayer(*picture.display);
      state.ResumeTiming();
    }
    const float speedFpm = 2000.0f * std::sin(0.05f * static_cast<float>(frame++));
    ComposeFrame(*picture.display, &picture.target, 0, 0, speedFpm, true, false);
  }
  state.SetLabel("anti-aliased");
}
BENCHMARK(ComposeWithTrafficRepaints)->Unit(benchmark::kMicrosecond);

// Above/below flips every frame, so the face is drawn anew, the traffic repainted and all copied.
void ComposeFullRedraw(benchmark::State& state) {
  Picture picture(state.range(0) != 0);
  for (auto _ : state) {
    selectors.aboveBelow = selectors.aboveBelow == 0 ? 2 : 0;
    ComposeFrame(*picture.display, &picture.target, 0, 0, 500.0f, true, false);
  }
  state.SetLabel(state.range(0) != 0 ? "anti-aliased" : "plain");
}
BENCHMARK(ComposeFullRedraw)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The whole anti-aliased surface (265 x 265) down to 132 x 132; items are output pixels.
void DownsampleWholeSurface(benchmark::State& state) {
  Picture picture(true);
  const platform::PixelView face = platform::SurfacePixels(picture.display->faceLayer);
  const std::vector<uint32_t> input(face.pixels, face.pixels + picture.display->pixelCount);
  for (auto _ : state) {
    std::memcpy(face.pixels, input.data(), input.size() * sizeof(uint32_t));  // fresh input each time
    DownsampleRegion(*picture.display, picture.display->fullBox);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 132 * 132);
}
BENCHMARK(DownsampleWholeSurface)->Unit(benchmark::kMicrosecond);

// The same refill of the input bytes alone: what the filter costs beyond it is the filter.
void CopyInputOnly(benchmark::State& state) {
  Picture picture(true);
  const platform::PixelView face = platform::SurfacePixels(picture.display->faceLayer);
  const std::vector<uint32_t> input(face.pixels, face.pixels + picture.display->pixelCount);
  for (auto _ : state) {
    std::memcpy(face.pixels, input.data(), input.size() * sizeof(uint32_t));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 132 * 132);
}
BENCHMARK(CopyInputOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

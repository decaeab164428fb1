// One repaint of the IVSI traffic layer (`DrawTrafficLayer`: clear, symbols with tags and arrows, own
// aircraft, range dots, extent scan) with 10 and 100 intruders, plain (132 x 132) and anti-aliased
// (265 x 265). The intruders are spread over all four threat classes and all bearings within the 12-mile
// range, each with a tag and most with an arrow: every one of them is painted.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "module/display/display.h"
#include "module/display/ivsi_display.h"
#include "module/logic/logic.h"

namespace {

using namespace kvr;

class BenchSource final : public TrafficSource {
 public:
  explicit BenchSource(int count) : entries_(count), order_(count) {
    for (int i = 0; i < count; ++i) {
      const auto threat = static_cast<ThreatClass>(i % 4);
      const int32_t trend = i % 3 - 1;
      entries_[i] = {static_cast<float>((i % 11) * 300 - 1500),
                     MakeStatus(i, trend, threat),
                     1,
                     {},
                     0.5f + 5.0f * static_cast<float>(i % 10) / 10.0f,
                     2 * std::numbers::pi_v<float> * static_cast<float>(i) / static_cast<float>(count),
                     static_cast<uint32_t>(100 + i)};
      order_[i] = &entries_[i];
    }
    intruderOrder = order_.data();
    intruderCount = count;
    raCount = 0;  // keep other traffic on the picture
  }
  ~BenchSource() override { intruderOrder = nullptr; }
  bool IsPaused() override { return false; }
  bool CheckAvailable(const char**) override { return true; }
  bool IsAvailable() override { return true; }
  bool Update(float, float, float, float, float, float, OperatingMode) override { return true; }

 private:
  std::vector<IntruderEntry> entries_;
  std::vector<IntruderEntry*> order_;
};

void BM_DrawTrafficLayer(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const bool antiAliased = state.range(1) != 0;
  selectors = SelectorVariables{};
  selectedRangeNm = 12.0f;
  BenchSource source(count);
  TrafficSource* cell = &source;
  IvsiDisplay* display = CreateIvsiDisplay(nullptr, &cell, 132, 132, antiAliased, false, 99, 1.0f);
  if (display == nullptr) {
    state.SkipWithError("no display");
    return;
  }
  display->displayMode = kDisplayModeTaRa;
  for (auto _ : state) {
    DrawTrafficLayer(*display);
    benchmark::DoNotOptimize(display->trafficBox);
  }
  state.SetLabel(antiAliased ? "anti-aliased 265x265" : "plain 132x132");
  DestroyIvsiDisplay(display);
}
BENCHMARK(BM_DrawTrafficLayer)
    ->ArgNames({"intruders", "aa"})
    ->ArgsProduct({{10, 100}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// The yardstick of the goals: a plain copy of the anti-aliased surface's 265 x 265 pixels.
void BM_CopyAntiAliasedSurface(benchmark::State& state) {
  std::vector<uint32_t> from(265 * 265, 0x10), to(265 * 265);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size() * sizeof(uint32_t));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CopyAntiAliasedSurface)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

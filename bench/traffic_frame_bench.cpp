// One traffic frame (`Update`, including the collision-avoidance library) with 1, 10 and 100 intruders,
// through each feed: the FSUIPC tables served by the host's FSUIPC server, and the host's ITrafficInfo.
// The intruders converge on the own aircraft from all around, within a few miles, so the library tracks
// every one of them and issues advisories: the expensive case. With 99 intruders (what the FSUIPC tables
// hold) both feeds serve the same aircraft at the same positions, so the collision library does the same
// work and the difference between the two is the feed's own cost. The counters are per-frame averages.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "host/fsuipc/fsuipc_server.h"
#include "host/panel_services.h"
#include "host/traffic/traffic_info_service.h"
#include "module/gauge/gauge.h"
#include "module/link/fsuipc.h"
#include "module/logic/logic.h"

namespace {

using namespace kvr;

constexpr double kOwnLatitudeDeg = 47.0, kOwnLongitudeDeg = 8.0;
constexpr float kOwnAltitudeFt = 8000.0f;

// Intruder i of n at frame f: on a ring closing in at 300 kt, staggered in height around the own level.
host::TrafficTarget Intruder(int i, int n, int frame) {
  const double bearing = 2 * M_PI * i / n;
  const double rangeNm = 6.0 - frame * 300.0 / 3600.0 + 0.01 * i;
  host::TrafficTarget t;
  t.id = static_cast<uint32_t>(1000 + i);
  t.position.latitudeDeg = kOwnLatitudeDeg + rangeNm * std::cos(bearing) / 60.0;
  t.position.longitudeDeg =
      kOwnLongitudeDeg + rangeNm * std::sin(bearing) / 60.0 / std::cos(kOwnLatitudeDeg * M_PI / 180);
  t.altitudeFt = kOwnAltitudeFt + ((i % 7) - 3) * 250.0;
  return t;
}

class Host {
 public:
  host::PanelServices services;
  host::FsuipcServer fsuipc;
  host::TrafficInfoService trafficInfo;
  Host() {
    ImportTable.panel.table = services.Table();
    fsuipc::testing::Reset();
    OpenLinkAtLoad();
    trafficInfo.Register(services);
  }
  ~Host() {
    CloseLinkAtUnload();
    ImportTable.panel.table = nullptr;
  }
  void Serve(int n, int frame) {
    std::vector<host::TrafficTarget> targets;
    targets.reserve(n);
    for (int i = 0; i < n; ++i) targets.push_back(Intruder(i, n, frame));
    fsuipc.Poke<uint16_t>(0xF000, 40);
    fsuipc.Poke<uint16_t>(0xF002, 99);
    const int slots = std::min(n, 99);  // what fits the tables behind 0xF080
    fsuipc.Poke<uint16_t>(0xF004, static_cast<uint16_t>(slots));
    for (int i = 0; i < slots; ++i) {
      const uint32_t at = 0xF080 + 40u * static_cast<uint32_t>(i);
      fsuipc.Poke<uint32_t>(at, targets[i].id);
      fsuipc.Poke<float>(at + 4, static_cast<float>(targets[i].position.latitudeDeg));
      fsuipc.Poke<float>(at + 8, static_cast<float>(targets[i].position.longitudeDeg));
      fsuipc.Poke<float>(at + 12, static_cast<float>(targets[i].altitudeFt));
    }
    trafficInfo.SetOwnPosition({kOwnLatitudeDeg, kOwnLongitudeDeg});
    trafficInfo.SetTraffic(std::move(targets));
  }
};

template <typename Source>
void TrafficFrame(benchmark::State& state) {
  Host host;
  const int n = static_cast<int>(state.range(0));
  Source source;
  int frame = 0;
  double intruders = 0, ras = 0, tas = 0;
  for (auto _ : state) {
    state.PauseTiming();
    host.Serve(n, frame % 60);
    state.ResumeTiming();
    source.Update(kOwnLatitudeDeg, kOwnLongitudeDeg, kOwnAltitudeFt, kOwnAltitudeFt, kOwnAltitudeFt, 0.0f,
                  OperatingMode::TaRa);
    ++frame;
    intruders += source.intruderCount;
    ras += source.raCount;
    tas += source.taCount;
  }
  state.counters["intruders"] = benchmark::Counter(intruders, benchmark::Counter::kAvgIterations);
  state.counters["RAs"] = benchmark::Counter(ras, benchmark::Counter::kAvgIterations);
  state.counters["TAs"] = benchmark::Counter(tas, benchmark::Counter::kAvgIterations);
}

// The FSUIPC tables hold 99 slots behind their header in the module's traffic buffer.
BENCHMARK(TrafficFrame<FsuipcTrafficSource>)->Arg(1)->Arg(10)->Arg(99)->Unit(benchmark::kMicrosecond);
BENCHMARK(TrafficFrame<TrafficInfoSource>)->Arg(1)->Arg(10)->Arg(99)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

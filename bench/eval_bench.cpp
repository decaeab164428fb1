// Encounter evaluation throughput on one core: one generated encounter flown both ways (advisories
// followed and ignored) through the real module, as "kvr-panel eval" flies it, pictures and audio off.
// items_per_second is encounter pairs per second per core. Argument: simulator frames a second (the eval's
// default is 6; 18 is the simulator's own rate).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/eval/encounter_generator.h"
#include "host/eval/evaluation.h"

namespace {

namespace fs = std::filesystem;

const int kQuietSound = setenv("ALSOFT_DRIVERS", "null", /*overwrite=*/0);

fs::path BinDir() { return fs::read_symlink("/proc/self/exe").parent_path(); }

void EncounterPairs(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / "kvr_eval_bench";
  fs::create_directories(dir);
  kvr::host::EvalSettings settings;
  settings.gaugesDir = BinDir();
  settings.panelFile = dir / "panel.cfg";
  settings.frameRateHz = static_cast<double>(state.range(0));
  kvr::host::WriteEvalPanel(settings.panelFile);
  // A handful of the development set's encounters, flown in turn.
  constexpr int kEncounters = 8;
  kvr::host::WriteEncounterSet(dir / "set", kEncounters, 1);
  int k = 0, failed = 0;
  for (auto _ : state) {
    char name[32];
    std::snprintf(name, sizeof name, "enc_%06d.txt", k % kEncounters + 1);
    const kvr::host::EncounterRow row = kvr::host::EvaluateEncounter(dir / "set" / name, k, settings);
    failed += !row.error.empty();
    benchmark::DoNotOptimize(row.hmdEquippedFt);
    ++k;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["failed"] = failed;
  fs::remove_all(dir);
}
BENCHMARK(EncounterPairs)->Arg(6)->Arg(18)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();

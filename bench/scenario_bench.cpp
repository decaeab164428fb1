// A whole headless run of the hundred-intruder scenario through the loaded module, as `kvr-panel run` flies
// it: 90 simulated seconds, 1620 panel frames, without pictures and with a picture of the panel each
// simulated second (frames/NNNN.png, panel.gif, final.png). The counter x_realtime is simulated time over
// wall time, x_realtime_cpu over the process's processor time (the fair figure on a shared, loaded
// machine); ms_per_picture is the processor time a picture adds, from the two runs of one program.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "host/scenario/scenario.h"
#include "host/scenario/scenario_runner.h"

namespace {

namespace fs = std::filesystem;

fs::path BinDir() { return fs::read_symlink("/proc/self/exe").parent_path(); }

double gCpuSecondsWithout = 0;  // processor seconds of one run without pictures, for ms_per_picture

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

void HundredIntruders(benchmark::State& state) {
  const bool pictures = state.range(0) != 0;
  const kvr::host::Scenario scenario = kvr::host::LoadScenario(fs::path(KVR_SCENARIO_DIR) / "hundred_intruders.toml");
  const fs::path out = fs::temp_directory_path() / ("kvr_scenario_bench_" + std::to_string(getpid()));
  double seconds = 0, cpuSeconds = 0;
  int runs = 0, picturesWritten = 0;
  for (auto _ : state) {
    kvr::host::RunOptions options;
    options.gaugesDir = BinDir();
    options.outDir = out;
    options.pictures = pictures;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    kvr::host::ScenarioRun run(scenario, options);
    run.RunToEnd();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cpuSeconds += ProcessCpuSeconds() - cpuStart;
    if (run.Pictures() != nullptr) picturesWritten = run.Pictures()->FramesWritten();
    ++runs;
  }
  fs::remove_all(out);
  const double cpuPerRun = cpuSeconds / runs;
  state.counters["x_realtime"] = scenario.durationS / (seconds / runs);
  state.counters["x_realtime_cpu"] = scenario.durationS / cpuPerRun;
  if (!pictures) gCpuSecondsWithout = cpuPerRun;
  if (pictures && gCpuSecondsWithout > 0 && picturesWritten > 0) {
    state.counters["pictures"] = picturesWritten;
    state.counters["ms_per_picture"] = (cpuPerRun - gCpuSecondsWithout) * 1000.0 / picturesWritten;
  }
  state.SetLabel(pictures ? "a picture each second" : "pictures off");
}
BENCHMARK(HundredIntruders)
    ->ArgName("pictures")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();

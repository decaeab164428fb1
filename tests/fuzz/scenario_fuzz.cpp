// The scenario TOML over any text, in a folder that holds the panel it may name: a scenario, or a
// ScenarioError with the file and line; nothing else.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/scenario/scenario.h"

namespace {
std::filesystem::path scenarioFile;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const auto dir = std::filesystem::temp_directory_path() / ("kvr_scenario_fuzz_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "panel.cfg") << "[Window00]\ngauge00=KVR_TCAS!Logic, 0, 0, 1, 1\n";
  scenarioFile = dir / "fuzz.toml";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const kvr::host::Scenario scenario = kvr::host::ParseScenario(text, scenarioFile);
    (void)scenario.FrameCount();
  } catch (const kvr::host::ScenarioError&) {
  }
  return 0;
}

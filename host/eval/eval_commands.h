// The command line of "kvr-panel encounters", "kvr-panel eval" and "kvr-panel eval merge".
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "host/eval/eval_runner.h"

namespace CLI {
class App;
}

namespace kvr::host {

struct EvalCommands {
  CLI::App* encounters = nullptr;
  CLI::App* eval = nullptr;
  CLI::App* merge = nullptr;
  // encounters
  int count = 1000;
  uint64_t seed = 1;
  std::filesystem::path encountersOut;
  // eval
  std::filesystem::path encounterDir;
  std::filesystem::path evalOut = "out/eval";
  int jobs = 0;  // 0: one per core
  std::string shard = "1/1";
  double frameRateHz = 6;
  bool equippedIntruder = false;
  bool profiles = false;
  SurveillanceSpec surveillance;
  // merge
  std::vector<std::filesystem::path> mergeInputs;
  std::filesystem::path mergeOut;
};

void AddEvalCommands(CLI::App& app, EvalCommands& commands, std::filesystem::path& gaugesDir);

// Runs the command that was parsed and returns its exit status; -1 when none of them was.
int RunEvalCommands(const EvalCommands& commands, const std::filesystem::path& gaugesDir);

}  // namespace kvr::host

// "kvr-panel eval": flies a folder of paired-track encounters in worker processes and writes results.csv
// and the report; "kvr-panel eval merge" joins the results of shards.
//
// The encounters are the folder's *.txt files in name order; encounter k (from 0) belongs to shard
// K/N when k mod N = K - 1. Each worker process flies every jobs-th encounter of the shard and reports
// each row to the parent as one line; the parent keeps them in encounter order. A worker that dies leaves
// rows with an error for the encounters it did not report.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host/eval/evaluation.h"

namespace kvr::host {

struct Shard {
  int index = 1;  // K, from 1
  int count = 1;  // N
};
// "K/N" with 1 <= K <= N; throws std::invalid_argument with the reason.
Shard ParseShard(const std::string& text);

struct EvalProgress {
  int done = 0, total = 0;
  int nmacUnequipped = 0, nmacEquipped = 0, errors = 0;
};

struct EvalJob {
  std::filesystem::path encounterDir;
  std::filesystem::path outDir;
  EvalSettings settings;  // panelFile is set by the run
  Shard shard;
  int jobs = 1;
  std::function<void(const EvalProgress&)> onProgress;
};

// The encounter files of a folder in name order; throws when there are none.
std::vector<std::filesystem::path> EncounterFiles(const std::filesystem::path& dir);

// Flies the shard and returns its rows in encounter order.
std::vector<EncounterRow> RunEvaluation(const EvalJob& job);

// Writes results.csv into `dir`.
void WriteResults(const std::filesystem::path& dir, const std::vector<EncounterRow>& rows);

// The rows of several results.csv files in encounter order; an index found twice with different
// contents is an error (the same row twice is kept once).
std::vector<EncounterRow> MergeResults(const std::vector<std::filesystem::path>& files);

}  // namespace kvr::host

// "kvr-panel eval": flies a folder of paired-track encounters in worker processes and writes results.csv
// and the report; "kvr-panel eval merge" joins the results of shards.
//
// The encounters are the folder's *.txt files in name order; encounter k (from 0) belongs to shard
// K/N when k mod N = K - 1. Each worker process flies every jobs-th encounter of the shard, in order, and
// reports each row to the parent as one line that names the encounter by its index only (file names never
// cross the pipe); the parent keeps them in encounter order. An encounter that fails is a row with its
// reason, and the evaluation goes on: a worker that dies leaves a failed row for the encounter it was
// flying, and a new worker takes the rest of its share.
//
// With an output folder, results.csv there grows a row as each encounter is flown, beside eval_run.txt,
// the record of what the results are of (see ResultsRecord); a later run of the same set, settings and
// shard into the same folder flies only the encounters without a good row. The finished results.csv is
// written in encounter order in the end.
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
  bool operator==(const Shard&) const = default;
};
// "K/N" with 1 <= K <= N; throws std::invalid_argument with the reason.
Shard ParseShard(const std::string& text);

struct EvalProgress {
  int done = 0, total = 0;
  int nmacUnequipped = 0, nmacEquipped = 0, errors = 0;
};

struct EvalJob {
  std::filesystem::path encounterDir;
  std::filesystem::path outDir;  // empty: no results.csv as the run goes, and no resuming
  EvalSettings settings;         // panelFile is set by the run
  Shard shard;
  int jobs = 1;
  std::function<void(const EvalProgress&)> onProgress;
};

// The encounter files of a folder in name order; throws when there are none.
std::vector<std::filesystem::path> EncounterFiles(const std::filesystem::path& dir);

// What a results.csv holds the results of, kept beside it as eval_run.txt: the encounter set (a fingerprint
// of its files' names and contents, and their number), the settings that change the figures, the build of
// the module and library that flew them, and the shard. A folder is resumed, and shards are merged, only
// when these agree.
struct ResultsRecord {
  std::string setFingerprint;     // 16 hex digits
  int encounters = 0;             // in the whole set
  std::string settings;           // "frameRateHz=18 equippedIntruder=0 ..."
  std::string moduleFingerprint;  // 16 hex digits, of KVR_TCAS.gau and the Avertine library beside it
  Shard shard;
  bool operator==(const ResultsRecord&) const = default;
};
inline constexpr const char* kResultsRecordName = "eval_run.txt";

ResultsRecord RecordFor(const std::vector<std::filesystem::path>& files, const EvalSettings& settings, Shard shard);
void WriteRecord(const std::filesystem::path& dir, const ResultsRecord& record);
// Throws std::runtime_error "FILE:LINE: reason"; Parse reads `text` as the contents of `file`.
ResultsRecord ReadRecord(const std::filesystem::path& file);
ResultsRecord ParseRecord(const std::string& text, const std::filesystem::path& file);

// Flies the shard and returns its rows in encounter order. Throws Stopped (see stop_signals.h) when
// SIGINT or SIGTERM arrives; the workers started are killed and reaped whenever it throws.
std::vector<EncounterRow> RunEvaluation(const EvalJob& job);

// Writes results.csv into `dir`, staged and then renamed into place.
void WriteResults(const std::filesystem::path& dir, const std::vector<EncounterRow>& rows);

// The rows of the shards' results.csv files in encounter order, each with the eval_run.txt beside it,
// and the record of the whole they make. Throws std::runtime_error naming the file when a record is
// missing or belongs to another set or other settings, when a shard comes twice or one is missing, or
// when an index is found twice with different contents (the same row twice is kept once).
struct MergedResults {
  std::vector<EncounterRow> rows;
  ResultsRecord record;
};
MergedResults MergeResults(const std::vector<std::filesystem::path>& files);

}  // namespace kvr::host

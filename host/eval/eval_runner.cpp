#include "host/eval/eval_runner.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>

#include "host/scenario/noise_source.h"
#include "host/scenario/output_folder.h"
#include "host/scenario/stop_signals.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string ShardText(Shard s) { return std::to_string(s.index) + "/" + std::to_string(s.count); }

// The first field of a row that is not a finite number; empty when all are.
std::string NonFiniteField(const EncounterRow& r) {
  const std::pair<const char*, double> fields[] = {
      {"ownAltitudeFt", r.ownAltitudeFt},     {"hmdUnequippedFt", r.hmdUnequippedFt},
      {"vmdUnequippedFt", r.vmdUnequippedFt}, {"hmdEquippedFt", r.hmdEquippedFt},
      {"vmdEquippedFt", r.vmdEquippedFt},     {"firstTaS", r.firstTaS.value_or(0)},
      {"firstRaS", r.firstRaS.value_or(0)}};
  for (const auto& [name, value] : fields)
    if (!std::isfinite(value)) return name;
  for (double d : r.raDurationsS)
    if (!std::isfinite(d)) return "raDurationsS";
  return {};
}

// The line a worker sends for a row: the row without its encounter's name, which the parent knows by
// the index (a name may hold commas or line breaks).
std::string WorkerLine(EncounterRow row) {
  if (row.error.empty())
    if (const std::string field = NonFiniteField(row); !field.empty()) {
      const int index = row.index;
      row = EncounterRow{};
      row.index = index;
      row.error = "the flight gave " + field + " that is not a finite number";
    }
  row.encounter.assign(1, '-');
  return ResultLine(row) + "\n";
}

EncounterRow FailedRow(int index, const fs::path& file, const std::string& why) {
  EncounterRow row;
  row.index = index;
  row.encounter = file.stem().string();
  row.error = why;
  return row;
}

// The worker processes of one evaluation. Whatever way RunEvaluation leaves (a finished run, an error
// in pipe, fork or reading, a stop signal), those still running are killed and all are reaped.
class Workers {
 public:
  struct Worker {
    pid_t pid = -1;
    int fd = -1;
    std::string pending;    // bytes after the last full line
    std::deque<int> queue;  // encounter indices not reported yet, the first being flown
  };

  ~Workers() {
    for (Worker& w : workers_) {
      if (w.fd >= 0) ::close(w.fd);
      if (w.pid > 0) {
        ::kill(w.pid, SIGKILL);
        Reap(w);
      }
    }
  }

  std::vector<Worker>& All() { return workers_; }

  // Starts a worker that flies `queue` and reports each row on its pipe.
  void Start(std::deque<int> queue, const std::vector<fs::path>& files, const EvalSettings& settings) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
      const int error = errno;
      ::close(fds[0]);
      ::close(fds[1]);
      throw std::runtime_error(std::string("cannot start a worker process: ") + std::strerror(error));
    }
    if (pid == 0) {
      // The child never returns into the parent's code: everything ends in _exit.
      std::signal(SIGINT, SIG_DFL);
      std::signal(SIGTERM, SIG_DFL);
      ::close(fds[0]);
      for (const Worker& other : workers_)
        if (other.fd >= 0) ::close(other.fd);
      try {
        for (int k : queue)
          if (!WriteAll(fds[1], WorkerLine(EvaluateEncounter(files[static_cast<size_t>(k)], k, settings)))) ::_exit(3);
      } catch (...) {
        ::_exit(4);
      }
      ::_exit(0);
    }
    ::close(fds[1]);
    Worker w;
    w.pid = pid;
    w.fd = fds[0];
    w.queue = std::move(queue);
    workers_.push_back(std::move(w));
  }

  // Waits for a worker whose pipe has closed; why it ended, for the encounter it was flying.
  static std::string Reap(Worker& w) {
    int status = 0;
    while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    w.pid = -1;
    if (WIFSIGNALED(status)) return "the worker process was killed by signal " + std::to_string(WTERMSIG(status));
    if (WEXITSTATUS(status) != 0) return "the worker process ended with status " + std::to_string(WEXITSTATUS(status));
    return "the worker process ended without reporting it";
  }

 private:
  std::vector<Worker> workers_;
};

// results.csv as the run goes: the rows found there from an earlier run of the same record, and a row
// appended (and flushed) as each encounter is flown.
class ResultsJournal {
 public:
  ResultsJournal(const fs::path& dir, const ResultsRecord& record) {
    fs::create_directories(dir);
    const fs::path results = dir / "results.csv", recordFile = dir / kResultsRecordName;
    if (fs::exists(results)) {
      if (!fs::exists(recordFile))
        throw std::runtime_error(results.string() + " has no " + kResultsRecordName +
                                 " beside it, so it cannot be resumed; choose another --out");
      if (ReadRecord(recordFile) != record)
        throw std::runtime_error(dir.string() +
                                 " holds the results of another evaluation (another set, settings or shard: see " +
                                 recordFile.string() + "); choose another --out");
      Load(results);
    }
    WriteRecord(dir, record);
    // Written afresh, without a row the last run may have left half written, before rows are appended.
    WriteResults(dir, resumed_);
    out_.open(results, std::ios::app);
    if (!out_) throw std::runtime_error("cannot write " + results.string());
    file_ = results;
  }

  const std::vector<EncounterRow>& Resumed() const { return resumed_; }

  void Add(const EncounterRow& row) {
    WriteResultRow(out_, row);
    out_.flush();
    if (!out_) throw std::runtime_error("cannot write " + file_.string());
  }

 private:
  void Load(const fs::path& results) {
    std::ifstream in(results, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    size_t begin = 0;
    int lineNo = 0;
    for (size_t end; (end = all.find('\n', begin)) != std::string::npos; begin = end + 1) {
      std::string line = all.substr(begin, end - begin);
      if (++lineNo == 1) {
        if (line.rfind("index,encounter,", 0) != 0)
          throw std::runtime_error(results.string() + ":1: not a results.csv header");
        continue;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) resumed_.push_back(ParseResultLine(line, results.string() + ":" + std::to_string(lineNo)));
    }
    // Bytes after the last line break are a row cut short when the last run stopped: flown again.
  }

  std::vector<EncounterRow> resumed_;
  std::ofstream out_;
  fs::path file_;
};

std::string SettingsText(const EvalSettings& s) {
  std::ostringstream t;
  t.precision(17);
  t << "frameRateHz=" << s.frameRateHz << " equippedIntruder=" << int(s.equippedIntruder)
    << " altitudeStepFt=" << s.surveillance.altitudeStepFt << " rangeSigmaFt=" << s.surveillance.rangeSigmaFt
    << " bearingSigmaDeg=" << s.surveillance.bearingSigmaDeg << " replyLossRate=" << s.surveillance.replyLossRate
    << " noiseSeed=" << s.surveillance.seed;
  return t.str();
}

}  // namespace

Shard ParseShard(const std::string& text) {
  const size_t slash = text.find('/');
  Shard s;
  try {
    size_t used = 0;
    if (slash == std::string::npos) throw std::invalid_argument("");
    s.index = std::stoi(text.substr(0, slash), &used);
    if (used != slash) throw std::invalid_argument("");
    s.count = std::stoi(text.substr(slash + 1), &used);
    if (used != text.size() - slash - 1) throw std::invalid_argument("");
  } catch (const std::exception&) {
    throw std::invalid_argument("--shard \"" + text + "\" must be K/N, two whole numbers");
  }
  if (s.count < 1 || s.index < 1 || s.index > s.count)
    throw std::invalid_argument("--shard " + text + ": K must run from 1 to N");
  return s;
}

std::vector<fs::path> EncounterFiles(const fs::path& dir) {
  if (!fs::is_directory(dir)) throw std::runtime_error(dir.string() + ": not a folder of encounters");
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file() && entry.path().extension() == ".txt") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  if (files.empty()) throw std::runtime_error(dir.string() + ": holds no encounter files (*.txt)");
  return files;
}

// A fingerprint of files: each one's name and contents, in order, with their lengths so that no two lists
// run together alike. A file that cannot be read counts as empty.
std::string Fingerprint(const std::vector<fs::path>& files) {
  const auto hex = [](uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return std::string(text);
  };
  std::string identity;
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    const std::string name = file.filename().string(), text = contents.str();
    identity += std::to_string(name.size()) + ":" + name + std::to_string(text.size()) + ":" + hex(StableHash(text));
  }
  return hex(StableHash(identity));
}

ResultsRecord RecordFor(const std::vector<fs::path>& files, const EvalSettings& settings, Shard shard) {
  std::vector<fs::path> module;
  for (const char* name : {"KVR_TCAS.gau", "libAvertine.so"})
    if (fs::is_regular_file(settings.gaugesDir / name)) module.push_back(settings.gaugesDir / name);
  return {Fingerprint(files), static_cast<int>(files.size()), SettingsText(settings), Fingerprint(module), shard};
}

void WriteRecord(const fs::path& dir, const ResultsRecord& r) {
  WriteFileStaged(dir / kResultsRecordName, [&](const fs::path& file) {
    std::ofstream out(file);
    out << "# What results.csv beside this file holds the results of; kvr-panel eval resumes, and eval merge\n"
           "# joins shards, only when these agree.\n"
        << "set " << r.setFingerprint << " " << r.encounters << "\n"
        << "settings " << r.settings << "\n"
        << "module " << r.moduleFingerprint << "\n"
        << "shard " << ShardText(r.shard) << "\n";
    out.close();
    if (!out) throw std::runtime_error("cannot write " + file.string());
  });
}

ResultsRecord ReadRecord(const fs::path& file) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error(file.string() + ":1: cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  return ParseRecord(text.str(), file);
}

ResultsRecord ParseRecord(const std::string& text, const fs::path& file) {
  std::istringstream in(text);
  ResultsRecord r;
  std::set<std::string> seen;
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (line.empty() || line[0] == '#') continue;
    const std::string where = file.string() + ":" + std::to_string(lineNo) + ": ";
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space), value = space == std::string::npos ? "" : line.substr(space + 1);
    if (!seen.insert(key).second) throw std::runtime_error(where + "\"" + key + "\" given twice");
    if (key == "set") {
      std::istringstream v(value);
      if (!(v >> r.setFingerprint >> r.encounters) || r.setFingerprint.size() != 16 || r.encounters < 1)
        throw std::runtime_error(where +
                                 "\"set\" must give a fingerprint of 16 hex digits and the number of encounters");
    } else if (key == "settings") {
      r.settings = value;
    } else if (key == "module") {
      if (value.size() != 16) throw std::runtime_error(where + "\"module\" must give a fingerprint of 16 hex digits");
      r.moduleFingerprint = value;
    } else if (key == "shard") {
      try {
        r.shard = ParseShard(value);
      } catch (const std::invalid_argument& e) {
        throw std::runtime_error(where + e.what());
      }
    } else {
      throw std::runtime_error(where + "unknown entry \"" + key + "\"");
    }
  }
  for (const char* key : {"set", "settings", "module", "shard"})
    if (seen.count(key) == 0)
      throw std::runtime_error(file.string() + ":" + std::to_string(lineNo) + ": no \"" + key + "\" entry");
  return r;
}

std::vector<EncounterRow> RunEvaluation(const EvalJob& job) {
  const std::vector<fs::path> all = EncounterFiles(job.encounterDir);
  std::vector<int> mine;  // indices into `all`
  for (int k = 0; k < static_cast<int>(all.size()); ++k)
    if (k % job.shard.count == job.shard.index - 1) mine.push_back(k);
  std::map<int, EncounterRow> rows;
  EvalProgress progress;
  progress.total = static_cast<int>(mine.size());
  const auto record = [&](EncounterRow row) {
    ++progress.done;
    progress.nmacUnequipped += row.nmacUnequipped;
    progress.nmacEquipped += row.nmacEquipped;
    progress.errors += !row.error.empty();
    rows[row.index] = std::move(row);
  };

  std::optional<ResultsJournal> journal;
  if (!job.outDir.empty()) {
    journal.emplace(job.outDir, RecordFor(all, job.settings, job.shard));
    for (const EncounterRow& row : journal->Resumed())
      if (row.error.empty() && std::binary_search(mine.begin(), mine.end(), row.index) && rows.count(row.index) == 0)
        record(row);
  }
  if (job.onProgress) job.onProgress(progress);
  std::vector<int> todo;
  for (int k : mine)
    if (rows.count(k) == 0) todo.push_back(k);

  const auto finish = [&](EncounterRow row) {
    if (journal) journal->Add(row);
    record(std::move(row));
    if (job.onProgress) job.onProgress(progress);
  };

  Workers workers;
  if (!todo.empty()) {
    const size_t jobs = static_cast<size_t>(std::clamp(job.jobs, 1, static_cast<int>(todo.size())));
    std::vector<std::deque<int>> shares(jobs);
    for (size_t m = 0; m < todo.size(); ++m) shares[m % jobs].push_back(todo[m]);
    for (std::deque<int>& share : shares) workers.Start(std::move(share), all, job.settings);
  }

  std::vector<pollfd> polls;
  for (;;) {
    StopSignals::ThrowIfCaught();
    polls.clear();
    for (const auto& w : workers.All())
      if (w.fd >= 0) polls.push_back({w.fd, POLLIN, 0});
    if (polls.empty()) break;
    if (::poll(polls.data(), polls.size(), -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("waiting for the workers failed: ") + std::strerror(errno));
    }
    for (size_t i = 0; i < workers.All().size(); ++i) {
      auto& w = workers.All()[i];
      if (w.fd < 0) continue;
      const auto it = std::find_if(polls.begin(), polls.end(), [&](const pollfd& p) { return p.fd == w.fd; });
      if (it == polls.end() || it->revents == 0) continue;
      char buffer[8192];
      const ssize_t n = ::read(w.fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n > 0) {
        w.pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = w.pending.find('\n')) != std::string::npos && !w.queue.empty();) {
          const std::string line = w.pending.substr(0, end);
          w.pending.erase(0, end + 1);
          const int k = w.queue.front();
          w.queue.pop_front();
          const fs::path& file = all[static_cast<size_t>(k)];
          EncounterRow row;
          try {
            row = ParseResultLine(line, "the worker's report");
            if (row.index != k) throw std::runtime_error("the worker reported encounter " + std::to_string(row.index));
            row.encounter = file.stem().string();
          } catch (const std::exception& e) {
            row = FailedRow(k, file, std::string("its result could not be read: ") + e.what());
          }
          finish(std::move(row));
        }
        continue;
      }
      // The worker is done, or died: the encounter it was flying failed, and a new worker takes the rest.
      ::close(w.fd);
      w.fd = -1;
      const std::string why = Workers::Reap(w);
      std::deque<int> rest = std::move(w.queue);
      w.queue.clear();
      if (rest.empty()) continue;
      finish(FailedRow(rest.front(), all[static_cast<size_t>(rest.front())], why + " while flying it"));
      rest.pop_front();
      if (!rest.empty()) workers.Start(std::move(rest), all, job.settings);
    }
  }
  std::vector<EncounterRow> ordered;
  ordered.reserve(rows.size());
  for (auto& [k, row] : rows) ordered.push_back(std::move(row));
  return ordered;
}

void WriteResults(const fs::path& dir, const std::vector<EncounterRow>& rows) {
  fs::create_directories(dir);
  WriteFileStaged(dir / "results.csv", [&](const fs::path& file) {
    std::ofstream out(file);
    WriteResultsHeader(out);
    for (const EncounterRow& row : rows) WriteResultRow(out, row);
    out.close();
    if (!out) throw std::runtime_error("cannot write " + (dir / "results.csv").string());
  });
}

MergedResults MergeResults(const std::vector<fs::path>& files) {
  MergedResults merged;
  std::map<int, fs::path> shards;  // K, file
  for (const fs::path& file : files) {
    const fs::path recordFile = file.parent_path() / kResultsRecordName;
    if (!fs::exists(recordFile))
      throw std::runtime_error(file.string() + ": no " + kResultsRecordName +
                               " beside it, so which set, settings and shard it holds is unknown");
    const ResultsRecord r = ReadRecord(recordFile);
    if (shards.empty()) {
      merged.record = r;
    } else {
      const ResultsRecord& first = merged.record;
      const fs::path& firstFile = shards.begin()->second;
      if (r.setFingerprint != first.setFingerprint || r.encounters != first.encounters)
        throw std::runtime_error(file.string() + ": flown on another encounter set than " + firstFile.string());
      if (r.settings != first.settings)
        throw std::runtime_error(file.string() + ": flown with other settings than " + firstFile.string() + " (" +
                                 r.settings + " against " + first.settings + ")");
      if (r.moduleFingerprint != first.moduleFingerprint)
        throw std::runtime_error(file.string() + ": flown with another build of the module than " + firstFile.string());
      if (r.shard.count != first.shard.count)
        throw std::runtime_error(file.string() + ": shard " + ShardText(r.shard) + " of another division than " +
                                 firstFile.string() + " (shard " + ShardText(first.shard) + ")");
    }
    const auto [at, fresh] = shards.try_emplace(r.shard.index, file);
    if (!fresh)
      throw std::runtime_error(file.string() + ": shard " + ShardText(r.shard) + " again, already given as " +
                               at->second.string());
  }
  for (int k = 1; k <= merged.record.shard.count; ++k)
    if (shards.count(k) == 0)
      throw std::runtime_error("shard " + std::to_string(k) + "/" + std::to_string(merged.record.shard.count) +
                               " is missing from the files merged");

  std::map<int, std::pair<std::string, EncounterRow>> rows;  // line as written, row
  for (const auto& [k, file] : shards)
    for (EncounterRow& row : ReadResults(file)) {
      const std::string line = ResultLine(row);
      const auto [it, fresh] = rows.try_emplace(row.index, line, row);
      if (!fresh && it->second.first != line)
        throw std::runtime_error(file.string() + ": encounter " + std::to_string(row.index) + " (" + row.encounter +
                                 ") differs from the same encounter in an earlier file");
    }
  for (auto& [k, entry] : rows) merged.rows.push_back(std::move(entry.second));
  merged.record.shard = {1, 1};
  return merged;
}

}  // namespace kvr::host

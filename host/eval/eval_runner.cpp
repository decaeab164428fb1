#include "host/eval/eval_runner.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>

namespace kvr::host {
namespace {

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

struct Worker {
  pid_t pid = -1;
  int fd = -1;
  std::string pending;  // bytes after the last full line
  std::vector<int> assigned;  // indices into the shard's list
};

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

std::vector<std::filesystem::path> EncounterFiles(const std::filesystem::path& dir) {
  if (!std::filesystem::is_directory(dir)) throw std::runtime_error(dir.string() + ": not a folder of encounters");
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.is_regular_file() && entry.path().extension() == ".txt") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  if (files.empty()) throw std::runtime_error(dir.string() + ": holds no encounter files (*.txt)");
  return files;
}

std::vector<EncounterRow> RunEvaluation(const EvalJob& job) {
  const std::vector<std::filesystem::path> all = EncounterFiles(job.encounterDir);
  std::vector<int> mine;  // indices into `all`
  for (int k = 0; k < static_cast<int>(all.size()); ++k)
    if (k % job.shard.count == job.shard.index - 1) mine.push_back(k);
  std::map<int, EncounterRow> rows;
  EvalProgress progress;
  progress.total = static_cast<int>(mine.size());
  if (job.onProgress) job.onProgress(progress);
  if (mine.empty()) return {};

  const int jobs = std::clamp(job.jobs, 1, static_cast<int>(mine.size()));
  std::vector<Worker> workers(static_cast<size_t>(jobs));
  for (size_t m = 0; m < mine.size(); ++m) workers[m % workers.size()].assigned.push_back(mine[m]);
  std::fflush(nullptr);
  for (Worker& w : workers) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("cannot start a worker process: ") + std::strerror(errno));
    if (pid == 0) {
      ::close(fds[0]);
      for (const Worker& other : workers)
        if (other.fd >= 0) ::close(other.fd);
      for (int k : w.assigned) {
        const EncounterRow row = EvaluateEncounter(all[static_cast<size_t>(k)], k, job.settings);
        if (!WriteAll(fds[1], ResultLine(row) + "\n")) ::_exit(3);
      }
      ::_exit(0);
    }
    ::close(fds[1]);
    w.pid = pid;
    w.fd = fds[0];
  }

  std::vector<pollfd> polls;
  for (;;) {
    polls.clear();
    for (const Worker& w : workers)
      if (w.fd >= 0) polls.push_back({w.fd, POLLIN, 0});
    if (polls.empty()) break;
    if (::poll(polls.data(), polls.size(), -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("waiting for the workers failed: ") + std::strerror(errno));
    }
    for (Worker& w : workers) {
      if (w.fd < 0) continue;
      const auto it = std::find_if(polls.begin(), polls.end(), [&](const pollfd& p) { return p.fd == w.fd; });
      if (it == polls.end() || it->revents == 0) continue;
      char buffer[8192];
      const ssize_t n = ::read(w.fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ::close(w.fd);
        w.fd = -1;
        continue;
      }
      w.pending.append(buffer, static_cast<size_t>(n));
      for (size_t end; (end = w.pending.find('\n')) != std::string::npos;) {
        EncounterRow row = ParseResultLine(w.pending.substr(0, end), "worker");
        w.pending.erase(0, end + 1);
        ++progress.done;
        progress.nmacUnequipped += row.nmacUnequipped;
        progress.nmacEquipped += row.nmacEquipped;
        progress.errors += !row.error.empty();
        rows[row.index] = std::move(row);
        if (job.onProgress) job.onProgress(progress);
      }
    }
  }
  for (Worker& w : workers) {
    int status = 0;
    while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    std::string why;
    if (WIFSIGNALED(status)) why = "the worker process was killed by signal " + std::to_string(WTERMSIG(status));
    else if (WEXITSTATUS(status) != 0) why = "the worker process ended with status " + std::to_string(WEXITSTATUS(status));
    else why = "the worker process ended without reporting it";
    for (int k : w.assigned)
      if (rows.count(k) == 0) {
        EncounterRow row;
        row.index = k;
        row.encounter = all[static_cast<size_t>(k)].stem().string();
        row.error = why;
        rows[k] = row;
        ++progress.errors;
      }
  }
  std::vector<EncounterRow> ordered;
  ordered.reserve(rows.size());
  for (auto& [k, row] : rows) ordered.push_back(std::move(row));
  return ordered;
}

void WriteResults(const std::filesystem::path& dir, const std::vector<EncounterRow>& rows) {
  std::filesystem::create_directories(dir);
  std::ofstream out(dir / "results.csv");
  WriteResultsHeader(out);
  for (const EncounterRow& row : rows) WriteResultRow(out, row);
  out.close();
  if (!out) throw std::runtime_error("cannot write " + (dir / "results.csv").string());
}

std::vector<EncounterRow> MergeResults(const std::vector<std::filesystem::path>& files) {
  std::map<int, std::pair<std::string, EncounterRow>> rows;  // line as written, row
  for (const auto& file : files)
    for (EncounterRow& row : ReadResults(file)) {
      const std::string line = ResultLine(row);
      const auto [it, fresh] = rows.try_emplace(row.index, line, row);
      if (!fresh && it->second.first != line)
        throw std::runtime_error(file.string() + ": encounter " + std::to_string(row.index) + " (" + row.encounter +
                                 ") differs from the same encounter in an earlier file");
    }
  std::vector<EncounterRow> ordered;
  for (auto& [k, entry] : rows) ordered.push_back(std::move(entry.second));
  return ordered;
}

}  // namespace kvr::host

// A run's output folder, written whole or not at all. Everything goes into a hidden staging folder beside
// the final one ("out/.head_on.partial-PID" for "out/head_on"), which Commit renames into place once every
// file is complete; a staging folder never committed is removed with all it holds, so a failed run (a full
// disk, a crash of the writer) leaves neither partial files nor a previous run's output half overwritten.
#pragma once

#include <filesystem>

namespace kvr::host {

class OutputFolder {
 public:
  // Makes the staging folder. Throws std::runtime_error when `final` exists and is not a folder, or is a
  // folder that is neither empty nor a previous run's output (one with summary.txt and events.csv): Commit
  // replaces it whole, and a mistyped --out must not take a user's files with it.
  explicit OutputFolder(std::filesystem::path final);
  ~OutputFolder();  // removes the staging folder unless committed
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  const std::filesystem::path& Staging() const { return staging_; }
  const std::filesystem::path& Final() const { return final_; }

  // Puts the staging folder in the final place, replacing what was there. Throws std::runtime_error when
  // it cannot; the final place then holds what it held before.
  void Commit();

 private:
  std::filesystem::path final_;
  std::filesystem::path staging_;
  bool committed_ = false;
};

}  // namespace kvr::host

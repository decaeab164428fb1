// A run's output folder, written whole or not at all. Everything goes into a hidden staging folder beside
// the final one ("out/.head_on.partial-PID" for "out/head_on"); a staging folder never committed is removed
// with all it holds, so a failed run (a full disk, a crash of the writer) leaves neither partial files nor a
// previous run's output half overwritten.
//
// A run's output carries a marker file, kMarkerName, that lists every file the run wrote, one path
// relative to the folder a line. It is the only way a previous output is recognised, and the files it
// lists are the only ones a later run replaces or removes: anything else in the folder (a user's notes)
// is never touched.
#pragma once

#include <filesystem>
#include <functional>
#include <set>

namespace kvr::host {

class OutputFolder {
 public:
  static constexpr const char* kMarkerName = ".kvr-panel-output";

  // Makes the staging folder. Throws std::runtime_error when `final` exists and is not a folder, or is a
  // folder that is neither empty nor a previous run's output (one with the marker), so that a mistyped
  // --out cannot mix a run into a user's files.
  explicit OutputFolder(const std::filesystem::path& final);
  ~OutputFolder();  // removes the staging folder unless committed
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  const std::filesystem::path& Staging() const { return staging_; }
  const std::filesystem::path& Final() const { return final_; }

  // Puts the staged files in the final place with their marker: a new folder is renamed into place whole;
  // in a previous output, the files its marker lists are removed and the new ones moved in, and a new file
  // whose name is taken by a file the marker does not list is refused before anything moves. Throws
  // std::runtime_error when it cannot.
  void Commit();

 private:
  std::filesystem::path final_;
  std::filesystem::path staging_;
  bool committed_ = false;
};

// The files a folder's marker lists; empty without one. Throws std::runtime_error "FILE:LINE: reason" for
// a line that names no plain path inside the folder (absolute, with "..", or through a link).
std::set<std::filesystem::path> MarkedFiles(const std::filesystem::path& folder);

// Writes `file` whole or not at all: `write` fills a staging file beside it (".NAME.partial-PID"), which
// is renamed into place once `write` returns; when `write` or the rename throws, the staging file is
// removed and `file` is left as it was.
void WriteFileStaged(const std::filesystem::path& file,
                     const std::function<void(const std::filesystem::path& staging)>& write);

}  // namespace kvr::host

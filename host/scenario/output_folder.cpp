#include "host/scenario/output_folder.h"

#include <unistd.h>

#include <stdexcept>
#include <string>
#include <system_error>

namespace kvr::host {

namespace fs = std::filesystem;

namespace {

// A name beside `final` for a folder of this process: ".NAME.ROLE-PID".
fs::path Beside(const fs::path& final, const char* role) {
  return final.parent_path() / ("." + final.filename().string() + "." + role + "-" + std::to_string(getpid()));
}

}  // namespace

OutputFolder::OutputFolder(fs::path final) : final_(final.lexically_normal()) {
  if (!final_.has_filename()) final_ = final_.parent_path();  // "out/x/" names "out/x"
  if (final_.empty() || final_.filename() == "." || final_.filename() == "..")
    throw std::runtime_error("the output folder must be named, not \"" + final.string() + "\"");
  std::error_code error;
  const fs::file_status status = fs::symlink_status(final_, error);
  if (fs::exists(status)) {
    if (!fs::is_directory(status)) throw std::runtime_error(final_.string() + " exists and is not a folder");
    const bool empty = fs::is_empty(final_, error);
    const bool previousRun = fs::is_regular_file(final_ / "summary.txt") && fs::is_regular_file(final_ / "events.csv");
    if (!empty && !previousRun)
      throw std::runtime_error(final_.string() + " holds files that are not a run's output; choose another --out");
  }
  staging_ = Beside(final_, "partial");
  fs::remove_all(staging_, error);  // left by an earlier process of the same id
  fs::create_directories(staging_, error);
  if (error) throw std::runtime_error("cannot make " + staging_.string() + ": " + error.message());
}

OutputFolder::~OutputFolder() {
  if (committed_) return;
  std::error_code ignored;
  fs::remove_all(staging_, ignored);
}

void OutputFolder::Commit() {
  std::error_code error;
  const fs::path aside = Beside(final_, "old");
  const bool replacing = fs::exists(fs::symlink_status(final_, error));
  if (replacing) {
    fs::remove_all(aside, error);
    fs::rename(final_, aside, error);
    if (error) throw std::runtime_error("cannot replace " + final_.string() + ": " + error.message());
  }
  fs::rename(staging_, final_, error);
  if (error) {
    std::error_code ignored;
    if (replacing) fs::rename(aside, final_, ignored);  // put the previous output back
    throw std::runtime_error("cannot put the output in place as " + final_.string() + ": " + error.message());
  }
  committed_ = true;
  if (replacing) fs::remove_all(aside, error);
}

}  // namespace kvr::host

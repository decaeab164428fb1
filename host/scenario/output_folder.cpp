#include "host/scenario/output_folder.h"

#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace kvr::host {

namespace fs = std::filesystem;

namespace {

// A name beside `final` for a folder of this process: ".NAME.ROLE-PID".
fs::path Beside(const fs::path& final, const char* role) {
  std::string name = ".";
  name += final.filename().string();
  name += '.';
  name += role;
  name += '-';
  name += std::to_string(getpid());
  return final.parent_path() / name;
}

// Every file below `folder`, relative to it.
std::vector<fs::path> FilesBelow(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (!entry.is_directory()) files.push_back(fs::relative(entry.path(), folder));
  return files;
}

// Whether every folder between `root` and `root / relative` is a real folder (no link leads elsewhere).
bool PlainFoldersTo(const fs::path& root, const fs::path& relative) {
  fs::path at = root;
  for (const fs::path& part : relative.parent_path()) {
    at /= part;
    std::error_code ignored;
    const fs::file_status status = fs::symlink_status(at, ignored);
    if (fs::exists(status) && !fs::is_directory(status)) return false;
  }
  return true;
}

}  // namespace

std::set<fs::path> MarkedFiles(const fs::path& folder) {
  std::set<fs::path> files;
  const fs::path marker = folder / OutputFolder::kMarkerName;
  std::error_code error;
  if (!fs::is_regular_file(fs::symlink_status(marker, error))) return files;
  std::ifstream in(marker);
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (line.empty() || line[0] == '#') continue;
    const fs::path p = fs::path(line).lexically_normal();
    bool plain = !p.empty() && p.is_relative() && PlainFoldersTo(folder, p);
    for (const fs::path& part : p)
      if (part == ".." || part == ".") plain = false;
    if (!plain)
      throw std::runtime_error(marker.string() + ":" + std::to_string(lineNo) + ": \"" + line +
                               "\" is not a file inside the output folder; nothing was replaced");
    files.insert(p);
  }
  return files;
}

OutputFolder::OutputFolder(const fs::path& final) : final_(final.lexically_normal()) {
  if (!final_.has_filename()) final_ = final_.parent_path();  // "out/x/" names "out/x"
  if (final_.empty() || final_.filename() == "." || final_.filename() == "..")
    throw std::runtime_error("the output folder must be named, not \"" + final.string() + "\"");
  std::error_code error;
  const fs::file_status status = fs::symlink_status(final_, error);
  if (fs::exists(status)) {
    if (!fs::is_directory(status)) throw std::runtime_error(final_.string() + " exists and is not a folder");
    const bool empty = fs::is_empty(final_, error);
    const bool previousRun = fs::is_regular_file(fs::symlink_status(final_ / kMarkerName, error));
    if (!empty && !previousRun)
      throw std::runtime_error(final_.string() + " holds files that are not a run's output (it has no " + kMarkerName +
                               "); choose another --out");
    MarkedFiles(final_);  // refuses a marker that names anything outside the folder, before the run
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
  const std::vector<fs::path> written = FilesBelow(staging_);
  {
    std::ofstream marker(staging_ / kMarkerName);
    marker << "# Written by kvr-panel run: the files of this output. A later run with the same --out replaces\n"
              "# these files and no others.\n";
    for (const fs::path& p : written) marker << p.generic_string() << "\n";
    marker.close();
    if (!marker) throw std::runtime_error("cannot write " + (staging_ / kMarkerName).string());
  }
  std::error_code error;
  if (!fs::exists(fs::symlink_status(final_, error))) {
    fs::rename(staging_, final_, error);
    if (error)
      throw std::runtime_error("cannot put the output in place as " + final_.string() + ": " + error.message());
    committed_ = true;
    return;
  }

  // A previous output (or an empty folder): its own files make way, everything else stays.
  std::set<fs::path> previous = MarkedFiles(final_);
  previous.insert(kMarkerName);
  for (const fs::path& p : written) {
    const fs::path target = final_ / p;
    if (!PlainFoldersTo(final_, p) || (fs::exists(fs::symlink_status(target, error)) && previous.count(p) == 0))
      throw std::runtime_error(target.string() + " was not written by a run and is in the way; " + final_.string() +
                               " is unchanged");
  }
  const fs::path aside = Beside(final_, "old");
  fs::remove_all(aside, error);
  for (const fs::path& p : previous) {
    const fs::path from = final_ / p;
    if (!fs::exists(fs::symlink_status(from, error))) continue;
    fs::create_directories((aside / p).parent_path(), error);
    fs::rename(from, aside / p, error);
    if (error) throw std::runtime_error("cannot move " + from.string() + " aside: " + error.message());
  }
  for (const fs::path& p : written) {
    fs::create_directories((final_ / p).parent_path(), error);
    fs::rename(staging_ / p, final_ / p, error);
    if (error) throw std::runtime_error("cannot put " + (final_ / p).string() + " in place: " + error.message());
  }
  fs::rename(staging_ / kMarkerName, final_ / kMarkerName, error);
  if (error)
    throw std::runtime_error("cannot put " + (final_ / kMarkerName).string() + " in place: " + error.message());
  committed_ = true;
  // Folders the previous output's files leave empty go with them (fs::remove takes only empty ones).
  for (const fs::path& p : previous)
    for (fs::path folder = p.parent_path(); !folder.empty(); folder = folder.parent_path())
      fs::remove(final_ / folder, error);
  fs::remove_all(aside, error);
  fs::remove_all(staging_, error);
}

void WriteFileStaged(const fs::path& file, const std::function<void(const fs::path& staging)>& write) {
  const fs::path staging = Beside(file, "partial");
  std::error_code ignored;
  try {
    write(staging);
    std::error_code error;
    fs::rename(staging, file, error);
    if (error) throw std::runtime_error("cannot put " + file.string() + " in place: " + error.message());
  } catch (const std::exception& e) {
    fs::remove(staging, ignored);
    // The reader knows the file by its own name, not the staging one.
    std::string message = e.what();
    for (size_t at; (at = message.find(staging.string())) != std::string::npos;)
      message.replace(at, staging.string().size(), file.string());
    throw std::runtime_error(message);
  }
}

}  // namespace kvr::host

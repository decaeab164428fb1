// The pictures of the user's manual (docs/manual.md), drawn by the real module: each comes from a short
// scenario flown through kvr-panel's panel session, the panel rendered at a chosen moment and cut to the
// gauges it shows. Every picture is written at the panel's size ("NAME.png") and, for the IVSI pictures,
// doubled pixel by pixel as well ("NAME-x2.png"); the Transponder pictures are doubled only.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kvr::host {

struct ManualPicture {
  std::string file;         // file name in the output folder, "ivsi-tara.png"
  std::string description;  // what it shows, one line
};

// Flies every scene with the module in `gaugesDir` and writes its pictures into `outDir` (made when
// missing; files of the same names are replaced, other files are left alone). `onScene` is told the name
// of each scene before it is flown. Returns the pictures written, in order. Throws std::runtime_error
// naming what failed (the module, a write).
std::vector<ManualPicture> WriteManualPictures(const std::filesystem::path& gaugesDir,
                                               const std::filesystem::path& outDir,
                                               const std::function<void(const std::string&)>& onScene = {});

}  // namespace kvr::host

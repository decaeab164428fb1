// kvr-compare-runs: compares the output folders of one scenario flown by two hosts (see run_comparison.h).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "host/compare/run_comparison.h"
#include "host/input_file.h"
#include "host/render/panel_renderer.h"

namespace fs = std::filesystem;
using namespace kvr::host;

namespace {

// "left top right bottom" per line in panel pixels; '#' starts a comment.
std::vector<PixelBox> ReadBoxes(const fs::path& file) {
  try {
    CheckInputFile(file, 1024 * 1024 * 1024);
  } catch (const InputFileError& e) {
    throw std::runtime_error(file.string() + ": " + e.what());
  }
  std::ifstream in(file);
  if (!in) throw std::runtime_error(file.string() + ": cannot read");
  std::vector<PixelBox> boxes;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    line = line.substr(0, line.find('#'));
    std::istringstream fields(line);
    PixelBox box;
    if (!(fields >> box.left)) continue;
    if (!(fields >> box.top >> box.right >> box.bottom) || box.right <= box.left || box.bottom <= box.top)
      throw std::runtime_error(file.string() + ":" + std::to_string(number) + ": want left top right bottom");
    boxes.push_back(box);
  }
  return boxes;
}

int Main(int argc, char** argv) {
  CLI::App app{
      "kvr-compare-runs: compares two runs of one scenario (kvr-panel run --out A, --out B).\n"
      "events.csv: time, event, intruder, class, sense, advisory, limits and aural message identical,\n"
      "range and relative altitude within the tolerances. Pictures: frames/NNNN.png of the frames\n"
      "given, pixel by pixel, text (the boxes of --text) counted apart."};
  fs::path a, b, textFile, diffDir;
  std::vector<int> frames;
  EventTolerance tolerance;
  int scale = 2;
  double minEqual = 0.99, minTextEqual = 0.0;
  app.add_option("a", a, "Output folder of the first run (the reference)")->required()->check(CLI::ExistingDirectory);
  app.add_option("b", b, "Output folder of the second run")->required()->check(CLI::ExistingDirectory);
  app.add_option("--frames", frames, "Frame numbers to compare (frames/NNNN.png)")->delimiter(',');
  app.add_option("--text", textFile, "Boxes of text in panel pixels, one 'left top right bottom' a line")
      ->check(CLI::ExistingFile);
  app.add_option("--scale", scale, "Picture pixels per panel pixel")->capture_default_str();
  app.add_option("--diff", diffDir, "Write diff-NNNN.png here: equal pixels dimmed, differing red (yellow in text)");
  app.add_option("--min-equal", minEqual, "Least share of equal pixels outside text")->capture_default_str();
  app.add_option("--min-text-equal", minTextEqual, "Least share of equal pixels inside text")->capture_default_str();
  app.add_option("--range-tolerance-nm", tolerance.rangeNm, "Largest range difference")->capture_default_str();
  app.add_option("--altitude-tolerance-ft", tolerance.relativeAltitudeFt, "Largest relative altitude difference")
      ->capture_default_str();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version exit 0; every usage error exits 2, as command-line tools do.
    return app.exit(e) == 0 ? 0 : 2;
  }

  try {
    bool pass = true;
    const EventComparison events = CompareEvents(a / "events.csv", b / "events.csv", tolerance);
    std::printf("events: %zu and %zu rows, %zu identical, largest differences %.3f NM and %.1f ft: %s\n", events.rowsA,
                events.rowsB, events.identicalRows, events.largestRangeDifferenceNm, events.largestAltitudeDifferenceFt,
                events.Same() ? "same" : "DIFFERENT");
    for (const std::string& m : events.mismatches) std::printf("  %s\n", m.c_str());
    pass = pass && events.Same();

    const std::vector<PixelBox> text = textFile.empty() ? std::vector<PixelBox>{} : ReadBoxes(textFile);
    if (!diffDir.empty()) fs::create_directories(diffDir);
    PixelComparison total;
    for (int frame : frames) {
      char name[32];
      std::snprintf(name, sizeof name, "%04d.png", frame);
      const Image x = ReadPng(a / "frames" / name), y = ReadPng(b / "frames" / name);
      Image diff;
      const PixelComparison c = ComparePictures(x, y, TextMask(x, text, scale), diffDir.empty() ? nullptr : &diff);
      std::printf("frame %s: %.4f equal outside text (%llu of %llu), %.4f inside text\n", name, c.EqualShare(),
                  (unsigned long long)c.equal, (unsigned long long)c.pixels, c.TextEqualShare());
      if (!diffDir.empty()) WritePng(diff, diffDir / ("diff-" + std::string(name)));
      total.Add(c);
    }
    if (!frames.empty()) {
      std::printf("pictures: %.4f equal outside text (least %.4f), %.4f inside text (least %.4f)\n", total.EqualShare(),
                  minEqual, total.TextEqualShare(), minTextEqual);
      pass = pass && total.EqualShare() >= minEqual && total.TextEqualShare() >= minTextEqual;
    }
    std::printf("%s\n", pass ? "agree" : "DISAGREE");
    return pass ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kvr-compare-runs: %s\n", e.what());
    return 2;
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& e) {  // setting the command line up failed
    std::fprintf(stderr, "kvr-compare-runs: %s\n", e.what());
    return 2;
  }
}

// The same flight flown by two hosts (Linux with Cairo, Windows with GDI), compared: their events.csv row by
// row, and their pictures of the same frames pixel by pixel, with the text drawn by the two font engines
// counted apart from everything else.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "host/render/bitmap.h"

namespace kvr::host {

struct EventTolerance {
  double rangeNm = 0.01;            // rangeNm of one row may differ by this much
  double relativeAltitudeFt = 1.0;  // relativeAltitudeFt likewise
};

struct EventComparison {
  size_t rowsA = 0, rowsB = 0;
  size_t identicalRows = 0;  // every field the same
  double largestRangeDifferenceNm = 0;
  double largestAltitudeDifferenceFt = 0;
  std::vector<std::string> mismatches;  // "row N: field: A vs B", at most 20
  bool Same() const { return mismatches.empty() && rowsA == rowsB; }
};

// Compares two events.csv files (either line ending). Time, event, intruder, threat class, sense,
// advisory, the three limits and the aural message must be identical; range and relative altitude may
// differ within `tolerance`. Throws std::runtime_error when a file cannot be read.
EventComparison CompareEvents(const std::filesystem::path& a, const std::filesystem::path& b,
                              EventTolerance tolerance = {});

// A rectangle of panel pixels, right and bottom excluded.
struct PixelBox {
  int32_t left, top, right, bottom;
};

struct PixelComparison {
  uint64_t pixels = 0, equal = 0;          // outside text
  uint64_t textPixels = 0, textEqual = 0;  // inside text
  double EqualShare() const { return pixels ? double(equal) / double(pixels) : 1.0; }
  double TextEqualShare() const { return textPixels ? double(textEqual) / double(textPixels) : 1.0; }
  void Add(const PixelComparison& other);
};

// The mask of `text` boxes (panel pixels) on a picture of `picture`'s size drawn `scale` times the panel's
// size: 1 inside a box, 0 elsewhere.
std::vector<uint8_t> TextMask(const Image& picture, const std::vector<PixelBox>& text, int scale);

// Counts equal pixels of `a` and `b` (the same size) inside and outside `mask` (1: text). When `diff` is
// given it becomes the picture of the differences: equal pixels dimmed to a quarter, differing ones red
// outside text and yellow inside.
PixelComparison ComparePictures(const Image& a, const Image& b, const std::vector<uint8_t>& mask, Image* diff);

}  // namespace kvr::host

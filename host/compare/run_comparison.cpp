#include "host/compare/run_comparison.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "host/input_file.h"

namespace kvr::host {
namespace {

std::vector<std::vector<std::string>> ReadRows(const std::filesystem::path& file) {
  try {
    CheckInputFile(file, 1024 * 1024 * 1024);
  } catch (const InputFileError& e) {
    throw std::runtime_error(file.string() + ": " + e.what());
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error(file.string() + ": cannot read");
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> fields;
    std::stringstream split(line);
    std::string field;
    while (std::getline(split, field, ',')) fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    rows.push_back(std::move(fields));
  }
  return rows;
}

}  // namespace

EventComparison CompareEvents(const std::filesystem::path& a, const std::filesystem::path& b,
                              EventTolerance tolerance) {
  const auto rowsA = ReadRows(a), rowsB = ReadRows(b);
  EventComparison result;
  result.rowsA = rowsA.empty() ? 0 : rowsA.size() - std::min<size_t>(2, rowsA.size());  // header and units rows
  result.rowsB = rowsB.empty() ? 0 : rowsB.size() - std::min<size_t>(2, rowsB.size());
  auto note = [&](size_t row, const std::string& what) {
    if (result.mismatches.size() < 20) result.mismatches.push_back("row " + std::to_string(row) + ": " + what);
  };
  if (rowsA.size() != rowsB.size())
    note(0, "a has " + std::to_string(result.rowsA) + " events, b " + std::to_string(result.rowsB));
  const std::vector<std::string>& header = rowsA.empty() ? std::vector<std::string>{} : rowsA[0];
  const auto column = [&](const char* name) {
    return size_t(std::find(header.begin(), header.end(), name) - header.begin());
  };
  const size_t range = column("rangeNm"), altitude = column("relativeAltitudeFt");
  for (size_t r = 2; r < std::min(rowsA.size(), rowsB.size()); ++r) {
    const auto& x = rowsA[r];
    const auto& y = rowsB[r];
    bool same = x == y;
    if (x.size() != y.size()) {
      note(r - 1, "different field counts");
      continue;
    }
    for (size_t f = 0; f < x.size(); ++f) {
      if (x[f] == y[f]) continue;
      const std::string name = f < header.size() ? header[f] : std::to_string(f);
      if (f == range || f == altitude) {
        const double difference = std::fabs(std::stod(x[f]) - std::stod(y[f]));
        double& largest = f == range ? result.largestRangeDifferenceNm : result.largestAltitudeDifferenceFt;
        largest = std::max(largest, difference);
        if (difference <= (f == range ? tolerance.rangeNm : tolerance.relativeAltitudeFt) + 1e-9) continue;
      }
      note(r - 1, name + ": " + x[f] + " vs " + y[f]);
    }
    if (same) ++result.identicalRows;
  }
  return result;
}

void PixelComparison::Add(const PixelComparison& other) {
  pixels += other.pixels;
  equal += other.equal;
  textPixels += other.textPixels;
  textEqual += other.textEqual;
}

PixelComparison ComparePictures(const Image& a, const Image& b, const std::vector<uint8_t>& mask, Image* diff) {
  if (a.width != b.width || a.height != b.height)
    throw std::runtime_error("pictures of different sizes: " + std::to_string(a.width) + "x" +
                             std::to_string(a.height) + " and " + std::to_string(b.width) + "x" +
                             std::to_string(b.height));
  PixelComparison result;
  if (diff != nullptr) *diff = Image(a.width, a.height);
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    const bool text = i < mask.size() && mask[i] != 0;
    const bool equal = (a.pixels[i] & 0xFFFFFF) == (b.pixels[i] & 0xFFFFFF);
    (text ? result.textPixels : result.pixels) += 1;
    (text ? result.textEqual : result.equal) += equal ? 1 : 0;
    if (diff != nullptr) {
      const uint32_t p = a.pixels[i];
      diff->pixels[i] = equal ? ((p >> 2) & 0x3F3F3F) : text ? 0xFFD000u : 0xFF2020u;
    }
  }
  return result;
}

std::vector<uint8_t> TextMask(const Image& picture, const std::vector<PixelBox>& text, int scale) {
  std::vector<uint8_t> mask(picture.pixels.size(), 0);
  for (const PixelBox& box : text)
    for (int32_t y = std::max(0, box.top * scale); y < std::min(picture.height, box.bottom * scale); ++y)
      for (int32_t x = std::max(0, box.left * scale); x < std::min(picture.width, box.right * scale); ++x)
        mask[size_t(y) * size_t(picture.width) + size_t(x)] = 1;
  return mask;
}

}  // namespace kvr::host

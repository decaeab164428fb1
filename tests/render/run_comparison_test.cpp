// The host comparison must catch what matters: a different class or message fails, range and altitude within
// their tolerance and Windows line endings do not; pixels inside text are counted apart.
#include "host/compare/run_comparison.h"

#include <gtest/gtest.h>

#include <fstream>

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

fs::path WriteEvents(const std::string& name, const std::string& row, const char* eol) {
  fs::path file = fs::temp_directory_path() / ("kvr_compare_" + name + ".csv");
  std::ofstream out(file, std::ios::binary);
  out << "timeS,event,intruderId,rangeNm,relativeAltitudeFt,threatClass,sense,advisory,vsLowerLimitFpm,"
         "vsUpperLimitFpm,vsTargetFpm,aural"
      << eol
      << "[s],[none],[none],[NM],[ft],[none],[none],[none],[fpm],[fpm],"
         "[fpm],[none]"
      << eol << row << eol;
  return file;
}

TEST(RunComparison, EventsDifferOnlyWithinTheirTolerances) {
  const fs::path reference =
      WriteEvents("a", "35.00,advisory,1001,3.47,0,ResolutionAdvisory,up,climb,1500,,1500,Climb", "\n");
  struct Case {
    const char* row;
    bool same;
  };
  for (const Case& c : {Case{"35.00,advisory,1001,3.47,0,ResolutionAdvisory,up,climb,1500,,1500,Climb", true},
                        Case{"35.00,advisory,1001,3.48,1,ResolutionAdvisory,up,climb,1500,,1500,Climb", true},
                        Case{"35.00,advisory,1001,3.49,0,ResolutionAdvisory,up,climb,1500,,1500,Climb", false},
                        Case{"35.00,advisory,1001,3.47,3,ResolutionAdvisory,up,climb,1500,,1500,Climb", false},
                        Case{"35.00,advisory,1001,3.47,0,TrafficAdvisory,up,climb,1500,,1500,Climb", false},
                        Case{"35.00,advisory,1001,3.47,0,ResolutionAdvisory,up,climb,1500,,1500,", false},
                        Case{"35.06,advisory,1001,3.47,0,ResolutionAdvisory,up,climb,1500,,1500,Climb", false}}) {
    const EventComparison result = CompareEvents(reference, WriteEvents("b", c.row, "\r\n"));
    EXPECT_EQ(result.Same(), c.same) << c.row;
  }
  EXPECT_FALSE(CompareEvents(reference, WriteEvents("c", "", "\n")).Same()) << "a missing row";
}

TEST(RunComparison, PixelsInsideTextAreCountedApart) {
  Image a(4, 2, 0x101010), b(4, 2, 0x101010);
  b.At(0, 0) = 0xFFFFFF;  // inside the text box
  b.At(3, 1) = 0xFFFFFF;  // outside
  Image diff;
  const PixelComparison c = ComparePictures(a, b, TextMask(a, {{0, 0, 1, 1}}, 1), &diff);
  EXPECT_EQ(c.textPixels, 1u);
  EXPECT_EQ(c.textEqual, 0u);
  EXPECT_EQ(c.pixels, 7u);
  EXPECT_EQ(c.equal, 6u);
  EXPECT_EQ(diff.At(3, 1), 0xFF2020u);
  EXPECT_EQ(diff.At(0, 0), 0xFFD000u);
}

}  // namespace
}  // namespace kvr::host

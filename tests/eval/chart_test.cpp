// The label stacking of the plots: labels that would cover each other go to different lanes, labels
// apart share one, and a full set of lanes reuses the lane that frees first.
#include <gtest/gtest.h>

#include "host/eval/chart.h"

namespace kvr::host {
namespace {

TEST(StackLabels, OverlappingLabelsTakeSeparateLanesAndDistantOnesShareTheFirst) {
  const struct {
    const char* name;
    std::vector<std::pair<double, double>> spans;
    int maxLanes;
    std::vector<int> lanes;
  } cases[] = {
      {"three at the same moment", {{100, 160}, {100, 140}, {100, 180}}, 8, {0, 1, 2}},
      {"apart by more than the gap", {{100, 160}, {170, 200}, {205, 260}}, 8, {0, 0, 0}},
      {"closer than the gap", {{100, 160}, {162, 200}}, 8, {0, 1}},
      {"a lane freed is taken again", {{100, 160}, {120, 130}, {140, 150}, {170, 180}}, 8, {0, 1, 1, 0}},
      {"lanes full: the one that frees first", {{100, 200}, {110, 150}, {120, 130}}, 2, {0, 1, 1}},
  };
  for (const auto& c : cases) EXPECT_EQ(StackLabels(c.spans, 4, c.maxLanes), c.lanes) << c.name;
}

}  // namespace
}  // namespace kvr::host

// The encounters in scenarios/ that each pin one behaviour of the collision logic, flown through the real
// module: the messages the pilot hears, in order, and how far apart the two pass.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "host/scenario/scenario_runner.h"
#include "tests/gauge/module_fixture.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

struct Case {
  const char* scenario;
  std::vector<std::string> aurals;  // every aural event, in order ("(silent)" where the voice is held)
  double minVerticalMissFt;         // at the closest approach
  double latestTrafficS = 1e9;      // the first "Traffic, traffic" comes by then
};

TEST(AdvisoryScenarios, EachGivesItsMessagesAndItsMiss) {
  const Case cases[] = {
      {"descend_inhibit_traffic_above", {"TrafficTraffic", "MonitorVerticalSpeed", "ClearOfConflict"}, 150.0},
      {"late_advisory_at_closest_approach", {"TrafficTraffic"}, 500.0},
      {"low_traffic_both_low", {"TrafficTraffic (silent)"}, 0.0},
      {"equipped_intruder_turns_in",
       {"TrafficTraffic", "Descend", "IncreaseDescent", "AdjustVerticalSpeed", "ClearOfConflict"},
       500.0},
      {"fast_descent_far_off", {"TrafficTraffic"}, 1000.0},
      {"climb_out_under_traffic", {"TrafficTraffic", "AdjustVerticalSpeed", "ClearOfConflict"}, 150.0},
      {"descend_inhibit_ahead", {"TrafficTraffic", "ClimbCrossing", "IncreaseClimb", "ClearOfConflict"}, 200.0},
      {"climb_out_through_level_traffic",
       {"TrafficTraffic", "ClimbCrossing", "IncreaseClimb", "ClearOfConflict"},
       200.0},
      {"clear_then_return_to_altitude", {"Climb", "AdjustVerticalSpeed"}, 450.0},
      // The reference criteria alert at 55 s, as the intruder climbs through 300 ft.
      {"departure_climbing_below", {"TrafficTraffic", "Climb", "IncreaseClimb", "ClearOfConflict"}, 300.0, 57.0},
      {"intruder_levels_off_above", {"TrafficTraffic", "MonitorVerticalSpeed", "Descend", "ClearOfConflict"}, 550.0},
      {"crossing_an_intruder_that_levels_off",
       {"TrafficTraffic", "Descend", "IncreaseDescent", "Descend", "ClearOfConflict"},
       300.0},
      {"departure_climbing_through_us", {"TrafficTraffic", "MonitorVerticalSpeed", "ClearOfConflict"}, 800.0},
      {"crossing_an_intruder_that_levels_off_under_noise",
       {"TrafficTraffic", "Descend", "IncreaseDescent", "Descend", "ClearOfConflict"},
       300.0},
      {"landing_onto_level_traffic", {"TrafficTraffic", "MonitorVerticalSpeed", "ClearOfConflict"}, 200.0},
      {"reversal_against_an_intruder_that_levels_off",
       {"TrafficTraffic", "Descend", "IncreaseDescent", "AdjustVerticalSpeed", "ClearOfConflict", "TrafficTraffic"},
       1000.0},
      {"noisy_report_before_the_crossing", {"TrafficTraffic", "Climb", "IncreaseClimb", "ClearOfConflict"}, 150.0},
      {"second_encounter_side_by_side",
       {"TrafficTraffic", "Climb", "AdjustVerticalSpeed", "ClearOfConflict", "Climb", "IncreaseClimb",
        "AdjustVerticalSpeed", "ClearOfConflict", "TrafficTraffic"},
       150.0},
      {"climber_levels_off_just_below",
       {"TrafficTraffic", "MonitorVerticalSpeed", "MonitorVerticalSpeed", "DescendCrossing", "ClimbNow",
        "AdjustVerticalSpeed", "ClearOfConflict"},
       400.0},
      {"climber_from_below_near_the_ground", {"TrafficTraffic", "MonitorVerticalSpeed", "ClearOfConflict"}, 200.0},
      {"descent_that_levels_off_above",
       {"TrafficTraffic", "ClimbCrossing", "DescendNow", "AdjustVerticalSpeed", "ClearOfConflict"},
       400.0},
      {"slow_climber_below_near_the_ground", {"TrafficTraffic", "Climb", "IncreaseClimb", "ClearOfConflict"}, 200.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    RunOptions options;
    options.gaugesDir = kvr::testing::BinDir();
    const Scenario scenario =
        LoadScenario(kvr::testing::SourceDir() / "scenarios" / (std::string(c.scenario) + ".toml"));
    ScenarioRun run(scenario, options);
    run.RunToEnd();
    std::vector<std::string> aurals;
    double firstTrafficS = -1;
    for (const EventRow& row : run.Events().Rows()) {
      if (row.aural.empty()) continue;
      aurals.push_back(row.aural);
      if (firstTrafficS < 0 && row.aural.rfind("TrafficTraffic", 0) == 0) firstTrafficS = row.timeS;
    }
    EXPECT_EQ(aurals, c.aurals);
    EXPECT_LE(firstTrafficS, c.latestTrafficS);
    ASSERT_EQ(run.Events().Closest().size(), 1u);
    EXPECT_GE(std::fabs(run.Events().Closest().front().verticalFt), c.minVerticalMissFt);
  }
}

}  // namespace
}  // namespace kvr::host

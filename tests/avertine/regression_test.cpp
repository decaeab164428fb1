// Regression over the encounter file next to this test: each row is flown through the entry points
// and its advisories are compared with the expected ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/avertine/encounter_sim.h"

namespace avertine_test {
namespace {

using Row = std::map<std::string, std::string>;

std::vector<std::string> SplitCsv(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  std::string field;
  while (std::getline(stream, field, ',')) fields.push_back(field);
  if (!line.empty() && line.back() == ',') fields.emplace_back();
  return fields;
}

// Rows keyed by column name; comment lines and the units row (empty first column) are skipped.
std::vector<Row> ReadEncounters(std::string* error) {
  const char* source = std::getenv("KVR_SOURCE_DIR");
  const std::string path = source != nullptr ? std::string(source) + "/tests/avertine/encounters.csv"
                                             : std::string(KVR_AVERTINE_TEST_DATA_DIR) + "/encounters.csv";
  std::ifstream file(path);
  if (!file) {
    *error = "cannot open " + path;
    return {};
  }
  std::vector<Row> rows;
  std::vector<std::string> header;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> fields = SplitCsv(line);
    if (header.empty()) {
      header = fields;
      continue;
    }
    if (fields.empty() || fields[0].empty()) continue;  // units row
    if (fields.size() != header.size()) {
      *error = "wrong column count in: " + line;
      return {};
    }
    Row row;
    for (size_t i = 0; i < header.size(); ++i) row[header[i]] = fields[i];
    rows.push_back(row);
  }
  return rows;
}

double Number(const Row& row, const std::string& column) { return std::stod(row.at(column)); }
bool Given(const Row& row, const std::string& column) { return row.at(column) != "-"; }

TEST(EncounterRegression, EveryEncounterOfTheFileGivesItsExpectedAdvisories) {
  std::string error;
  const std::vector<Row> rows = ReadEncounters(&error);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_GE(rows.size(), 10u);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.at("name"));
    EncounterSpec spec;
    spec.ownAltitudeFt = Number(row, "own_altitude");
    spec.ownVerticalRateFpm = Number(row, "own_rate");
    spec.ownSpeedKt = Number(row, "own_speed");
    spec.intruderSpeedKt = Number(row, "intruder_speed");
    spec.intruderCourseDeg = Number(row, "intruder_course");
    spec.intruderVerticalRateFpm = Number(row, "intruder_rate");
    spec.verticalMissFt = Number(row, "vertical_miss");
    spec.missDistanceNm = Number(row, "miss_distance");
    spec.groundFt = Number(row, "ground");
    spec.timeToCpaS = 100.0;
    const Pilot pilot = row.at("pilot") == "follows" ? Pilot::Follows : Pilot::Ignores;
    const EncounterResult result = FlyEncounter(spec, pilot, 130.0);

    if (Given(row, "ta_from")) {
      const double taS = result.FirstClassBeforeCpaS(kvr::ThreatClass::TrafficAdvisory, spec.timeToCpaS);
      EXPECT_GE(taS, Number(row, "ta_from"));
      EXPECT_LE(taS, Number(row, "ta_to"));
    }
    const int32_t firstRa = static_cast<int32_t>(Number(row, "first_ra"));
    EXPECT_EQ(result.FirstResolutionAural(), firstRa);
    if (firstRa != 0 && Given(row, "ra_from")) {
      const double raS = result.FirstAuralBeforeCpaS(firstRa, spec.timeToCpaS);
      EXPECT_GE(raS, Number(row, "ra_from"));
      EXPECT_LE(raS, Number(row, "ra_to"));
    }
    EXPECT_EQ(result.CountAural(static_cast<int32_t>(kvr::AuralCode::ClearOfConflict)),
              static_cast<int>(Number(row, "clear_of_conflict")));
    if (Given(row, "cpa_vertical_min")) {
      EXPECT_GE(result.cpaVerticalFt, Number(row, "cpa_vertical_min"));
    }
  }
}

}  // namespace
}  // namespace avertine_test

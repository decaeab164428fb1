// ITrafficInfo as a module reaches it: through QueryService and the provider's operation 2, then the
// operations at their table positions.
#include <gtest/gtest.h>

#include "host/traffic/traffic_info_service.h"

namespace kvr::host {
namespace {

class TrafficInfo : public ::testing::Test {
 protected:
  PanelServices services;
  TrafficInfoService service;
  ServiceObject* traffic = nullptr;

  void SetUp() override {
    service.Register(services);
    auto* provider = static_cast<ServiceObject*>(services.Table()->QueryService("ITrafficInfo"));
    ASSERT_NE(provider, nullptr);
    traffic = ServiceOperation<ServiceQueryInterface>(provider, kServiceQueryInterface)(provider, "ITrafficInfo");
    ASSERT_NE(traffic, nullptr);
    service.SetOwnPosition({47.0, 8.0});
  }

  int32_t Variable(const char* name) {
    return ServiceOperation<TrafficGetHandle>(traffic, kTrafficGetVariableHandle)(traffic, name);
  }
  int32_t Unit(const char* name) {
    return ServiceOperation<TrafficGetHandle>(traffic, kTrafficGetUnitHandle)(traffic, name);
  }
  int32_t InRange(double radiusM, int32_t maxCount, int32_t* ids) {
    return ServiceOperation<TrafficGetTrafficInRange>(traffic, kTrafficGetTrafficInRange)(traffic, radiusM, maxCount,
                                                                                          ids);
  }
  int32_t Value(int32_t id, int32_t variable, int32_t unit, double* value, int32_t index = 0) {
    return ServiceOperation<TrafficGetTrafficValue>(traffic, kTrafficGetTrafficValue)(traffic, id, variable, unit,
                                                                                      value, index);
  }

  // A target `northKm` kilometres due north of the own aircraft.
  static TrafficTarget North(uint32_t id, double northKm) {
    TrafficTarget t;
    t.id = id;
    t.position = {47.0 + northKm * 1000 / kMetresPerDegreeLatitude, 8.0};
    t.altitudeFt = 7000 + id;
    return t;
  }
};

TEST_F(TrafficInfo, OnlyTheTrafficInterfaceIsOffered) {
  auto* provider = static_cast<ServiceObject*>(services.Table()->QueryService("ITrafficInfo"));
  EXPECT_EQ(ServiceOperation<ServiceQueryInterface>(provider, kServiceQueryInterface)(provider, "IWeather"), nullptr);
  EXPECT_EQ(services.Table()->QueryService("IWeather"), nullptr);
}

TEST_F(TrafficInfo, HandlesForTheNamesTheModuleAsksForAndZeroForOthers) {
  const int32_t variables[] = {Variable("IS USER SIM"), Variable("PLANE LATITUDE"), Variable("PLANE LONGITUDE"),
                               Variable("PLANE ALTITUDE")};
  const int32_t units[] = {Unit("FEET"), Unit("BOOL"), Unit("DEGREES")};
  for (int32_t h : variables) EXPECT_NE(h, 0);
  for (int32_t h : units) EXPECT_NE(h, 0);
  EXPECT_EQ(Variable("plane latitude"), variables[1]);  // case does not matter
  EXPECT_EQ(Variable("PLANE COLOUR"), 0);
  EXPECT_EQ(Unit("FURLONGS"), 0);
  EXPECT_EQ(Variable(nullptr), 0);
}

TEST_F(TrafficInfo, RangeQueryHonoursTheRadiusAndTheMaximumCount) {
  service.SetTraffic({North(1, 50), North(2, 10), North(3, 30), North(4, 39.9), North(5, 5)});
  int32_t ids[8] = {};
  // 40 km: all but the one 50 km away, in list order.
  ASSERT_EQ(InRange(40000, 8, ids), 4);
  EXPECT_EQ(std::vector<int32_t>(ids, ids + 4), (std::vector<int32_t>{2, 3, 4, 5}));
  // At most two: the two nearest, still in list order; nothing is written past them.
  int32_t two[3] = {-1, -1, -1};
  ASSERT_EQ(InRange(40000, 2, two), 2);
  EXPECT_EQ(two[0], 2);
  EXPECT_EQ(two[1], 5);
  EXPECT_EQ(two[2], -1);
  EXPECT_EQ(InRange(40000, 0, ids), 0);
  EXPECT_EQ(InRange(40000, 8, nullptr), 0);
  EXPECT_EQ(InRange(1000, 8, ids), 0);
  EXPECT_EQ(service.RangeQueries(), 5);
}

TEST_F(TrafficInfo, RangeIsMeasuredAlongTheParallel) {
  // 50 km of longitude at the equator is about 34 km at 47 degrees north.
  TrafficTarget east;
  east.id = 9;
  east.position = {47.0, 8.0 + 50000 / kMetresPerDegreeLatitude};
  service.SetTraffic({east});
  int32_t ids[1] = {};
  EXPECT_EQ(InRange(40000, 1, ids), 1);
  EXPECT_EQ(InRange(30000, 1, ids), 0);
}

TEST_F(TrafficInfo, ValuesInTheirUnitsAndZeroWhenOneCannotBeGiven) {
  TrafficTarget readable = North(7, 10);
  TrafficTarget noAltitude = North(8, 12);
  noAltitude.altitudeReadable = false;
  service.SetTraffic({readable, noAltitude});
  const int32_t lat = Variable("PLANE LATITUDE"), lon = Variable("PLANE LONGITUDE"), alt = Variable("PLANE ALTITUDE");
  const int32_t user = Variable("IS USER SIM");
  const int32_t deg = Unit("DEGREES"), feet = Unit("FEET"), boolean = Unit("BOOL");

  double value = 0;
  ASSERT_EQ(Value(7, lat, deg, &value), 1);
  EXPECT_DOUBLE_EQ(value, readable.position.latitudeDeg);
  ASSERT_EQ(Value(7, lon, deg, &value), 1);
  EXPECT_DOUBLE_EQ(value, 8.0);
  ASSERT_EQ(Value(7, alt, feet, &value), 1);
  EXPECT_DOUBLE_EQ(value, 7007);
  ASSERT_EQ(Value(7, user, boolean, &value), 1);
  EXPECT_DOUBLE_EQ(value, 0.0);  // traffic is never the user's aircraft

  // What cannot be given answers 0 and leaves the value alone.
  value = 123.0;
  EXPECT_EQ(Value(8, alt, feet, &value), 0);  // the scenario made it unreadable
  EXPECT_EQ(Value(8, lat, deg, &value), 1);   // ... while its position reads
  value = 123.0;
  EXPECT_EQ(Value(99, lat, deg, &value), 0);    // no such aircraft
  EXPECT_EQ(Value(7, deg, lat, &value), 0);     // variable and unit swapped
  EXPECT_EQ(Value(7, alt, deg, &value), 0);     // altitude in degrees
  EXPECT_EQ(Value(7, lat, deg, &value, 1), 0);  // no indexed values
  EXPECT_EQ(Value(7, lat, deg, nullptr), 0);
  EXPECT_EQ(value, 123.0);
}

TEST_F(TrafficInfo, ValuesFollowTheLatestTrafficAndTheFirstOfASharedIdentifier) {
  const int32_t alt = Variable("PLANE ALTITUDE"), feet = Unit("FEET");
  double value = 0;
  std::vector<TrafficTarget> many;
  for (uint32_t id = 1; id <= 100; ++id) many.push_back(North(id * 64, 1));  // identifiers that share low bits
  service.SetTraffic(many);
  for (const TrafficTarget& t : many) {
    ASSERT_EQ(Value(static_cast<int32_t>(t.id), alt, feet, &value), 1);
    EXPECT_EQ(value, t.altitudeFt);
  }
  TrafficTarget twin = North(5, 1);
  twin.altitudeFt = 1;
  service.SetTraffic({North(5, 1), twin});
  ASSERT_EQ(Value(5, alt, feet, &value), 1);
  EXPECT_EQ(value, 7005);
  EXPECT_EQ(Value(64, alt, feet, &value), 0);  // gone with the earlier traffic
  service.SetTraffic({});
  EXPECT_EQ(Value(5, alt, feet, &value), 0);
}

}  // namespace
}  // namespace kvr::host

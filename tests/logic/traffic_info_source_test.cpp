// The traffic-service feed against a scripted ITrafficInfo: the service is the thing under the test's
// control here (what it lists, which values it cannot give), so it is a small stand-in.
#include <map>
#include <set>
#include <string>

#include "module/logic/logic.h"
#include "tests/logic/logic_fixture.h"

namespace kvr {
namespace {

using scripted::Entry;
using scripted::library;
using testing::LogicTest;

struct ScriptedTrafficInfo {
  ServiceObject provider{providerOperations};
  ServiceObject info{infoOperations};
  void* providerOperations[kTrafficInfoOperationCount] = {};
  void* infoOperations[kTrafficInfoOperationCount] = {};
  std::vector<std::string> handlesAsked;
  int32_t listed = 0;  // what GetTrafficInRange answers
  std::set<int32_t> altitudeUnreadable;
  double lastRadiusM = 0;
  int32_t lastMaxCount = 0;

  static ScriptedTrafficInfo* self;
  ScriptedTrafficInfo() {
    self = this;
    providerOperations[kServiceQueryInterface] = reinterpret_cast<void*>(&Query);
    infoOperations[kTrafficGetVariableHandle] = reinterpret_cast<void*>(&Handle);
    infoOperations[kTrafficGetUnitHandle] = reinterpret_cast<void*>(&Handle);
    infoOperations[kTrafficGetTrafficInRange] = reinterpret_cast<void*>(&InRange);
    infoOperations[kTrafficGetTrafficValue] = reinterpret_cast<void*>(&Value);
  }
  static ServiceObject* KVR_HOST_OBJECT_CALL Query(ServiceObject*, const char* name) {
    return std::string(name) == "ITrafficInfo" ? &self->info : nullptr;
  }
  static int32_t KVR_HOST_OBJECT_CALL Handle(ServiceObject*, const char* name) {
    self->handlesAsked.push_back(name);
    return static_cast<int32_t>(self->handlesAsked.size());  // 1 "IS USER SIM" .. 7 "DEGREES"
  }
  static int32_t KVR_HOST_OBJECT_CALL InRange(ServiceObject*, double radiusM, int32_t maxCount, int32_t* ids) {
    self->lastRadiusM = radiusM;
    self->lastMaxCount = maxCount;
    for (int32_t i = 0; i < std::min(self->listed, maxCount); ++i) ids[i] = 100 + i;
    return self->listed;  // may claim more than it wrote
  }
  static int32_t KVR_HOST_OBJECT_CALL Value(ServiceObject*, int32_t id, int32_t variable, int32_t unit, double* value,
                                            int32_t) {
    if (variable == 4 && self->altitudeUnreadable.count(id)) return 0;
    *value = variable == 2 ? 47.5 : variable == 3 ? 8.25 : 10000.123456789;
    EXPECT_EQ(unit, variable == 4 ? 5 : 7);  // altitude in FEET, positions in DEGREES
    return 1;
  }
};
ScriptedTrafficInfo* ScriptedTrafficInfo::self = nullptr;

class TrafficInfoFeed : public LogicTest {
 protected:
  ScriptedTrafficInfo service;
  void SetUp() override {
    LogicTest::SetUp();
    services.RegisterService("ITrafficInfo", &service.provider);
  }
};

TEST_F(TrafficInfoFeed, AsksHandlesInOrderAndSearchesFortyMiles) {
  TrafficInfoSource source;
  EXPECT_EQ(service.handlesAsked, (std::vector<std::string>{"IS USER SIM", "PLANE LATITUDE", "PLANE LONGITUDE",
                                                            "PLANE ALTITUDE", "FEET", "BOOL", "DEGREES"}));
  service.listed = 2;
  ASSERT_TRUE(source.Update(47, 8, 10000, 9900, 10000, 0, OperatingMode::TaRa));
  EXPECT_DOUBLE_EQ(service.lastRadiusM, 74080.0);
  EXPECT_EQ(service.lastMaxCount, 100);
  ASSERT_EQ(library.intruders.size(), 2u);
  EXPECT_FLOAT_EQ(library.intruders[0].latitudeDeg, 47.5f);
  // The service's altitude enters the pressure-basis sum unrounded.
  EXPECT_EQ(library.intruders[0].altitudeFt, static_cast<float>(10000.123456789 + (9900.0 - 10000.0)));
  EXPECT_EQ(library.lastOwnShip.slew, 0);
}

TEST_F(TrafficInfoFeed, UnreadableAltitudeLeavesAnEmptyPositionAndNoLibraryCall) {
  TrafficInfoSource source;
  service.listed = 3;
  service.altitudeUnreadable = {101};
  library.entries[100] = Entry(1, 3, 0, ThreatClass::TrafficAdvisory);
  library.entries[102] = Entry(1, 3, 0, ThreatClass::TrafficAdvisory);
  ASSERT_TRUE(source.Update(47, 8, 10000, 10000, 10000, 0, OperatingMode::TaRa));
  EXPECT_EQ(source.intruderCount, 3);
  EXPECT_EQ(library.Count("13"), 2);
  EXPECT_EQ(source.taCount, 2);
}

TEST_F(TrafficInfoFeed, NoTrafficStillCollectsTheAdvisoryAndMoreThanAHundredIsCut) {
  TrafficInfoSource source;
  service.listed = 0;
  ASSERT_TRUE(source.Update(47, 8, 10000, 10000, 10000, 0, OperatingMode::TaRa));
  EXPECT_EQ(library.Count("13"), 0);
  EXPECT_EQ(library.Count("8"), 1);
  service.listed = 250;  // a service that claims more than it was asked for
  ASSERT_TRUE(source.Update(47, 8, 10000, 10000, 10000, 0, OperatingMode::TaRa));
  EXPECT_EQ(source.intruderCount, 100);
  EXPECT_EQ(library.Count("13"), 100);
}

TEST_F(TrafficInfoFeed, StandbyStillAsksForTrafficButFeedsNone) {
  TrafficInfoSource source;
  service.listed = 4;
  service.lastMaxCount = 0;
  ASSERT_TRUE(source.Update(47, 8, 10000, 10000, 10000, 0, OperatingMode::Standby));
  EXPECT_EQ(service.lastMaxCount, 100);
  EXPECT_EQ(source.intruderCount, 0);
  EXPECT_EQ(library.Count("13"), 0);
}

TEST_F(TrafficInfoFeed, WithoutTheServiceTheFeedIsMissingAndFramesFail) {
  services.RegisterService("ITrafficInfo", nullptr);
  TrafficInfoSource source;
  const char* missing = nullptr;
  EXPECT_FALSE(source.CheckAvailable(&missing));
  EXPECT_STREQ(missing, "TrafficInfo");
  EXPECT_FALSE(source.Update(47, 8, 10000, 10000, 10000, 0, OperatingMode::TaRa));
  EXPECT_EQ(library.Count("12"), 0);
}

// A table that ends before the named-object query (FS2002's) holds no routine at word 77: the module must not
// call through it, and shows the traffic service as missing.
TEST_F(TrafficInfoFeed, ATableWithoutTheNamedObjectQueryLeavesTheFeedMissing) {
  host::PanelServices older(host::TableEdition::kFs2002);
  older.RegisterService("ITrafficInfo", &service.provider);
  ImportTable.panel.table = older.Table();
  TrafficInfoSource source;
  const char* missing = nullptr;
  EXPECT_FALSE(source.CheckAvailable(&missing));
  EXPECT_STREQ(missing, "TrafficInfo");
  EXPECT_TRUE(service.handlesAsked.empty());
}

TEST_F(TrafficInfoFeed, WithTheLinkDownFramesRunButNoPauseIsSeen) {
  TrafficInfoSource source;
  fsuipc->Poke<uint16_t>(0x0264, 1);
  fsuipc.reset();                // the server goes away
  EXPECT_FALSE(ProcessQueue());  // the link is given up at the next exchange
  EXPECT_FALSE(source.IsPaused());
  service.listed = 1;
  EXPECT_TRUE(source.Update(47, 8, 10000, 10000, 10000, 0, OperatingMode::TaRa));
}

}  // namespace
}  // namespace kvr

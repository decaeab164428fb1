// The traffic tables on the FSUIPC side, byte by byte.
#include <gtest/gtest.h>

#include <cstring>

#include "host/traffic/fsuipc_traffic_tables.h"

namespace kvr::host {
namespace {

TrafficTarget Target(uint32_t id, const std::string& callsign = "") {
  TrafficTarget t;
  t.id = id;
  t.callsign = callsign;
  t.position = {47.5 + id * 0.01, -8.25};
  t.altitudeFt = 9000 + id;
  t.headingDeg = 271.6;
  t.groundSpeedKt = 249.6;
  t.verticalSpeedFpm = -1200.4;
  return t;
}

TEST(FsuipcTrafficTables, HeaderAndSlotsLieAtTheirOffsets) {
  FsuipcServer server;
  const std::vector<TrafficTarget> targets = {Target(11, "DLH4AB"), Target(12)};
  const FsuipcTableWrite written = WriteFsuipcTrafficTables(server, targets);
  EXPECT_EQ(written.slotsInUse, 2u);
  EXPECT_EQ(written.leftOut, 0u);

  EXPECT_EQ(server.Peek<uint16_t>(0xF000), 40);  // slot size
  EXPECT_EQ(server.Peek<uint16_t>(0xF002), 99);  // what fits from 0xF080 to the end of the space
  EXPECT_EQ(server.Peek<uint16_t>(0xF004), 2);
  EXPECT_EQ(server.Peek<uint16_t>(0xF006), 0);
  for (uint32_t at = 0xF008; at < 0xF080; ++at) EXPECT_EQ(server.Bytes()[at], 0) << std::hex << at;

  EXPECT_EQ(server.Peek<uint32_t>(0xF080), 11u);
  EXPECT_FLOAT_EQ(server.Peek<float>(0xF084), 47.61f);
  EXPECT_FLOAT_EQ(server.Peek<float>(0xF088), -8.25f);
  EXPECT_FLOAT_EQ(server.Peek<float>(0xF08C), 9011.0f);
  EXPECT_EQ(server.Peek<uint16_t>(0xF090), 272);
  EXPECT_EQ(server.Peek<uint16_t>(0xF092), 250);
  EXPECT_EQ(server.Peek<int16_t>(0xF094), -1200);
  EXPECT_STREQ(reinterpret_cast<const char*>(server.Bytes() + 0xF096), "DLH4AB");
  EXPECT_EQ(server.Peek<uint32_t>(0xF080 + 40), 12u);
  EXPECT_EQ(server.Peek<uint32_t>(0xF080 + 80), 0u);  // third slot empty
}

TEST(FsuipcTrafficTables, FewerTargetsClearTheSlotsOfTheLastFrame) {
  FsuipcServer server;
  const std::vector<TrafficTarget> three = {Target(1), Target(2), Target(3)};
  WriteFsuipcTrafficTables(server, three);
  WriteFsuipcTrafficTables(server, std::span(three).first(1));
  EXPECT_EQ(server.Peek<uint16_t>(0xF004), 1);
  for (uint32_t at = 0xF080 + 40; at < 0xF080 + 120; ++at) ASSERT_EQ(server.Bytes()[at], 0) << std::hex << at;
}

TEST(FsuipcTrafficTables, TargetsBeyondTheCapacityAreLeftOutAndTheLastSlotEndsInsideTheSpace) {
  FsuipcServer server;
  std::vector<TrafficTarget> targets;
  for (uint32_t id = 1; id <= 103; ++id) targets.push_back(Target(id, "LONGCALLSIGN12345678"));
  const FsuipcTableWrite written = WriteFsuipcTrafficTables(server, targets);
  EXPECT_EQ(written.slotsInUse, 99u);
  EXPECT_EQ(written.leftOut, 4u);
  EXPECT_EQ(server.Peek<uint16_t>(0xF004), 99);
  const uint32_t last = 0xF080 + 98 * 40;
  EXPECT_LE(last + 40, FsuipcServer::kSpaceBytes);
  EXPECT_EQ(server.Peek<uint32_t>(last), 99u);
  // A long callsign is cut to 17 characters and still ends in a zero inside its slot.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(server.Bytes() + last + 22)), "LONGCALLSIGN12345");
  EXPECT_EQ(server.Bytes()[last + 39], 0);
}

TEST(FsuipcTrafficTables, OutOfRangeKinematicsSaturateInsteadOfWrapping) {
  FsuipcServer server;
  TrafficTarget t = Target(1);
  t.headingDeg = 359.8;  // rounds to 360, which is north
  t.groundSpeedKt = -5;
  t.verticalSpeedFpm = 40000;
  const std::vector<TrafficTarget> one = {t};
  WriteFsuipcTrafficTables(server, one);
  EXPECT_EQ(server.Peek<uint16_t>(0xF090), 0);
  EXPECT_EQ(server.Peek<uint16_t>(0xF092), 0);
  EXPECT_EQ(server.Peek<int16_t>(0xF094), 32767);
}

}  // namespace
}  // namespace kvr::host

// Reading the published traffic picture, and the advisory in words.
#include <gtest/gtest.h>

#include "host/traffic/traffic_picture.h"

namespace kvr::host {
namespace {

// A traffic source laid out as a C++ class with virtual operations, the way the module's is.
class FakeSource {
 public:
  virtual ~FakeSource() = default;
  virtual bool IsPaused() { return false; }
  uint32_t updateCount = 0;
  IntruderEntry** intruderOrder = nullptr;
  int32_t intruderCount = 0;
  int32_t taCount = 0;
  int32_t raCount = 0;
  AdvisoryRecord advisory{0, nullptr, -10000.0f, 10000.0f, 10000.0f, 1};
  float ownPressureAltitudeFt = 0;
  uint16_t lastTick = 0;
};

IntruderEntry Entry(uint32_t id, uint8_t valid, ThreatClass c, float rangeNm) {
  IntruderEntry e{};
  e.id = id;
  e.valid = valid;
  e.status = MakeStatus(static_cast<uint32_t>(c), 0, c);
  e.rangeNm = rangeNm;
  return e;
}

class TrafficPicture : public ::testing::Test {
 protected:
  PanelServices services;
  FakeSource source;
  FakeSource* cell = &source;
  IntruderEntry entries[4] = {Entry(21, 1, ThreatClass::OtherTraffic, 9), Entry(0, 1, ThreatClass::TrafficAdvisory, 1),
                              Entry(23, 0, ThreatClass::TrafficAdvisory, 2),
                              Entry(24, 1, ThreatClass::ResolutionAdvisory, 3)};
  IntruderEntry* order[4] = {&entries[0], &entries[1], &entries[2], &entries[3]};

  void Publish(uint32_t typeCode = kTypeObject) {
    services.Table()->PublishVariable(&cell, typeCode, "KVR_TCAS!Logic");
  }
};

TEST_F(TrafficPicture, ReadsTheFieldsAndSkipsUnusedAndInvalidEntries) {
  source.updateCount = 17;
  source.intruderOrder = order;
  source.intruderCount = 4;
  source.taCount = 0;
  source.raCount = 1;
  source.advisory = {1, nullptr, 1500.0f, 10000.0f, 1500.0f, 0};
  source.ownPressureAltitudeFt = 8000;
  Publish();
  const auto picture = ReadTrafficPicture(services);
  ASSERT_TRUE(picture.has_value());
  EXPECT_EQ(picture->updateCount, 17u);
  EXPECT_EQ(picture->raCount, 1);
  EXPECT_EQ(picture->advisory.auralCode, 1);
  EXPECT_EQ(picture->advisory.vsLowerLimitFpm, 1500.0f);
  EXPECT_EQ(picture->ownPressureAltitudeFt, 8000.0f);
  ASSERT_EQ(picture->intruders.size(), 2u);  // id 0 and valid 0 are nobody's
  EXPECT_EQ(picture->intruders[0].id, 21u);
  EXPECT_EQ(picture->intruders[1].id, 24u);
}

TEST_F(TrafficPicture, NoPictureWithoutAPublishedObjectOrWithADamagedList) {
  EXPECT_FALSE(ReadTrafficPicture(services).has_value());  // not published
  Publish(kTypeInt32);
  EXPECT_FALSE(ReadTrafficPicture(services).has_value());  // wrong type code
  Publish();
  cell = nullptr;
  EXPECT_FALSE(ReadTrafficPicture(services).has_value());  // no source
  cell = &source;
  source.intruderCount = 3;  // a count without a list
  EXPECT_FALSE(ReadTrafficPicture(services).has_value());
  source.intruderOrder = order;
  source.intruderCount = -1;
  EXPECT_FALSE(ReadTrafficPicture(services).has_value());
  source.intruderCount = 0;
  EXPECT_TRUE(ReadTrafficPicture(services).has_value());
}

TEST(AdvisoryReading, LimitsCountAsTheDialDrawsThem) {
  const AdvisoryReading none = ReadAdvisory({0, nullptr, -10000.0f, 10000.0f, 10000.0f, 1});
  EXPECT_FALSE(none.Active());
  EXPECT_FALSE(none.targetFpm.has_value());
  const AdvisoryReading edge = ReadAdvisory({0, nullptr, -9999.0f, 9999.0f, 9999.0f, 0});
  EXPECT_FALSE(edge.Active());
  EXPECT_FALSE(edge.targetFpm.has_value());
  const AdvisoryReading climb = ReadAdvisory({0, nullptr, 1500.0f, 10000.0f, 1500.0f, 0});
  EXPECT_EQ(climb.lowerFpm, 1500.0f);
  EXPECT_FALSE(climb.upperFpm.has_value());
  EXPECT_EQ(climb.targetFpm, 1500.0f);
}

TEST(AdvisoryReading, WordsFollowTheSenseAndTheTarget) {
  struct Case {
    float lower, upper, target;
    const char* sense;
    const char* words;
  };
  const Case cases[] = {
      {-10000, 10000, 10000, "none", "none"},
      {1500, 10000, 1500, "up", "climb"},
      {2500, 10000, 2500, "up", "increase climb"},
      {0, 10000, 0, "up", "level off"},  // corrective: a descent to stop
      {-500, 10000, -500, "up", "limit descent"},
      {-10000, -1500, -1500, "down", "descend"},
      {-10000, -2500, -2500, "down", "increase descent"},
      {-10000, 0, 0, "down", "level off"},
      {-10000, 1000, 1000, "down", "limit climb"},
      {-10000, 0, 10000, "down", "monitor vertical speed"},  // preventive: a limit, no green arc
      {0, 10000, 10000, "up", "monitor vertical speed"},
  };
  for (const Case& c : cases) {
    const AdvisoryReading r = ReadAdvisory({0, nullptr, c.lower, c.upper, c.target, 0});
    EXPECT_STREQ(SenseName(SenseOf(r)), c.sense) << c.lower << " " << c.upper << " " << c.target;
    EXPECT_EQ(AdvisoryWords(r), c.words) << c.lower << " " << c.upper << " " << c.target;
  }
}

}  // namespace
}  // namespace kvr::host

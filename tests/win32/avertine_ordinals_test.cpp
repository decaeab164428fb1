// Avertine.dll as the module reaches it on Windows: loaded by name, each entry point found by its ordinal
// and called with the stdcall convention (a wrong decoration or convention would unbalance the stack).
#include <gtest/gtest.h>
#include <windows.h>

#include "avertine/avertine.h"

namespace kvr {
namespace {

class AvertineByOrdinal : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(library, nullptr) << "Avertine.dll not found beside the test program"; }
  void TearDown() override {
    if (library != nullptr) FreeLibrary(library);
  }
  template <typename Function>
  Function At(int ordinal) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(ordinal))));
  }
  HMODULE library = LoadLibraryA("Avertine.dll");
};

TEST_F(AvertineByOrdinal, TheEightEntryPointsAreThereByNumberOnly) {
  for (int ordinal : {1, 2, 3, 8, 12, 13, 14, 15}) EXPECT_NE(At<void (*)()>(ordinal), nullptr) << ordinal;
  for (int ordinal : {4, 5, 6, 7, 9, 10, 11}) EXPECT_EQ(At<void (*)()>(ordinal), nullptr) << ordinal;
  EXPECT_EQ(GetProcAddress(library, "AvertineCreate"), nullptr);
  EXPECT_EQ(GetProcAddress(library, "AvertineUpdateOwnShip"), nullptr);
}

// One frame through the ordinals alone: a level intruder 2 NM ahead at the same altitude becomes traffic.
TEST_F(AvertineByOrdinal, AFrameThroughTheOrdinalsPlacesTheIntruder) {
  auto create = At<AvertineHandle(AVERTINE_CALL*)(int32_t)>(kOrdinalCreate);
  auto destroy = At<int32_t(AVERTINE_CALL*)(AvertineHandle)>(kOrdinalDestroy);
  auto reset = At<int32_t(AVERTINE_CALL*)(AvertineHandle, AdvisoryRecord*, int32_t)>(kOrdinalResetAdvisory);
  auto collect = At<int32_t(AVERTINE_CALL*)(AvertineHandle, AdvisoryRecord*, int32_t)>(kOrdinalCollectAdvisory);
  auto ownShip = At<int32_t(AVERTINE_CALL*)(AvertineHandle, const OwnShipRecord*)>(kOrdinalUpdateOwnShip);
  auto intruder =
      At<int32_t(AVERTINE_CALL*)(AvertineHandle, const IntruderInputRecord*, IntruderEntry*)>(kOrdinalProcessIntruder);
  auto ownDefaults = At<int32_t(AVERTINE_CALL*)(OwnShipRecord*)>(kOrdinalDefaultOwnShip);
  auto intruderDefaults = At<int32_t(AVERTINE_CALL*)(IntruderInputRecord*)>(kOrdinalDefaultIntruderInput);

  AvertineHandle logic = create(kCapabilityTrafficAdvisories | kCapabilityResolutionAdvisories);
  ASSERT_NE(logic, nullptr);
  OwnShipRecord own{};
  ASSERT_EQ(ownDefaults(&own), 1);
  EXPECT_FLOAT_EQ(own.framePeriodS, 1.0f);
  own.pressureAltitudeFt = 8000.0f;
  own.radioAltitudeFt = 7000.0f;
  own.groundLevelFt = 1000.0f;
  own.mode = static_cast<int32_t>(OperatingMode::TaRa);
  own.latitudeDeg = 47.0f;
  own.longitudeDeg = 8.0f;
  own.headingDeg = 0.0f;
  AdvisoryRecord advisory{};
  ASSERT_EQ(reset(logic, &advisory, 0), 1);
  EXPECT_EQ(advisory.modeStatus, static_cast<int32_t>(OperatingMode::Standby));
  ASSERT_EQ(ownShip(logic, &own), 1);

  IntruderInputRecord input{};
  ASSERT_EQ(intruderDefaults(&input), 1);
  input.id = input.address = 7;
  input.latitudeDeg = 47.0f + 2.0f / 60.0f;
  input.longitudeDeg = 8.0f;
  input.altitudeFt = 8000.0f;
  input.altitudeReporting = 1;
  IntruderEntry entry{};
  entry.id = 7;
  EXPECT_EQ(intruder(logic, &input, &entry), 1);
  EXPECT_NEAR(entry.rangeNm, 2.0f, 0.02f);
  EXPECT_NEAR(entry.relativeAltitudeFt, 0.0f, 1.0f);
  EXPECT_EQ(collect(logic, &advisory, 0), 1);
  EXPECT_EQ(advisory.modeStatus, static_cast<int32_t>(OperatingMode::TaRa));
  EXPECT_EQ(destroy(logic), 1);
  EXPECT_EQ(destroy(nullptr), 0);
}

}  // namespace
}  // namespace kvr

// The host is as strict as the simulator: a table word or host-object operation it does not serve ends the
// run with exit code 3 and names what was called; its refresh writes a record's previous value exactly where
// the simulator writes it, and nothing beyond the record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/panel_services.h"
#include "host/traffic/traffic_info_service.h"

namespace kvr::host {
namespace {

HostRoutine Word(PanelHost* table, int word) {
  HostRoutine routine;
  std::memcpy(&routine, reinterpret_cast<const unsigned char*>(table) + PanelHostWordOffset(word), sizeof routine);
  return routine;
}

bool Served(int word) { return (word >= 24 && word <= 31 && word != 30) || (word >= 36 && word <= 41) || word == 77; }

TEST(StrictHostDeathTest, EveryRoutineWordItDoesNotServeIsATrapNamingTheWord) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  PanelServices services;
  for (int word = 1; word < kPanelHostWords; ++word) {
    if (Served(word) || (word >= 3 && word <= 5)) continue;  // 3-5 are the header's data words
    SCOPED_TRACE(word);
    EXPECT_EXIT(Word(services.Table(), word)(), ::testing::ExitedWithCode(kTrapExitCode),
                "the module called word " + std::to_string(word) + " of the panel-service table");
  }
  EXPECT_EQ(services.Table()->tableId, kPanelServiceTableId);
}

TEST(StrictHostDeathTest, TheTrafficServiceTrapsEveryOperationItDoesNotServe) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  PanelServices services;
  TrafficInfoService traffic;
  using Unary = int32_t(KVR_HOST_OBJECT_CALL*)(ServiceObject*);
  for (ServiceObject* object : {traffic.Provider(), traffic.Interface()}) {
    for (int position : {0, 1, 11}) {  // AddRef, Release, and a gap between the interface's own operations
      SCOPED_TRACE(position);
      EXPECT_EXIT(ServiceOperation<Unary>(object, position)(object), ::testing::ExitedWithCode(kTrapExitCode),
                  "the module called operation " + std::to_string(position) + " of the");
    }
  }
}

TEST(StrictHost, RefreshKeepsThePreviousValueAndLeavesBackToBackRecordsAlone) {
  PanelServices services;
  std::vector<VariableRecord> records(3);
  std::memset(records.data(), 0xA5, sizeof(VariableRecord) * records.size());
  records[1] = SimVariableRecord(65);
  const std::vector<VariableRecord> before = records;

  services.SetSimVariable(65, -500.0);
  services.Table()->RefreshVariable(&records[1]);
  services.SetSimVariable(65, 1200.0);
  services.Table()->RefreshVariable(&records[1]);

  const VariableValue value = records[1].value, previous = records[1].previous;
  EXPECT_EQ(value.f64, 1200.0);
  EXPECT_EQ(previous.f64, -500.0);
  // Every byte of the neighbours, padding included, is as it was.
  // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
  EXPECT_EQ(std::memcmp(&records[0], &before[0], sizeof(VariableRecord)), 0);
  // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
  EXPECT_EQ(std::memcmp(&records[2], &before[2], sizeof(VariableRecord)), 0);
}

}  // namespace
}  // namespace kvr::host

// The Logic gauge: options, publication, pacing on the 18 Hz tick, pause, the mode from the selectors,
// the life of its source, and the 500-foot rule for voice messages.
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "module/display/display.h"
#include "module/logic/logic.h"
#include "module/platform/sound.h"
#include "module/sound/sound.h"
#include "tests/gauge/module_fixture.h"
#include "tests/logic/logic_fixture.h"

namespace kvr {
namespace {

namespace fs = std::filesystem;
using scripted::library;
using testing::LogicTest;

TEST(LogicOptions, SubstringKeywordsWithOneSeparator) {
  EXPECT_FALSE(ParseLogicOptions("trafficinfo=n").trafficInfo);
  EXPECT_FALSE(ParseLogicOptions("volume=0 trafficinfo=").trafficInfo);
  EXPECT_FALSE(ParseLogicOptions("TRAFFICINFO=y").trafficInfo);
  EXPECT_TRUE(ParseLogicOptions("xtrafficinfo=y").trafficInfo);
  EXPECT_TRUE(ParseLogicOptions("trafficinfo:1,volume:0").trafficInfo);
  EXPECT_EQ(ParseLogicOptions("trafficinfo:1,volume:0").volume, 0);
  EXPECT_EQ(ParseLogicOptions("volume=abc").volume, -300);
  EXPECT_EQ(ParseLogicOptions("volume=-1200").volume, -1200);
  EXPECT_EQ(ParseLogicOptions("").volume, -300);
  EXPECT_FALSE(ParseLogicOptions(nullptr).trafficInfo);
}

TEST(LogicMode, PowerModeIndexAndVsiFlagGiveTheOperatingMode) {
  const SelectorVariables saved = selectors;
  selectors.power = 1;
  selectors.vsiFlag = 0;
  const std::pair<int32_t, OperatingMode> byIndex[] = {
      {0, OperatingMode::Standby}, {1, OperatingMode::Standby}, {2, OperatingMode::Standby}, {3, OperatingMode::TaOnly},
      {4, OperatingMode::TaRa},    {5, OperatingMode::Standby}, {-1, OperatingMode::Standby}};
  for (auto [index, mode] : byIndex) {
    selectors.modeIndex = index;
    EXPECT_EQ(ModeFromSelectors(), mode) << index;
  }
  selectors.modeIndex = 4;
  selectors.vsiFlag = 1;
  EXPECT_EQ(ModeFromSelectors(), OperatingMode::TaOnly);
  selectors.power = 0;
  EXPECT_EQ(ModeFromSelectors(), OperatingMode::Standby);
  selectors = saved;
}

class LogicGauge : public LogicTest {
 protected:
  GaugeHeader gauge{};
  std::string parameters;
  SelectorVariables saved = selectors;

  void SetUp() override {
    LogicTest::SetUp();
    selectors.modeIndex = kModeTaRa;
    gauge.parameters = parameters.c_str();
    services.SetSimVariable(614, 8000 / 3.2808398950131235);  // radio altitude, metres
  }
  void TearDown() override {
    if (logicCell != nullptr) LogicDisconnect(&gauge);
    selectors = saved;
    LogicTest::TearDown();
  }
  void Install(const std::string& text) {
    parameters = text;
    gauge.parameters = parameters.c_str();
    LogicConnect(&gauge);
    LogicInstall(&gauge, 0);
  }
  void UpdateAtTick(double tick) {
    services.SetSimVariable(1, tick);
    LogicUpdate(&gauge);
  }
};

TEST_F(LogicGauge, PublishesItsCellAndChoosesTheFeedAtInstallation) {
  Install("");
  const host::PublishedVariable* cell = services.Find("KVR_TCAS!Logic");
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->typeCode, kTypeObject);
  EXPECT_EQ(cell->address, &logicCell);
  EXPECT_NE(dynamic_cast<FsuipcTrafficSource*>(logicCell), nullptr);

  // A second installation replaces the source; the cell stays published and holds the new one.
  parameters = "trafficinfo=y";
  gauge.parameters = parameters.c_str();
  LogicInstall(&gauge, 0);
  EXPECT_NE(dynamic_cast<TrafficInfoSource*>(logicCell), nullptr);
  EXPECT_EQ(library.Count("2"), 1);
  EXPECT_NE(services.Find("KVR_TCAS!Logic"), nullptr);

  LogicDisconnect(&gauge);
  EXPECT_EQ(logicCell, nullptr);
  EXPECT_EQ(services.Find("KVR_TCAS!Logic"), nullptr);
  EXPECT_EQ(library.Count("2"), 2);
}

TEST_F(LogicGauge, RunsAFrameOnlyWhenEighteenTicksHavePassed) {
  WriteTraffic({});
  Install("");
  UpdateAtTick(10);  // 10 from the start value 0: too soon
  EXPECT_EQ(logicCell->updateCount, 0u);
  UpdateAtTick(18);
  EXPECT_EQ(logicCell->updateCount, 1u);
  EXPECT_EQ(logicCell->lastTick, 18);
  UpdateAtTick(35);  // 17 ticks later
  EXPECT_EQ(logicCell->updateCount, 1u);
  UpdateAtTick(36);
  EXPECT_EQ(logicCell->updateCount, 2u);
  UpdateAtTick(65535);
  EXPECT_EQ(logicCell->updateCount, 3u);
  UpdateAtTick(65536 + 2);  // the counter's low 16 bits wrapped to 2: a large step, so a frame
  EXPECT_EQ(logicCell->updateCount, 4u);
  EXPECT_EQ(logicCell->lastTick, 2);
}

TEST_F(LogicGauge, ATickThatIsNoNumberCountsAsZero) {
  WriteTraffic({});
  Install("");
  UpdateAtTick(100);
  ASSERT_EQ(logicCell->lastTick, 100);
  // Each is tick 0, 100 ticks from the last frame: a frame runs at the first and not at the others.
  for (double tick : {std::nan(""), std::numeric_limits<double>::infinity(), -1e300}) UpdateAtTick(tick);
  EXPECT_EQ(logicCell->updateCount, 2u);
  EXPECT_EQ(logicCell->lastTick, 0);
}

TEST_F(LogicGauge, PauseFreezesThePictureAndTheTick) {
  WriteTraffic({});
  Install("");
  fsuipc->Poke<uint16_t>(0x0264, 1);
  UpdateAtTick(100);
  EXPECT_EQ(logicCell->updateCount, 0u);
  EXPECT_EQ(logicCell->lastTick, 0);
  fsuipc->Poke<uint16_t>(0x0264, 0);
  UpdateAtTick(100);
  EXPECT_EQ(logicCell->updateCount, 1u);
}

TEST_F(LogicGauge, ConvertsTheSimulatorVariablesIntoTheOwnShipRecord) {
  WriteTraffic({});
  Install("");
  services.SetSimVariable(71, 47.0 / (90.0 / 10001750.0));       // metres north
  services.SetSimVariable(72, 8.5 * 281474976710656.0 / 360.0);  // 2^48 units per turn
  services.SetSimVariable(73, 3048.0);                           // metres: 10000 ft
  services.SetSimVariable(614, 304.8);                           // 1000 ft
  services.SetSimVariable(86, 275.0);
  services.SetSimVariable(74, 9800.0);
  services.SetSimVariable(76, 29.72);  // 0.2 inHg below standard: pressure altitude 200 ft higher
  UpdateAtTick(18);
  EXPECT_NEAR(library.lastOwnShip.latitudeDeg, 47.0f, 1e-5);
  EXPECT_NEAR(library.lastOwnShip.longitudeDeg, 8.5f, 1e-5);
  EXPECT_NEAR(library.lastOwnShip.radioAltitudeFt, 1000.0f, 1e-3);
  EXPECT_NEAR(library.lastOwnShip.pressureAltitudeFt, 10000.0f, 1e-2);
  EXPECT_FLOAT_EQ(library.lastOwnShip.headingDeg, 275.0f);
  EXPECT_EQ(library.lastOwnShip.mode, static_cast<int32_t>(OperatingMode::TaRa));
}

// A sound output that only counts how often a recording was started.
struct CountingDriver {
  static inline int plays = 0;
  static platform::SoundDriver Make() {
    platform::SoundDriver d{};
    d.openDevice = [] { return reinterpret_cast<platform::SoundDeviceHandle>(1); };
    d.closeDevice = [](platform::SoundDeviceHandle) {};
    d.createBuffer = [](platform::SoundDeviceHandle, const platform::SoundFormat&, const uint8_t*, size_t) {
      return static_cast<platform::SoundBufferHandle>(new int(0));
    };
    d.releaseBuffer = [](platform::SoundBufferHandle b) { delete static_cast<int*>(b); };
    d.play = [](platform::SoundBufferHandle) {
      ++plays;
      return true;
    };
    d.stop = [](platform::SoundBufferHandle) { return true; };
    d.setPosition = [](platform::SoundBufferHandle, uint32_t) { return true; };
    d.setVolume = [](platform::SoundBufferHandle, int32_t) { return true; };
    d.queryPlaying = [](platform::SoundBufferHandle, bool& playing) {
      playing = false;
      return true;
    };
    return d;
  }
};

TEST_F(LogicGauge, NoVoiceMessageIsStartedAtOrBelowFiveHundredFeet) {
  // The recordings, as files of their names in the working directory.
  const fs::path dir = fs::temp_directory_path() / ("kvr_logic_voice_" + std::to_string(getpid()));
  fs::create_directories(dir);
  for (const auto& wav : fs::directory_iterator(testing::SourceDir() / "module/resources/voices"))
    fs::copy_file(wav.path(), dir / wav.path().stem(), fs::copy_options::overwrite_existing);
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  static const platform::SoundDriver driver = CountingDriver::Make();
  ASSERT_TRUE(UseSoundDriver(&driver));
  WriteTraffic({});
  Install("");

  CountingDriver::plays = 0;
  services.SetSimVariable(614, 500.0 / 3.2808398950131235);
  library.nextAuralCode = AlertClimb;
  UpdateAtTick(18);
  EXPECT_EQ(CountingDriver::plays, 0);
  services.SetSimVariable(614, 501.0 / 3.2808398950131235);
  library.nextAuralCode = AlertClimb;
  UpdateAtTick(36);
  EXPECT_GT(CountingDriver::plays, 0);  // "Climb" is said twice; this output never reports playing

  LogicDisconnect(&gauge);
  UseSoundDriver(nullptr);
  fs::current_path(previous);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kvr

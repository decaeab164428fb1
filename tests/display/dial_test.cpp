// The vertical speed dial: the scale law, the display mode with its self-test announcement, the red and
// green sectors sampled at the angles the scale gives, and the flags and texts found where the face puts
// them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "module/platform/sound.h"
#include "module/sound/sound.h"
#include "tests/display/display_test_support.h"

namespace kvr::display_test {
namespace {

constexpr float kPi = std::numbers::pi_v<float>;

TEST(VerticalSpeedAngle, ScaleLawAtItsBreakpointsAndBeyond) {
  EXPECT_FLOAT_EQ(VerticalSpeedAngle(0.0f), kPi);
  EXPECT_FLOAT_EQ(VerticalSpeedAngle(1000.0f), 1.9111356f);
  EXPECT_FLOAT_EQ(VerticalSpeedAngle(-1000.0f), -1.9111356f);
  EXPECT_FLOAT_EQ(VerticalSpeedAngle(4000.0f), 0.6265732f);
  EXPECT_NEAR(VerticalSpeedAngle(1500.0f), kPi / 2, 1e-6f);    // 12 o'clock
  EXPECT_NEAR(VerticalSpeedAngle(-1500.0f), -kPi / 2, 1e-6f);  // 6 o'clock
  EXPECT_NEAR(VerticalSpeedAngle(2500.0f), (1.2304571f + 0.8953539f) / 2, 1e-6f);
  for (float beyond : {6000.0f, 9000.0f, 1e30f}) EXPECT_FLOAT_EQ(VerticalSpeedAngle(beyond), 0.1658063f);
  for (float beyond : {-6000.0f, -9000.0f, -1e30f}) EXPECT_FLOAT_EQ(VerticalSpeedAngle(beyond), -0.1658063f);
  EXPECT_EQ(VerticalSpeedAngle(std::nanf("")), 0.0f);
  // A tiny descent points almost exactly where level flight does.
  EXPECT_NEAR(VerticalSpeedAngle(-0.001f), -kPi, 1e-5f);
  // Climbs turn the needle clockwise: the angle falls steadily from 0 to 6000.
  float previous = VerticalSpeedAngle(0.0f);
  for (float v = 100.0f; v <= 6000.0f; v += 100.0f) {
    const float angle = VerticalSpeedAngle(v);
    EXPECT_LT(angle, previous) << v;
    previous = angle;
  }
}

// ---- Display mode -----------------------------------------------------------------------------------------

class DisplayMode : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSelectors(kModeStandby);
    display = CreateIvsiDisplay(nullptr, &cell, 132, 132, false, true, 999, 1.0f);
    ASSERT_NE(display, nullptr);
  }
  void TearDown() override { DestroyIvsiDisplay(display); }

  int32_t ModeFor(int32_t modeIndex, bool powered, int32_t modeStatus) {
    selectors.modeIndex = modeIndex;
    display->powered = powered;
    source.advisory.modeStatus = modeStatus;
    EvaluateMode(*display);
    return display->displayMode;
  }

  FakeSource source;
  TrafficSource* cell = &source;
  IvsiDisplay* display = nullptr;
};

TEST_F(DisplayMode, SelectionGivesModeUnlessUnpoweredOrTheLogicRunsLess) {
  constexpr int32_t taRa = 0, standby = 1, taOnly = 2;
  EXPECT_EQ(ModeFor(0, true, taRa), kDisplayModeTest);
  EXPECT_EQ(ModeFor(1, true, taRa), kDisplayModeStandby);
  EXPECT_EQ(ModeFor(2, true, taRa), kDisplayModeTransponder);
  EXPECT_EQ(ModeFor(3, true, taOnly), kDisplayModeTaOnly);
  EXPECT_EQ(ModeFor(4, true, taRa), kDisplayModeTaRa);
  // TA/RA selected while the logic runs TA only (V/S failed) shows TA only; Standby shows standby.
  EXPECT_EQ(ModeFor(4, true, taOnly), kDisplayModeTaOnly);
  EXPECT_EQ(ModeFor(4, true, standby), kDisplayModeStandby);
  EXPECT_EQ(ModeFor(4, true, 7), kDisplayModeStandby);
  for (int32_t index = 0; index <= 4; ++index) EXPECT_EQ(ModeFor(index, false, taRa), kDisplayModeStandby);
  // Out of range selections are clamped and written back.
  EXPECT_EQ(ModeFor(9, true, taRa), kDisplayModeTaRa);
  EXPECT_EQ(selectors.modeIndex, 4);
  EXPECT_EQ(ModeFor(-2, true, taRa), kDisplayModeTest);
  EXPECT_EQ(selectors.modeIndex, 0);
  // No picture: standby for TA and TA/RA, and no advisory limits.
  cell = nullptr;
  EXPECT_EQ(ModeFor(4, true, taRa), kDisplayModeStandby);
  EXPECT_EQ(display->advisoryCopy.vsLowerLimitFpm, -10000.0f);
  EXPECT_EQ(display->advisoryCopy.vsTargetFpm, 10000.0f);
  EXPECT_EQ(ModeFor(2, true, taRa), kDisplayModeTransponder);
}

// The self-test result, heard through a sound driver that logs what it is asked to play. The two test
// messages are wave files in a scratch working directory whose samples spell their names.
std::vector<std::string> played;

std::string NameOf(platform::SoundBufferHandle buffer) { return static_cast<const char*>(buffer); }

const platform::SoundDriver kLoggingDriver = {
    []() -> platform::SoundDeviceHandle { return &played; },
    [](platform::SoundDeviceHandle) {},
    [](platform::SoundDeviceHandle, const platform::SoundFormat&, const uint8_t* pcm,
       size_t bytes) -> platform::SoundBufferHandle {
      static std::vector<std::string> names;  // keeps the names' storage for the handles
      names.reserve(32);
      names.emplace_back(reinterpret_cast<const char*>(pcm), strnlen(reinterpret_cast<const char*>(pcm), bytes));
      return const_cast<char*>(names.back().c_str());
    },
    [](platform::SoundBufferHandle) {},
    [](platform::SoundBufferHandle buffer) {
      played.push_back(NameOf(buffer));
      return true;
    },
    [](platform::SoundBufferHandle) { return true; },
    [](platform::SoundBufferHandle, uint32_t) { return true; },
    [](platform::SoundBufferHandle, int32_t) { return true; },
    [](platform::SoundBufferHandle, bool& playing) {
      playing = false;
      return true;
    },
};

void PutWord(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void WriteNamedWave(const std::filesystem::path& folder, const std::string& name) {
  std::string samples = name;
  samples.resize(64, '\0');
  std::string format;
  PutWord(format, 1, 2);      // PCM
  PutWord(format, 1, 2);      // mono
  PutWord(format, 8000, 4);   // samples per second
  PutWord(format, 16000, 4);  // bytes per second
  PutWord(format, 2, 2);      // block
  PutWord(format, 16, 2);     // bits
  std::string body = "WAVEfmt ";
  PutWord(body, static_cast<uint32_t>(format.size()), 4);
  body += format + "data";
  PutWord(body, static_cast<uint32_t>(samples.size()), 4);
  body += samples;
  std::string file = "RIFF";
  PutWord(file, static_cast<uint32_t>(body.size()), 4);
  std::ofstream(folder / name, std::ios::binary) << file << body;
}

class SelfTestAnnouncement : public DisplayMode {
 protected:
  void SetUp() override {
    home_ = std::filesystem::current_path();
    folder_ = std::filesystem::temp_directory_path() / ("kvr_display_sound_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder_);
    WriteNamedWave(folder_, "WAV_TcasSystemTestOK");
    WriteNamedWave(folder_, "WAV_TcasSystemTestFail");
    std::filesystem::current_path(folder_);
    ASSERT_TRUE(UseSoundDriver(&kLoggingDriver));
    InitAnnouncer(nullptr, 0);
    played.clear();
    DisplayMode::SetUp();
    selectors.vsiFlag = 0;
    display->vsiFailed = false;
  }
  void TearDown() override {
    DisplayMode::TearDown();
    ShutdownAnnouncer();
    UseSoundDriver(nullptr);
    std::filesystem::current_path(home_);
    std::filesystem::remove_all(folder_);
  }

  std::filesystem::path home_, folder_;
};

TEST_F(SelfTestAnnouncement, SpokenOnceOnEachEntryIntoTheTestWhilePowered) {
  ModeFor(0, true, 0);
  ModeFor(0, true, 0);
  EXPECT_EQ(played, std::vector<std::string>{"WAV_TcasSystemTestOK"});
  ModeFor(4, true, 0);
  ModeFor(0, true, 0);
  EXPECT_EQ(played.size(), 2u);
  // A failed feed or vertical speed fails the test.
  played.clear();
  ModeFor(4, true, 0);
  display->logicFailed = true;
  ModeFor(0, true, 0);
  ModeFor(4, true, 0);
  display->logicFailed = false;
  display->vsiFailed = true;
  ModeFor(0, true, 0);
  EXPECT_EQ(played, (std::vector<std::string>{"WAV_TcasSystemTestFail", "WAV_TcasSystemTestFail"}));
  // Unpowered, the test says nothing.
  played.clear();
  ModeFor(4, true, 0);
  ModeFor(0, false, 0);
  EXPECT_TRUE(played.empty());
}

TEST_F(SelfTestAnnouncement, DisplayBuiltInTheTestModeAnnouncesFromTheSelectors) {
  selectors.modeIndex = kModeTest;
  selectors.vsiFlag = 0;
  IvsiDisplay* built = CreateIvsiDisplay(nullptr, &cell, 132, 132, false, true, 999, 1.0f);
  EXPECT_EQ(played, std::vector<std::string>{"WAV_TcasSystemTestOK"});
  DestroyIvsiDisplay(built);
  played.clear();
  selectors.vsiFlag = 1;
  built = CreateIvsiDisplay(nullptr, &cell, 132, 132, false, true, 999, 1.0f);
  EXPECT_EQ(played, std::vector<std::string>{"WAV_TcasSystemTestFail"});
  DestroyIvsiDisplay(built);
}

// ---- Advisory sectors --------------------------------------------------------------------------------------

// An anti-aliased display (D = 257, dial radius 100, red to 108, green to 113) whose face is redrawn for
// the limits given; the sectors are sampled on the saved face between scale marks.
class AdvisorySectors : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSelectors(kModeTaRa);
    selectors.vsiFlag = 0;
    display = CreateIvsiDisplay(nullptr, &cell, 132, 132, true, true, 999, 1.0f);
    ASSERT_NE(display, nullptr);
    ASSERT_EQ(display->ringRadius, 100);
  }
  void TearDown() override { DestroyIvsiDisplay(display); }

  void Draw(float lower, float upper, float target, int32_t modeIndex = kModeTaRa) {
    source.SetAdvisory(lower, upper, target);
    selectors.modeIndex = modeIndex;
    EvaluateMode(*display);
    RedrawFace(*display);
  }
  uint32_t At(float speedFpm, float radius) const { return FaceAt(*display, VerticalSpeedAngle(speedFpm), radius); }

  void ExpectColour(std::initializer_list<float> speeds, float radius, Rgb colour, const char* what) const {
    for (float speed : speeds) EXPECT_EQ(At(speed, radius), PixelWord(colour)) << what << " at " << speed;
  }
  void ExpectBare(std::initializer_list<float> speeds, float radius, const char* what) const {
    for (float speed : speeds) EXPECT_EQ(At(speed, radius), kBackgroundPixel) << what << " at " << speed;
  }

  static constexpr float kInRed = 104.0f;      // between the dial circle and the red radius
  static constexpr float kOnlyGreen = 110.5f;  // beyond the red radius, inside the green one
  FakeSource source;
  TrafficSource* cell = &source;
  IvsiDisplay* display = nullptr;
};

TEST_F(AdvisorySectors, ClimbIsRedBelowTheLimitAndGreenForNineteenDegreesAbove) {
  Draw(1500, 10000, 1500);
  ExpectColour({1250, 950, 450, 50, -50, -950, -1750, -3250, -5750}, kInRed, kRed, "climb red");
  ExpectColour({1600, 1750, 1950}, kInRed, kGreen, "climb green");
  ExpectColour({1600, 1750, 1950}, kOnlyGreen, kGreen, "climb green rim");
  ExpectBare({2150, 2250, 3250, 5750}, kInRed, "climb allowed");
  ExpectBare({1250, -950}, kOnlyGreen, "red stops at its radius");
  EXPECT_EQ(display->drawnLimits[0], 1500.0f);
  EXPECT_EQ(display->drawnLimits[2], 1500.0f);
}

TEST_F(AdvisorySectors, DescentIsRedAboveTheLimitAndGreenBelow) {
  Draw(-10000, -1500, -1500);
  ExpectColour({5750, 3250, 1250, 50, -50, -950, -1250}, kInRed, kRed, "descent red");
  ExpectColour({-1600, -1750, -1950}, kInRed, kGreen, "descent green");
  ExpectBare({-2150, -2250, -3250, -5750}, kInRed, "descent allowed");
}

TEST_F(AdvisorySectors, TestModeIsRedAllRoundButTheGapAtThreeOClock) {
  Draw(1500, 10000, 1500, kModeTest);
  ExpectColour({5750, 3250, 1250, 50, -50, -1250, -3250, -5750}, kInRed, kRed, "test red");
  EXPECT_EQ(CountInFace(*display, display->fullBox, kGreen), 0);
  for (float angle : {0.0f, 0.1f, -0.1f}) EXPECT_EQ(FaceAt(*display, angle, kInRed), kBackgroundPixel) << angle;
}

TEST_F(AdvisorySectors, NoGreenUnlessTheTargetIsOneOfTheLimitsAndNoSectorsWithoutLimits) {
  Draw(1000, 10000, 500);
  EXPECT_EQ(CountInFace(*display, display->fullBox, kGreen), 0);
  EXPECT_GT(CountInFace(*display, display->fullBox, kRed), 1000);
  Draw(-10000, 10000, 10000);
  EXPECT_EQ(CountInFace(*display, display->fullBox, kRed), 0);
  EXPECT_EQ(CountInFace(*display, display->fullBox, kGreen), 0);
  // A limit at the end of the scale prohibits nothing that the scale shows: no sector, not a whole disc.
  Draw(-10000, 6000, 6000);
  EXPECT_EQ(CountInFace(*display, display->fullBox, kRed), 0);
  Draw(-6000, 10000, 10000);
  EXPECT_EQ(CountInFace(*display, display->fullBox, kRed), 0);
}

TEST_F(AdvisorySectors, FailedLogicDrawsNoSectors) {
  source.available = false;
  RefreshLogicFailure(*display);
  Draw(1500, 10000, 1500);
  EXPECT_EQ(CountInFace(*display, display->fullBox, kRed), 0);
  EXPECT_EQ(CountInFace(*display, display->fullBox, kGreen), 0);
}

// ---- Flags and texts ---------------------------------------------------------------------------------------

class Annunciations : public AdvisorySectors {
 protected:
  // The face for the display's current state; D = 257, centre (133, 133).
  void Redraw(int32_t modeIndex, bool vsiFailed, int32_t altitudeHundreds = -9999) {
    selectors.modeIndex = modeIndex;
    display->vsiFailed = vsiFailed;
    display->ownAltitudeHundreds = altitudeHundreds;
    RefreshLogicFailure(*display);
    EvaluateMode(*display);
    RedrawFace(*display);
  }
  int32_t Count(Box box, Rgb colour) const { return CountInFace(*display, box, colour); }

  // Regions of the face, from the anchors of each text.
  static constexpr Box kLowerLeftWindow{133 - 69 - 70, 133 + 85 - 4, 133 - 69 + 4, 133 + 85 + 30};  // V/S, ABV
  static constexpr Box kLowerRight{133 + 75 - 4, 133 + 85 - 4, 133 + 75 + 60, 133 + 90 + 30};       // RA, altitude
  static constexpr Box kOffText{133 + 50 - 60, 133 - 15, 228, 133 + 15};
  static constexpr Box kTcasFlag{133 + 64 - 40, 133 - 20, 133 + 64 + 40, 133 + 20};
  static constexpr Box kCentreAbove{133 - 80, 133 - 33 - 26, 133 + 80, 133 - 33 + 6};
};

TEST_F(Annunciations, VerticalSpeedFailureShowsTheFlagsInsteadOfTheWindow) {
  Redraw(kModeTaRa, false, 85);
  EXPECT_EQ(Count(kLowerLeftWindow, kYellow), 0);
  EXPECT_GT(Count(kLowerRight, kLightBlue), 20);  // the altitude readout
  Redraw(kModeTaRa, true, 85);
  EXPECT_GT(Count(kLowerLeftWindow, kYellow), 300);  // V/S
  EXPECT_GT(Count(kLowerRight, kYellow), 300);       // RA
  EXPECT_EQ(Count(kLowerRight, kLightBlue), 0);
  Redraw(kModeStandby, true);
  EXPECT_GT(Count(kLowerLeftWindow, kYellow), 300);
  EXPECT_EQ(Count(kLowerRight, kYellow), 0);  // the RA flag only in TA/RA
}

TEST_F(Annunciations, AltitudeWindowShowsAboveAndBelowAndNothingForNormalOrNonsense) {
  const struct {
    int32_t aboveBelow;
    bool label;
  } cases[] = {{0, true}, {1, false}, {2, true}, {5, false}, {-1, false}};
  for (const auto& c : cases) {
    selectors.aboveBelow = c.aboveBelow;
    Redraw(kModeTaOnly, false);
    EXPECT_EQ(Count(kLowerLeftWindow, kLightBlue) > 20, c.label) << c.aboveBelow;
  }
}

TEST_F(Annunciations, StandbyShowsTcasOffUnlessTheFeedFailedThenTheYellowFlag) {
  Redraw(kModeStandby, false);
  EXPECT_GT(Count(kOffText, kWhite), 100);
  EXPECT_EQ(Count(kTcasFlag, kYellow), 0);
  source.available = false;
  Redraw(kModeStandby, false);
  EXPECT_EQ(Count(kOffText, kWhite), 0);
  EXPECT_GT(Count(kTcasFlag, kYellow), 300);
  // TA only with the feed lost: the flag takes the range's place.
  Redraw(kModeTaOnly, false);
  EXPECT_GT(Count(kTcasFlag, kYellow), 300);
}

TEST_F(Annunciations, TestModeWithTheFeedLostSaysTcasFailOverWhatIsMissing) {
  Redraw(kModeTest, false);
  EXPECT_EQ(Count(kCentreAbove, kYellow), 0);
  source.available = false;
  source.missing = "TrafficInfo";
  Redraw(kModeTest, false);
  EXPECT_GT(Count(kCentreAbove, kYellow), 100);
  EXPECT_GT(Count(Box{133 - 80, 133 - 6, 133 + 80, 133 + 12}, kYellow), 50);  // the missing feed's name
  // No flag: the top rows of where it would be stay bare (the name below reaches into its lower part).
  EXPECT_EQ(Count(Box{171, 119, 223, 124}, kYellow), 0);
  Redraw(kModeTaRa, false);
  EXPECT_EQ(Count(Box{171, 119, 223, 124}, kYellow), 53 * 6);
}

}  // namespace
}  // namespace kvr::display_test

// The announcer's sequencing, over a sound driver whose buffers stop playing only when the test says so.
// The recordings are real wave files in the working directory; each one's samples spell its own name,
// which is how the driver tells the buffers apart.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "module/platform/sound.h"
#include "module/sound/sound.h"
#include "tests/sound/sound_test_support.h"

namespace kvr {
namespace {

using Log = std::vector<std::string>;

const char* const kMessages[] = {
    "WAV_AdjustVerticalSpeedAdjust",
    "WAV_ClearOfConflict",
    "WAV_Climb",
    "WAV_ClimbCrossingClimb",
    "WAV_ClimbClimbNow",
    "WAV_Descend",
    "WAV_DescendCrossingDescend",
    "WAV_DescendDescendNow",
    "WAV_IncreaseClimb",
    "WAV_IncreaseDescent",
    "WAV_MaintainVerticalSpeedCrossingMaintain",
    "WAV_MaintainVerticalSpeedMaintain",
    "WAV_MonitorVerticalSpeed",
    "WAV_Traffic",
    "WAV_TcasSystemTestOK",
    "WAV_TcasSystemTestFail",
};

struct FakeBuffer {
  std::string name;
  bool playing = false;
  int32_t volume = 1;  // 1: never set
};

// The double's state: what exists, and every start, stop, rewind, release and close in order.
struct FakeSound {
  bool refuseDevice = false;
  bool queryFails = false;
  bool deviceOpen = false;
  std::vector<std::unique_ptr<FakeBuffer>> buffers;
  Log log;

  FakeBuffer* Find(const std::string& name) {
    for (auto& buffer : buffers)
      if (buffer->name == name) return buffer.get();
    return nullptr;
  }
  // The message has played to its end.
  void End(const std::string& name) { Find(name)->playing = false; }
  Log TakeLog() { return std::exchange(log, {}); }
};

FakeSound fake;

FakeBuffer* Of(platform::SoundBufferHandle handle) { return static_cast<FakeBuffer*>(handle); }

const platform::SoundDriver kFakeDriver = {
    []() -> platform::SoundDeviceHandle {
      if (fake.refuseDevice) return nullptr;
      fake.deviceOpen = true;
      return &fake;
    },
    [](platform::SoundDeviceHandle) {
      fake.deviceOpen = false;
      fake.log.push_back("close");
    },
    [](platform::SoundDeviceHandle, const platform::SoundFormat&, const uint8_t* pcm,
       size_t bytes) -> platform::SoundBufferHandle {
      auto buffer = std::make_unique<FakeBuffer>();
      buffer->name.assign(reinterpret_cast<const char*>(pcm), strnlen(reinterpret_cast<const char*>(pcm), bytes));
      fake.buffers.push_back(std::move(buffer));
      return fake.buffers.back().get();
    },
    [](platform::SoundBufferHandle handle) { fake.log.push_back("release " + Of(handle)->name); },
    [](platform::SoundBufferHandle handle) {
      Of(handle)->playing = true;
      fake.log.push_back("start " + Of(handle)->name);
      return true;
    },
    [](platform::SoundBufferHandle handle) {
      Of(handle)->playing = false;
      fake.log.push_back("stop " + Of(handle)->name);
      return true;
    },
    [](platform::SoundBufferHandle handle, uint32_t position) {
      fake.log.push_back("rewind " + Of(handle)->name + " " + std::to_string(position));
      return true;
    },
    [](platform::SoundBufferHandle handle, int32_t volume) {
      Of(handle)->volume = volume;
      return true;
    },
    [](platform::SoundBufferHandle handle, bool& playing) {
      playing = Of(handle)->playing;
      return !fake.queryFails;
    },
};

class Announcer : public ::testing::Test {
 protected:
  void SetUp() override {
    fake = FakeSound{};
    ASSERT_TRUE(UseSoundDriver(&kFakeDriver));
    for (const char* name : kMessages) {
      test::Bytes samples(name, name + std::strlen(name));
      if (samples.size() % 2 == 1) samples.push_back(0);
      test::WriteFile(scratch_.path() / name, test::RiffWave({test::FormatChunk(), {"data", samples, {}}}));
    }
  }
  void TearDown() override {
    ShutdownAnnouncer();
    UseSoundDriver(nullptr);
  }

  test::ScratchDirectory scratch_;
};

TEST_F(Announcer, NewestAnnouncementCutsOffTheOneSounding) {
  InitAnnouncer(nullptr, -300);
  Announce(AlertClimb);
  Announce(AlertDescend);
  EXPECT_EQ(fake.TakeLog(), (Log{"start WAV_Climb", "stop WAV_Climb", "rewind WAV_Climb 0", "start WAV_Descend"}));

  // The newer message is the one repeated; the one cut off is never resumed.
  ServiceAnnouncer();
  EXPECT_TRUE(fake.TakeLog().empty());
  fake.End("WAV_Descend");
  ServiceAnnouncer();
  fake.End("WAV_Descend");
  ServiceAnnouncer();
  EXPECT_EQ(fake.TakeLog(), (Log{"start WAV_Descend"}));
}

TEST_F(Announcer, TwiceMarkedMessagePlaysOnceMoreAfterTheFirstPlayingEnds) {
  InitAnnouncer(nullptr, -300);
  Announce(AlertClimbCrossing);
  ServiceAnnouncer();  // same update: still sounding, no repeat yet
  EXPECT_EQ(fake.TakeLog(), (Log{"start WAV_ClimbCrossingClimb"}));

  fake.End("WAV_ClimbCrossingClimb");
  ServiceAnnouncer();
  EXPECT_EQ(fake.TakeLog(), (Log{"start WAV_ClimbCrossingClimb"}));
  fake.End("WAV_ClimbCrossingClimb");
  ServiceAnnouncer();
  ServiceAnnouncer();
  EXPECT_TRUE(fake.TakeLog().empty());

  // A message marked once is not repeated.
  Announce(AlertClearOfConflict);
  fake.End("WAV_ClearOfConflict");
  ServiceAnnouncer();
  EXPECT_EQ(fake.TakeLog(),
            (Log{"stop WAV_ClimbCrossingClimb", "rewind WAV_ClimbCrossingClimb 0", "start WAV_ClearOfConflict"}));
}

// The announcer's voice table: each alert's recording, and whether it is heard twice.
TEST_F(Announcer, EveryAlertPlaysItsOwnRecordingOnceOrTwice) {
  const struct {
    VoiceAlert alert;
    const char* recording;
    bool twice;
  } rows[] = {
      {VoiceAlert{1}, "WAV_Climb", true},
      {VoiceAlert{2}, "WAV_Descend", true},
      {VoiceAlert{3}, "WAV_ClimbCrossingClimb", true},
      {VoiceAlert{4}, "WAV_DescendCrossingDescend", true},
      {VoiceAlert{5}, "WAV_AdjustVerticalSpeedAdjust", false},
      {VoiceAlert{6}, "WAV_ClimbClimbNow", true},
      {VoiceAlert{7}, "WAV_DescendDescendNow", true},
      {VoiceAlert{8}, "WAV_IncreaseClimb", true},
      {VoiceAlert{9}, "WAV_IncreaseDescent", true},
      {VoiceAlert{10}, "WAV_MaintainVerticalSpeedMaintain", false},
      {VoiceAlert{11}, "WAV_MaintainVerticalSpeedCrossingMaintain", false},
      {VoiceAlert{12}, "WAV_MonitorVerticalSpeed", false},
      {VoiceAlert{13}, "WAV_ClearOfConflict", false},
      {VoiceAlert{14}, "WAV_Traffic", true},
      {VoiceAlert{15}, "WAV_Traffic", false},
      {VoiceAlert{16}, "WAV_TcasSystemTestOK", false},
      {VoiceAlert{17}, "WAV_TcasSystemTestFail", false},
  };
  InitAnnouncer(nullptr, -300);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.alert);
    fake.TakeLog();
    Announce(row.alert);
    const Log started = fake.TakeLog();
    ASSERT_FALSE(started.empty());
    EXPECT_EQ(started.back(), std::string("start ") + row.recording);
    fake.End(row.recording);
    ServiceAnnouncer();
    EXPECT_EQ(fake.TakeLog(), row.twice ? Log{std::string("start ") + row.recording} : Log{});
    fake.End(row.recording);
    ServiceAnnouncer();
  }
}

TEST_F(Announcer, TrafficTrafficAndTrafficShareOneMessage) {
  InitAnnouncer(nullptr, -300);
  Announce(AlertTrafficTraffic);
  fake.End("WAV_Traffic");
  ServiceAnnouncer();
  fake.End("WAV_Traffic");
  ServiceAnnouncer();
  EXPECT_EQ(fake.TakeLog(), (Log{"start WAV_Traffic", "start WAV_Traffic"}));

  Announce(AlertTraffic);
  fake.End("WAV_Traffic");
  ServiceAnnouncer();
  EXPECT_EQ(fake.TakeLog(), (Log{"stop WAV_Traffic", "rewind WAV_Traffic 0", "start WAV_Traffic"}));

  // Once-only Traffic during the first playing of Traffic-Traffic restarts it and cancels the repeat.
  Announce(AlertTrafficTraffic);
  Announce(AlertTraffic);
  fake.End("WAV_Traffic");
  ServiceAnnouncer();
  EXPECT_EQ(fake.TakeLog(), (Log{"stop WAV_Traffic", "rewind WAV_Traffic 0", "start WAV_Traffic", "stop WAV_Traffic",
                                 "rewind WAV_Traffic 0", "start WAV_Traffic"}));
  EXPECT_EQ(fake.buffers.size(), 16u);  // one buffer for both identifiers
}

TEST_F(Announcer, AlertOutsideTheTableOnlySilences) {
  InitAnnouncer(nullptr, -300);
  for (VoiceAlert alert : {AlertNone, VoiceAlert{-1}, VoiceAlert{18}, VoiceAlert{INT32_MIN}, VoiceAlert{INT32_MAX}}) {
    SCOPED_TRACE(alert);
    Announce(AlertDescendNow);
    Announce(alert);
    ServiceAnnouncer();
    EXPECT_EQ(fake.TakeLog(),
              (Log{"start WAV_DescendDescendNow", "stop WAV_DescendDescendNow", "rewind WAV_DescendDescendNow 0"}));
    EXPECT_FALSE(fake.Find("WAV_DescendDescendNow")->playing);
    Announce(alert);  // nothing sounding: nothing to stop
    EXPECT_TRUE(fake.TakeLog().empty());
  }
}

TEST_F(Announcer, DoesNothingBeforeInitOrAfterShutdown) {
  Announce(AlertClimb);
  ServiceAnnouncer();
  ShutdownAnnouncer();
  EXPECT_FALSE(fake.deviceOpen);
  EXPECT_TRUE(fake.TakeLog().empty());

  InitAnnouncer(nullptr, -300);
  Announce(AlertClimb);
  ShutdownAnnouncer();
  // Every message is released, then the device.
  Log log = fake.TakeLog();
  ASSERT_EQ(log.size(), 1u + 16u + 1u);
  EXPECT_EQ(log.front(), "start WAV_Climb");
  EXPECT_EQ(log.back(), "close");
  for (size_t i = 0; i < 16; ++i) EXPECT_EQ(log[1 + i], std::string("release ") + kMessages[i]);
  EXPECT_FALSE(fake.deviceOpen);

  fake.End("WAV_Climb");
  Announce(AlertClimb);
  ServiceAnnouncer();
  ShutdownAnnouncer();
  EXPECT_TRUE(fake.TakeLog().empty());

  // A later start loads everything again.
  InitAnnouncer(nullptr, -300);
  EXPECT_TRUE(fake.deviceOpen);
  EXPECT_EQ(fake.buffers.size(), 32u);
}

TEST_F(Announcer, SecondInitLoadsNothingAndVolumeIsClamped) {
  InitAnnouncer(nullptr, 500);
  InitAnnouncer(nullptr, -1000);
  ASSERT_EQ(fake.buffers.size(), 16u);
  for (const auto& buffer : fake.buffers) EXPECT_EQ(buffer->volume, 0) << buffer->name;
  ShutdownAnnouncer();
  InitAnnouncer(nullptr, -20000);
  EXPECT_EQ(fake.buffers.back()->volume, -10000);
}

TEST_F(Announcer, MessagesThatCannotLoadOnlySilence) {
  std::filesystem::remove("WAV_Descend");
  test::WriteFile("WAV_IncreaseClimb", {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v', 'e'});
  InitAnnouncer(nullptr, -300);
  EXPECT_EQ(fake.buffers.size(), 14u);
  Announce(AlertClimb);
  Announce(AlertDescend);
  ServiceAnnouncer();
  Announce(AlertIncreaseClimb);
  ServiceAnnouncer();
  EXPECT_EQ(fake.TakeLog(), (Log{"start WAV_Climb", "stop WAV_Climb", "rewind WAV_Climb 0"}));
  ShutdownAnnouncer();
  fake.TakeLog();

  // Without a device nothing loads and everything runs without effect.
  fake.refuseDevice = true;
  fake.buffers.clear();
  InitAnnouncer(nullptr, -300);
  Announce(AlertClimb);
  ServiceAnnouncer();
  EXPECT_TRUE(fake.buffers.empty());
  EXPECT_TRUE(fake.TakeLog().empty());
}

TEST_F(Announcer, FailedStatusQueryKeepsTheRepeatPending) {
  InitAnnouncer(nullptr, -300);
  Announce(AlertIncreaseDescent);
  fake.End("WAV_IncreaseDescent");
  fake.queryFails = true;
  ServiceAnnouncer();
  EXPECT_EQ(fake.TakeLog(), (Log{"start WAV_IncreaseDescent"}));
  fake.queryFails = false;
  ServiceAnnouncer();
  EXPECT_EQ(fake.TakeLog(), (Log{"start WAV_IncreaseDescent"}));
}

}  // namespace
}  // namespace kvr

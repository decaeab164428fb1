// The sound layer over real DirectSound 8 (under wine, on ALSA's null device, which plays in real time):
// a recording from the program's resources, the same-named file when there is no resource, playing to
// the end and again from the start, stopping, the volume range, and formats the device refuses.
#include <windows.h>
#include <gtest/gtest.h>

#include <dsound.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <filesystem>
#include <thread>

#include "module/sound/sound.h"
#include "tests/sound/sound_test_support.h"

namespace kvr {
namespace {

namespace fs = std::filesystem;

bool Playing(SoundBuffer buffer) {
  uint32_t status = 0;
  return QuerySoundStatus(buffer, status) && (status & kSoundStatusPlaying) != 0;
}

// Waits up to `limit` for the buffer to stop playing by itself.
bool EndsWithin(SoundBuffer buffer, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (Playing(buffer)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// What DirectSound itself says when asked for the default device, for a failure message.
std::string DeviceDiagnosis() {
  IDirectSound8* device = nullptr;
  const HRESULT result = DirectSoundCreate8(nullptr, &device, nullptr);
  if (device != nullptr) device->Release();
  char text[64];
  std::snprintf(text, sizeof text, "DirectSoundCreate8 gives 0x%08lX", static_cast<unsigned long>(result));
  return text;
}

class DirectSoundLayer : public ::testing::Test {
 protected:
  void SetUp() override { CreateSoundDevice(GetModuleHandleA(nullptr)); }
  void TearDown() override { ReleaseSoundDevice(); }
};

TEST_F(DirectSoundLayer, AResourceRecordingPlaysToItsEndAndAgainFromTheStart) {
  SoundBuffer climb = LoadSound("wav_climb");
  ASSERT_NE(climb, nullptr) << "no DirectSound device (" << DeviceDiagnosis() << "), or the resource was not found";
  EXPECT_FALSE(Playing(climb));
  EXPECT_TRUE(SetSoundVolume(climb, 500));  // clamped to full level
  EXPECT_TRUE(StartSound(climb, 0));
  EXPECT_TRUE(Playing(climb));
  EXPECT_TRUE(EndsWithin(climb, std::chrono::seconds(5)));
  EXPECT_TRUE(StartSound(climb, 0));
  EXPECT_TRUE(Playing(climb)) << "a buffer that played to its end must start again";
  EXPECT_TRUE(StopSound(climb));
  EXPECT_FALSE(Playing(climb));
  EXPECT_TRUE(RewindSound(climb, 0));
  EXPECT_TRUE(SetSoundVolume(climb, -20000));
  EXPECT_TRUE(ReleaseSound(climb));
}

TEST_F(DirectSoundLayer, AFileServesWhenThereIsNoResourceAndIsNotKeptMapped) {
  const fs::path file = "kvr_directsound_tone.wav";
  test::Bytes samples(1600, 0);
  test::WriteFile(file, test::RiffWave({test::FormatChunk(), {"data", samples, {}}}));
  SoundBuffer tone = LoadSound(file.string().c_str());
  EXPECT_NE(tone, nullptr);
  // Windows refuses to delete a file that is still mapped.
  EXPECT_TRUE(DeleteFileA(file.string().c_str())) << GetLastError();
  ReleaseSound(tone);
}

TEST_F(DirectSoundLayer, FormatsTheDeviceCannotPlayGiveNoBuffer) {
  struct Case {
    const char* name;
    test::Bytes image;
  } cases[] = {
      {"kvr_empty_data.wav", test::RiffWave({test::FormatChunk(), {"data", {}, {}}})},
      {"kvr_alaw.wav", test::RiffWave({{"fmt ", test::FormatRecord(6, 1, 8000, 8), {}}, {"data", test::Bytes(800, 1), {}}})},
  };
  for (const Case& c : cases) {
    test::WriteFile(c.name, c.image);
    EXPECT_EQ(LoadSound(c.name), nullptr) << c.name;
    DeleteFileA(c.name);
  }
  EXPECT_EQ(LoadSound("WAV_NoSuchRecording"), nullptr);
}

}  // namespace
}  // namespace kvr

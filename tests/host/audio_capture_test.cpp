// The loopback capture hears what the module's sound layer plays, in simulated time: a recording started
// through the real OpenAL path appears in the captured samples at the moment it was started, for its own
// length, at its volume.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/audio_capture.h"
#include "module/sound/sound.h"
#include "tests/gauge/module_fixture.h"

namespace kvr::host {
namespace {

std::vector<int16_t> Pcm(const std::filesystem::path& wav) {
  std::ifstream in(wav, std::ios::binary);
  std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const uint8_t *format = nullptr, *data = nullptr;
  uint32_t dataBytes = 0;
  EXPECT_TRUE(ParseWave(bytes.data(), bytes.size(), &format, &data, &dataBytes));
  std::vector<int16_t> samples(dataBytes / 2);
  std::memcpy(samples.data(), data, samples.size() * 2);
  return samples;
}

TEST(AudioCapture, RecordingStartedAtOneSecondIsHeardFromOneSecondForItsLength) {
  AudioCapture capture(8000);
  const auto voices = testing::SourceDir() / "module/resources/voices";
  const std::vector<int16_t> climb = Pcm(voices / "WAV_Climb.wav");

  CreateSoundDevice(nullptr);
  const std::string path = (voices / "WAV_Climb.wav").string();
  SoundBuffer buffer = LoadSound(path.c_str());
  ASSERT_NE(buffer, nullptr);
  SetSoundVolume(buffer, 0);

  for (int frame = 0; frame < 18; ++frame) capture.Advance(1.0 / 18);  // one silent second
  StartSound(buffer, 0);
  const double lengthS = climb.size() / 8000.0;
  for (int frame = 0; frame < static_cast<int>(lengthS * 18) + 18; ++frame) capture.Advance(1.0 / 18);
  ReleaseSound(buffer);
  ReleaseSoundDevice();

  const auto& heard = capture.Samples();
  ASSERT_GE(heard.size(), 8000 + 16 + climb.size());
  // Silence is within one step of zero: OpenAL dithers its 16-bit output.
  for (size_t i = 0; i < 8000; ++i) ASSERT_LE(std::abs(heard[i]), 1) << "sample " << i << " before the start";
  // Mono 16-bit at the recording's own rate and full volume: the recording comes back sample for sample,
  // a few samples late (the mixer's own latency, under 2 ms).
  size_t bestEqual = 0, bestDelay = 0;
  for (size_t delay = 0; delay <= 16; ++delay) {
    size_t equal = 0;
    for (size_t i = 0; i < climb.size(); ++i) equal += std::abs(heard[8000 + delay + i] - climb[i]) <= 2;
    if (equal > bestEqual) bestEqual = equal, bestDelay = delay;
  }
  EXPECT_GT(bestEqual, climb.size() * 99 / 100) << "best delay " << bestDelay;
  for (size_t i = 8000 + climb.size() + 80; i < heard.size(); ++i) ASSERT_LE(std::abs(heard[i]), 1) << "after the end";
}

}  // namespace
}  // namespace kvr::host

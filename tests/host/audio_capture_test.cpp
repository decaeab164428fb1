// The loopback capture hears what the module's sound layer plays, in simulated time: a recording started
// through the real OpenAL path appears in the captured samples at the moment it was started, for its own
// length, at its volume.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "host/platform/posix/audio_capture.h"
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
  EXPECT_EQ(capture.Warning(), std::nullopt);
}

// Silence that stands for sound the capture could not hear is reported, once, rather than passed off as
// what the pilot heard.
TEST(AudioCapture, SilenceItCouldNotHearIsReported) {
  {
    AudioCapture capture(8000);
    for (int frame = 0; frame < 36; ++frame) capture.Advance(1.0 / 18);
    ASSERT_TRUE(capture.Warning().has_value());
    EXPECT_NE(capture.Warning()->find("never opened"), std::string::npos) << *capture.Warning();
  }
  {
    AudioCapture capture(8000);
    // The module's device opens as an ordinary one, as when the capture was made too late.
    unsetenv("KVR_SOUND_LOOPBACK_HZ");
    CreateSoundDevice(nullptr);
    for (int frame = 0; frame < 36; ++frame) capture.Advance(1.0 / 18);
    ReleaseSoundDevice();
    ASSERT_TRUE(capture.Warning().has_value());
    EXPECT_NE(capture.Warning()->find("2.0 s"), std::string::npos) << *capture.Warning();
    EXPECT_NE(capture.Warning()->find("not a loopback device"), std::string::npos) << *capture.Warning();
  }
}

// A wave file whose last buffered bytes cannot be written is an error, not a file reported as written.
TEST(AudioCapture, AWaveFileThatCannotBeCompletedIsAnError) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full to fail the write";
  AudioCapture capture(8000);
  capture.Advance(0.1);  // 1600 bytes: all of it still buffered when the last byte is put
  EXPECT_THROW(capture.WriteWave("/dev/full"), std::runtime_error);
  // Streamed: the failure shows once the buffer is written out, during the capture or at its end.
  AudioCapture streamed(8000);
  EXPECT_THROW(
      {
        streamed.StreamTo("/dev/full");
        for (int frame = 0; frame < 18 * 10; ++frame) streamed.Advance(1.0 / 18);
        streamed.Finish();
      },
      std::runtime_error);
}

// A long capture streamed to its file keeps no samples in memory, and the file holds the same wave as one
// written from memory: the samples before streaming began, then every later one, with the right lengths.
TEST(AudioCapture, StreamedCaptureKeepsNothingAndWritesTheSameWave) {
  const auto dir = std::filesystem::temp_directory_path();
  const auto kept = dir / ("kvr_kept_" + std::to_string(getpid()) + ".wav");
  const auto streamed = dir / ("kvr_streamed_" + std::to_string(getpid()) + ".wav");
  AudioCapture memory(8000), stream(8000);
  memory.Advance(0.5);
  stream.Advance(0.5);
  stream.StreamTo(streamed);
  for (int frame = 0; frame < 18 * 600; ++frame) {  // ten minutes
    memory.Advance(1.0 / 18);
    stream.Advance(1.0 / 18);
  }
  EXPECT_TRUE(stream.Samples().empty());
  EXPECT_DOUBLE_EQ(stream.DurationS(), memory.DurationS());
  stream.Finish();
  memory.WriteWave(kept);
  EXPECT_EQ(Pcm(streamed), Pcm(kept));
  EXPECT_EQ(std::filesystem::file_size(streamed), 44 + memory.Samples().size() * 2);
  std::filesystem::remove(kept);
  std::filesystem::remove(streamed);
}

}  // namespace
}  // namespace kvr::host

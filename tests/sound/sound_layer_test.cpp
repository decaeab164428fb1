// The sound layer over the platform's real output (OpenAL Soft), whose "wave" backend writes everything
// this program plays into a capture file: loading recordings from resources and files, refusing what
// cannot be played, the volume law, and one message heard end to end through the announcer.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "module/platform/sound.h"
#include "module/sound/sound.h"
#include "tests/sound/sound_test_support.h"

namespace kvr {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// Points OpenAL at its wave backend, capturing 8000 Hz mono 16-bit output (the recordings' own format,
// so the captured samples are the recordings' samples times the gain) into a file of this process.
class OpenAlCapture : public ::testing::Environment {
 public:
  static const fs::path& Directory() {
    static const fs::path directory = test::NewTemporaryDirectory("kvr_sound_capture_");
    return directory;
  }
  static fs::path File() { return Directory() / "capture.wav"; }

  void SetUp() override {
    const fs::path conf = Directory() / "alsoft.conf";
    const std::string text =
        "[general]\nchannels = mono\nfrequency = 8000\nsample-type = int16\n"
        "period_size = 256\n[wave]\nfile = " +
        File().string() + "\n";
    test::WriteFile(conf, Bytes(text.begin(), text.end()));
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    setenv("ALSOFT_DRIVERS", "wave", 1);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(Directory(), ignored);
  }
};

[[maybe_unused]] ::testing::Environment* const kCapture = ::testing::AddGlobalTestEnvironment(new OpenAlCapture);

Bytes ToneWave(size_t frames) {
  Bytes samples;
  for (size_t i = 0; i < frames; ++i)
    test::PutU16(samples, static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(i * 0.3))));
  return test::RiffWave({test::FormatChunk(), {"data", samples, {}}});
}

bool Playing(SoundBuffer buffer) {
  uint32_t status = 0;
  return QuerySoundStatus(buffer, status) && (status & kSoundStatusPlaying) != 0;
}

bool Mapped(const std::string& name) {
  const Bytes maps = test::ReadFile("/proc/self/maps");
  return std::string(maps.begin(), maps.end()).find(name) != std::string::npos;
}

class SoundLayer : public ::testing::Test {
 protected:
  void SetUp() override { CreateSoundDevice(nullptr); }
  void TearDown() override { ReleaseSoundDevice(); }
  test::ScratchDirectory scratch_;
};

TEST_F(SoundLayer, PlaysTheFileOfTheNameAndLeavesItUnmapped) {
  test::WriteFile("WAV_Tone", ToneWave(4000));  // half a second
  SoundBuffer tone = LoadSound("WAV_Tone");
  ASSERT_NE(tone, nullptr);
  EXPECT_FALSE(Mapped("WAV_Tone"));  // the buffer holds its own copy

  EXPECT_FALSE(Playing(tone));
  StartSound(tone, 0);
  EXPECT_TRUE(Playing(tone));  // at once, so that the announcer never repeats within one update
  StopSound(tone);
  EXPECT_FALSE(Playing(tone));
  RewindSound(tone, 0);
  StartSound(tone, 0);
  EXPECT_TRUE(Playing(tone));
  ReleaseSound(tone);

  // A 14-byte format record (no bits-per-sample field) plays: the bits follow from the block alignment.
  test::WriteFile("WAV_Short", test::RiffWave({test::FormatChunk(14), {"data", Bytes(400, 0), {}}}));
  SoundBuffer shortFormat = LoadSound("WAV_Short");
  EXPECT_NE(shortFormat, nullptr);
  ReleaseSound(shortFormat);
}

TEST_F(SoundLayer, RefusesWhatCannotBePlayed) {
  using test::Chunk;
  const Bytes samples(400, 0);
  const std::pair<const char*, Bytes> files[] = {
      {"WAV_Text", {'h', 'e', 'l', 'l', 'o'}},
      {"WAV_Empty", {}},
      {"WAV_ShortFormat", test::RiffWave({test::FormatChunk(12), {"data", samples, {}}})},
      {"WAV_NoSamples", test::RiffWave({test::FormatChunk(), {"data", {}, {}}})},
      {"WAV_Float", test::RiffWave({{"fmt ", test::FormatRecord(3, 1, 8000, 32), {}}, {"data", samples, {}}})},
      {"WAV_24Bit", test::RiffWave({{"fmt ", test::FormatRecord(1, 1, 8000, 24), {}}, {"data", samples, {}}})},
      {"WAV_Surround", test::RiffWave({{"fmt ", test::FormatRecord(1, 6, 8000, 16), {}}, {"data", samples, {}}})},
      {"WAV_NoRate", test::RiffWave({{"fmt ", test::FormatRecord(1, 1, 0, 16), {}}, {"data", samples, {}}})},
  };
  for (const auto& [name, bytes] : files) test::WriteFile(name, bytes);
  for (const auto& [name, bytes] : files) {
    EXPECT_EQ(LoadSound(name), nullptr) << name;
    EXPECT_FALSE(Mapped(name)) << name;
  }
  EXPECT_EQ(LoadSound("WAV_Absent"), nullptr);
  fs::create_directory("WAV_Directory");
  EXPECT_EQ(LoadSound("WAV_Directory"), nullptr);
  EXPECT_EQ(LoadSound(nullptr), nullptr);

  // Without a device nothing loads.
  test::WriteFile("WAV_Tone", ToneWave(100));
  ReleaseSoundDevice();
  EXPECT_EQ(LoadSound("WAV_Tone"), nullptr);
}

// The program carries a resource pack with "WAV_PACKED" (a recording) and "WAV_BROKEN" (not a wave).
TEST_F(SoundLayer, FindsResourcesWithoutRegardToCaseAndFallsBackToTheFile) {
  SoundBuffer packed = LoadSound("Wav_Packed");
  EXPECT_NE(packed, nullptr);
  ReleaseSound(packed);

  EXPECT_EQ(LoadSound("WAV_Broken"), nullptr);
  test::WriteFile("WAV_Broken", ToneWave(100));
  SoundBuffer fromFile = LoadSound("WAV_Broken");
  EXPECT_NE(fromFile, nullptr);
  ReleaseSound(fromFile);
}

TEST(SoundVolume, GainIsTenToTheVolumeOverTwoThousand) {
  EXPECT_FLOAT_EQ(platform::GainOfVolume(0), 1.0f);
  EXPECT_FLOAT_EQ(platform::GainOfVolume(-2000), 0.1f);
  EXPECT_FLOAT_EQ(platform::GainOfVolume(-10000), 1e-5f);
  // Clamped into -10000..0 first.
  EXPECT_FLOAT_EQ(platform::GainOfVolume(500), 1.0f);
  EXPECT_FLOAT_EQ(platform::GainOfVolume(-20000), 1e-5f);
  EXPECT_FLOAT_EQ(platform::GainOfVolume(INT32_MIN), 1e-5f);
}

std::vector<int16_t> Samples(const uint8_t* data, uint32_t bytes) {
  std::vector<int16_t> out(bytes / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<int16_t>(data[2 * i] | data[2 * i + 1] << 8);
  return out;
}

size_t FirstAbove(const std::vector<int16_t>& samples, size_t from, int threshold) {
  while (from < samples.size() && std::abs(samples[from]) <= threshold) ++from;
  return from;
}

// Traffic-Traffic at -20 dB, serviced at the gauge's 18 Hz: the capture holds the recording twice, each
// time sample for sample at a tenth of its level, and nothing else.
TEST(VoicePlayback, AnnouncedMessageIsHeardTwiceAtItsVolume) {
  test::ScratchDirectory scratch;
  for (const auto& entry : fs::directory_iterator(test::VoicesDir()))
    fs::copy_file(entry.path(), entry.path().stem());  // the recordings go by their names, without extension
  const Bytes recordingFile = test::ReadFile("WAV_Traffic");
  const uint8_t* data = nullptr;
  uint32_t dataBytes = 0;
  ASSERT_TRUE(ParseWave(recordingFile.data(), recordingFile.size(), nullptr, &data, &dataBytes));
  const std::vector<int16_t> recording = Samples(data, dataBytes);

  InitAnnouncer(nullptr, -2000);
  Announce(AlertTrafficTraffic);
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1700)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(55));
    ServiceAnnouncer();
  }
  ShutdownAnnouncer();  // closing the device completes the capture file

  const Bytes captureFile = test::ReadFile(OpenAlCapture::File());
  const uint8_t* format = nullptr;
  uint32_t formatBytes = 0;
  ASSERT_TRUE(ParseWave(captureFile.data(), captureFile.size(), &format, &data, &dataBytes, &formatBytes));
  ASSERT_EQ(format[2], 1) << "mono";
  ASSERT_EQ(format[4] | format[5] << 8, 8000);
  ASSERT_EQ(format[14], 16) << "bits";
  const std::vector<int16_t> captured = Samples(data, dataBytes);

  // The recording's first sound, at a tenth of the level, marks where each playing begins.
  const size_t lead = FirstAbove(recording, 0, 100);
  ASSERT_LT(lead, recording.size());
  size_t from = 0;
  for (int playing = 0; playing < 2; ++playing) {
    SCOPED_TRACE(playing);
    const size_t sound = FirstAbove(captured, from, 10);
    ASSERT_GE(sound, lead);
    const size_t begin = sound - lead;
    ASSERT_LE(begin + recording.size(), captured.size());
    int worst = 0;
    for (size_t k = 0; k < recording.size(); ++k)
      worst = std::max(worst, static_cast<int>(std::lround(std::abs(captured[begin + k] - 0.1 * recording[k]))));
    EXPECT_LE(worst, 3) << "captured samples differ from the recording at -20 dB";
    from = begin + recording.size();
  }
  EXPECT_EQ(FirstAbove(captured, from, 10), captured.size()) << "sound after the second playing";
}

}  // namespace
}  // namespace kvr

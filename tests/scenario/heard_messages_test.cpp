// What a pilot hears: a scenario flown through the real module with its sound captured in simulated
// time. Each stretch of sound in the capture is matched against the sixteen recordings, so the test
// checks the whole road from the library's aural code to the samples that come out of OpenAL.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "host/platform/posix/audio_capture.h"
#include "host/scenario/scenario_runner.h"
#include "tests/gauge/module_fixture.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

std::vector<int16_t> RecordingSamples(const fs::path& wav) {
  std::ifstream in(wav, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::string text(bytes.begin(), bytes.end());
  const size_t data = text.find("data");
  if (data == std::string::npos || data + 8 > bytes.size()) return {};
  uint32_t length;
  std::memcpy(&length, bytes.data() + data + 4, 4);
  length = std::min<uint32_t>(length, static_cast<uint32_t>(bytes.size() - data - 8));
  std::vector<int16_t> samples(length / 2);
  std::memcpy(samples.data(), bytes.data() + data + 8, samples.size() * 2);
  return samples;
}

struct Heard {
  double startS;
  std::string message;
};

// Names each message in the capture. Between messages the capture is silent to within the mixer's
// dither (one step); where sound starts, each recording is aligned by its own first audible sample (some
// samples either side, for the mixer's latency) and the best-correlated one names the message, which
// then takes its recording's length. Sound that matches nothing is skipped to the next silence.
std::vector<Heard> Identify(const std::vector<int16_t>& capture, int rateHz,
                            const std::map<std::string, std::vector<int16_t>>& recordings) {
  constexpr int kDither = 2;
  auto audible = [&](size_t i) { return std::abs(capture[i]) > kDither; };
  std::vector<Heard> heard;
  size_t i = 0;
  while (i < capture.size()) {
    if (!audible(i)) {
      ++i;
      continue;
    }
    double best = 0;
    std::string bestName;
    size_t bestStart = 0, bestLength = 0;
    for (const auto& [name, recording] : recordings) {
      size_t onset = 0;
      while (onset < recording.size() && std::abs(recording[onset]) <= 2 * kDither) ++onset;
      const size_t n = std::min<size_t>(recording.size(), 2400);
      for (int delta = -32; delta <= 32; ++delta) {
        const long start = static_cast<long>(i) - static_cast<long>(onset) + delta;
        if (start < 0 || static_cast<size_t>(start) + n > capture.size()) continue;
        double dot = 0, a = 0, b = 0;
        for (size_t k = 0; k < n; k += 2) {
          const double c = capture[static_cast<size_t>(start) + k], r = recording[k];
          dot += c * r, a += c * c, b += r * r;
        }
        const double score = a > 0 && b > 0 ? dot / std::sqrt(a * b) : 0;
        if (score > best)
          best = score, bestName = name, bestStart = static_cast<size_t>(start), bestLength = recording.size();
      }
    }
    if (best > 0.9) {
      heard.push_back({static_cast<double>(bestStart) / rateHz, bestName});
      i = bestStart + bestLength;
      continue;
    }
    size_t quiet = 0;  // skip what matched nothing, to the next 0.1 s of silence
    while (i < capture.size() && quiet < static_cast<size_t>(rateHz / 10)) quiet = audible(i++) ? 0 : quiet + 1;
  }
  return heard;
}

TEST(HeardMessages, HeadOnIsHeardAsTrafficThenClimbThenClearOfConflictAtTheirTimes) {
  const fs::path out = fs::temp_directory_path() / "kvr_heard_head_on";
  std::map<std::string, std::vector<int16_t>> recordings;
  for (const auto& wav : fs::directory_iterator(kvr::testing::SourceDir() / "module/resources/voices"))
    recordings[wav.path().stem().string()] = RecordingSamples(wav.path());

  AudioCapture audio;
  RunOptions options;
  options.gaugesDir = kvr::testing::BinDir();
  options.outDir = out;
  options.onFrameEnd = [&](double, double frameS) { audio.Advance(frameS); };
  {
    const Scenario scenario = LoadScenario(kvr::testing::SourceDir() / "scenarios/head_on.toml");
    ScenarioRun run(scenario, options);
    run.RunToEnd();
  }
  fs::remove_all(out);

  const std::vector<Heard> heard = Identify(audio.Samples(), audio.RateHz(), recordings);
  std::vector<std::string> names;
  names.reserve(heard.size());
  for (const Heard& h : heard) names.push_back(h.message);
  EXPECT_EQ(names, (std::vector<std::string>{"WAV_Traffic", "WAV_Traffic", "WAV_Climb", "WAV_Climb",
                                             "WAV_AdjustVerticalSpeedAdjust", "WAV_ClearOfConflict"}));
  // Closest approach is at 60 s: the traffic advisory about 40 s before it, the climb about 25 s before.
  ASSERT_GE(heard.size(), 3u);
  EXPECT_NEAR(heard[0].startS, 20.0, 3.0);
  EXPECT_NEAR(heard[2].startS, 35.0, 3.0);
}

}  // namespace
}  // namespace kvr::host

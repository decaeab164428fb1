// Hears what the module plays, in step with simulated time: before the module opens its sound device the
// capture asks for an OpenAL loopback device (KVR_SOUND_LOOPBACK_HZ); after each simulated frame it has
// OpenAL mix exactly that frame's worth of samples. The result is the sound a pilot would have heard,
// aligned sample for sample with the simulated clock, however fast the simulation ran.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace kvr::host {

class AudioCapture {
 public:
  static constexpr int kDefaultRateHz = 8000;

  // Must be made before the module's announcer starts (before the panel's installation).
  explicit AudioCapture(int rateHz = kDefaultRateHz);

  // Mixes `seconds` more of what is playing (silence while the module has no sound device).
  void Advance(double seconds);

  int RateHz() const { return rateHz_; }
  const std::vector<int16_t>& Samples() const { return samples_; }
  double DurationS() const { return static_cast<double>(samples_.size()) / rateHz_; }

  // A RIFF WAVE file: PCM, mono, 16 bits, at the capture's rate. Throws naming the file on failure.
  void WriteWave(const std::filesystem::path& path) const;

 private:
  int rateHz_;
  double owedSamples_ = 0;  // fractions of a sample carried from frame to frame
  std::vector<int16_t> samples_;
};

}  // namespace kvr::host

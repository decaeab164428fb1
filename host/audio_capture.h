// Hears what the module plays, in step with simulated time: before the module opens its sound device the
// capture asks for an OpenAL loopback device (KVR_SOUND_LOOPBACK_HZ); after each simulated frame it has
// OpenAL mix exactly that frame's worth of samples. The result is the sound a pilot would have heard,
// aligned sample for sample with the simulated clock, however fast the simulation ran.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kvr::host {

class AudioCapture {
 public:
  static constexpr int kDefaultRateHz = 8000;

  // Must be made before the module's announcer starts (before the panel's installation).
  explicit AudioCapture(int rateHz = kDefaultRateHz);

  // Mixes `seconds` more of what is playing (silence while the module has no sound device, and while its
  // device is not the loopback device the capture asked for, which OpenAL cannot mix on demand).
  void Advance(double seconds);

  int RateHz() const { return rateHz_; }
  const std::vector<int16_t>& Samples() const { return samples_; }
  double DurationS() const { return static_cast<double>(samples_.size()) / rateHz_; }

  // Why the samples may be silence where something played; nothing when they are what was played. Either
  // the module never opened a sound device, or its device was not a loopback one (the capture was made
  // after the device opened, or OpenAL could not make one) for a number of seconds.
  std::optional<std::string> Warning() const;

  // A RIFF WAVE file: PCM, mono, 16 bits, at the capture's rate. Throws naming the file on failure.
  void WriteWave(const std::filesystem::path& path) const;

 private:
  int rateHz_;
  double owedSamples_ = 0;  // fractions of a sample carried from frame to frame
  void* render_ = nullptr;     // alcRenderSamplesSOFT, looked up with the first device
  size_t mixedSamples_ = 0;    // samples a loopback device mixed
  size_t unmixedSamples_ = 0;  // samples left silent while a device that cannot mix on demand was open
  std::vector<int16_t> samples_;
};

}  // namespace kvr::host

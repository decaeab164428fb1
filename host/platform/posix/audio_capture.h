// Hears what the module plays, in step with simulated time: before the module opens its sound device the
// capture asks for an OpenAL loopback device (KVR_SOUND_LOOPBACK_HZ); after each simulated frame it has
// OpenAL mix exactly that frame's worth of samples. The result is the sound a pilot would have heard,
// aligned sample for sample with the simulated clock, however fast the simulation ran.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
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
  // device is not the loopback device the capture asked for, which OpenAL cannot mix on demand). While
  // streaming, throws std::runtime_error naming the file when the samples cannot be written.
  void Advance(double seconds);

  // From now on the samples go to a RIFF WAVE file (as WriteWave writes it) as they are mixed, and are no
  // longer kept, so that memory stays flat however long the capture runs; what was captured before is
  // written first. Finish completes the file. Throws std::runtime_error naming the file on failure.
  void StreamTo(const std::filesystem::path& path);
  void Finish();

  int RateHz() const { return rateHz_; }
  // The samples kept: all of them, or those before StreamTo.
  const std::vector<int16_t>& Samples() const { return samples_; }
  double DurationS() const { return static_cast<double>(sampleCount_) / rateHz_; }

  // Why the samples may be silence where something played; nothing when they are what was played. Either
  // the module never opened a sound device, or its device was not a loopback one (the capture was made
  // after the device opened, or OpenAL could not make one) for a number of seconds.
  std::optional<std::string> Warning() const;

  // A RIFF WAVE file: PCM, mono, 16 bits, at the capture's rate. Throws naming the file on failure.
  void WriteWave(const std::filesystem::path& path) const;

 private:
  static void PutSamples(std::ostream& out, const std::vector<int16_t>& samples);
  int rateHz_;
  double owedSamples_ = 0;     // fractions of a sample carried from frame to frame
  void* render_ = nullptr;     // alcRenderSamplesSOFT, looked up with the first device
  size_t mixedSamples_ = 0;    // samples a loopback device mixed
  size_t unmixedSamples_ = 0;  // samples left silent while a device that cannot mix on demand was open
  size_t sampleCount_ = 0;     // every sample captured, kept or streamed
  std::vector<int16_t> samples_;
  std::vector<int16_t> chunk_;  // one frame's samples on their way to the stream
  std::filesystem::path streamPath_;
  std::ofstream stream_;  // open while streaming
};

}  // namespace kvr::host

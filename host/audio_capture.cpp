#include "host/audio_capture.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

namespace kvr::host {

AudioCapture::AudioCapture(int rateHz) : rateHz_(rateHz) {
  setenv("KVR_SOUND_LOOPBACK_HZ", std::to_string(rateHz).c_str(), 1);
}

void AudioCapture::Advance(double seconds) {
  owedSamples_ += seconds * rateHz_;
  const auto count = static_cast<ALCsizei>(owedSamples_);
  if (count <= 0) return;
  owedSamples_ -= count;
  const size_t start = samples_.size();
  samples_.resize(start + static_cast<size_t>(count), 0);

  ALCcontext* context = alcGetCurrentContext();
  ALCdevice* device = context != nullptr ? alcGetContextsDevice(context) : nullptr;
  if (device == nullptr) return;  // nothing is playing: silence
  if (render_ == nullptr) render_ = alcGetProcAddress(device, "alcRenderSamplesSOFT");
  // OpenAL mixes only a loopback device on demand; any other device gets ALC_INVALID_DEVICE and the
  // samples stay silent.
  alcGetError(device);
  if (render_ != nullptr) reinterpret_cast<LPALCRENDERSAMPLESSOFT>(render_)(device, samples_.data() + start, count);
  if (render_ != nullptr && alcGetError(device) == ALC_NO_ERROR)
    mixedSamples_ += static_cast<size_t>(count);
  else
    unmixedSamples_ += static_cast<size_t>(count);
}

std::optional<std::string> AudioCapture::Warning() const {
  if (unmixedSamples_ > 0) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", static_cast<double>(unmixedSamples_) / rateHz_);
    return std::string("the captured audio is silent for ") + seconds +
           ": the module's sound device was not a loopback device, so what it played then could not be mixed";
  }
  if (mixedSamples_ == 0) return "the captured audio is silence: the module never opened a sound device";
  return std::nullopt;
}

namespace {
void Put(std::ofstream& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}
}  // namespace

void AudioCapture::WriteWave(const std::filesystem::path& path) const {
  std::ofstream out(path, std::ios::binary);
  const auto dataBytes = static_cast<uint32_t>(samples_.size() * 2);
  out.write("RIFF", 4);
  Put(out, 36 + dataBytes, 4);
  out.write("WAVEfmt ", 8);
  Put(out, 16, 4);
  Put(out, 1, 2);  // PCM
  Put(out, 1, 2);  // mono
  Put(out, static_cast<uint32_t>(rateHz_), 4);
  Put(out, static_cast<uint32_t>(rateHz_) * 2, 4);
  Put(out, 2, 2);
  Put(out, 16, 2);
  out.write("data", 4);
  Put(out, dataBytes, 4);
  for (int16_t sample : samples_) Put(out, static_cast<uint16_t>(sample), 2);
  out.close();  // writes what is still buffered; a failure there counts too
  if (!out) throw std::runtime_error(path.string() + ": cannot write the captured audio");
}

}  // namespace kvr::host

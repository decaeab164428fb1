#include "host/audio_capture.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <stdlib.h>

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
  if (device == nullptr) return;  // nothing is playing yet: silence
  auto render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(device, "alcRenderSamplesSOFT"));
  if (render != nullptr) render(device, samples_.data() + start, count);
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
  if (!out) throw std::runtime_error(path.string() + ": cannot write the captured audio");
}

}  // namespace kvr::host

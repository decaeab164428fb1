#include "host/platform/posix/audio_capture.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <stdlib.h>

#include <algorithm>
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
  sampleCount_ += static_cast<size_t>(count);
  // Mixed into the kept samples, or into a chunk that goes to the stream.
  std::vector<int16_t>& into = stream_.is_open() ? chunk_ : samples_;
  const size_t start = stream_.is_open() ? 0 : samples_.size();
  if (stream_.is_open()) chunk_.clear();
  into.resize(start + static_cast<size_t>(count), 0);

  ALCcontext* context = alcGetCurrentContext();
  ALCdevice* device = context != nullptr ? alcGetContextsDevice(context) : nullptr;
  if (device != nullptr) {  // else nothing is playing: silence
    if (render_ == nullptr) render_ = alcGetProcAddress(device, "alcRenderSamplesSOFT");
    // OpenAL mixes only a loopback device on demand; any other device gets ALC_INVALID_DEVICE and the
    // samples stay silent.
    alcGetError(device);
    if (render_ != nullptr) reinterpret_cast<LPALCRENDERSAMPLESSOFT>(render_)(device, into.data() + start, count);
    if (render_ != nullptr && alcGetError(device) == ALC_NO_ERROR) mixedSamples_ += static_cast<size_t>(count);
    else unmixedSamples_ += static_cast<size_t>(count);
  }
  if (stream_.is_open()) {
    PutSamples(stream_, chunk_);
    if (!stream_) throw std::runtime_error(streamPath_.string() + ": cannot write the captured audio");
  }
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

void Put(std::ostream& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// The 44 bytes before the samples: RIFF header, PCM mono 16-bit format at `rateHz`, data chunk header.
void PutHeader(std::ostream& out, int rateHz, uint32_t dataBytes) {
  out.write("RIFF", 4);
  Put(out, 36 + dataBytes, 4);
  out.write("WAVEfmt ", 8);
  Put(out, 16, 4);
  Put(out, 1, 2);  // PCM
  Put(out, 1, 2);  // mono
  Put(out, static_cast<uint32_t>(rateHz), 4);
  Put(out, static_cast<uint32_t>(rateHz) * 2, 4);
  Put(out, 2, 2);
  Put(out, 16, 2);
  out.write("data", 4);
  Put(out, dataBytes, 4);
}

}  // namespace

void AudioCapture::PutSamples(std::ostream& out, const std::vector<int16_t>& samples) {
  for (int16_t sample : samples) Put(out, static_cast<uint16_t>(sample), 2);
}

void AudioCapture::WriteWave(const std::filesystem::path& path) const {
  std::ofstream out(path, std::ios::binary);
  PutHeader(out, rateHz_, static_cast<uint32_t>(samples_.size() * 2));
  PutSamples(out, samples_);
  out.close();  // writes what is still buffered; a failure there counts too
  if (!out) throw std::runtime_error(path.string() + ": cannot write the captured audio");
}

void AudioCapture::StreamTo(const std::filesystem::path& path) {
  streamPath_ = path;
  stream_.open(path, std::ios::binary | std::ios::trunc);
  PutHeader(stream_, rateHz_, 0);  // the lengths are filled in by Finish
  PutSamples(stream_, samples_);
  if (!stream_) throw std::runtime_error(path.string() + ": cannot write the captured audio");
  samples_ = {};
}

void AudioCapture::Finish() {
  if (!stream_.is_open()) return;
  // The lengths are 32-bit fields; they saturate rather than wrap (at 8 kHz, after three days).
  const uint64_t dataBytes = std::min<uint64_t>(uint64_t{sampleCount_} * 2, 0xFFFFFFFFu - 36);
  stream_.seekp(4);
  Put(stream_, static_cast<uint32_t>(36 + dataBytes), 4);
  stream_.seekp(40);
  Put(stream_, static_cast<uint32_t>(dataBytes), 4);
  stream_.close();  // writes what is still buffered; a failure there counts too
  if (!stream_) throw std::runtime_error(streamPath_.string() + ": cannot complete the captured audio");
}

}  // namespace kvr::host

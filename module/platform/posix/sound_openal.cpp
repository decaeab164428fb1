// Sound output on POSIX with OpenAL Soft: one AL buffer and one source per recording, the playing flag from
// AL_SOURCE_STATE, the volume as the source's gain. Leaves out looping, panning and frequency changes.
// Without a usable output device every buffer is silent: it accepts every operation and never plays.
//
// Hearing what was played, headless: OpenAL Soft's "wave" backend mixes in real time into a WAVE file.
// This version (1.19) has no variable for the file name; it takes it from a configuration file:
//   ALSOFT_DRIVERS=wave ALSOFT_CONF=/path/capture.conf   with capture.conf holding
//     [general]
//     channels = mono          (optional: 8000 Hz mono int16 gives back the recordings' own samples)
//     frequency = 8000
//     sample-type = int16
//     [wave]
//     file = /path/capture.wav
// The file is rewritten from the start each time a device opens; its header lengths are filled in when
// the device closes. Both variables must be set before the process's first OpenAL call.
//
// Hearing it in step with a simulated clock: a host that sets KVR_SOUND_LOOPBACK_HZ (samples per second)
// gets an OpenAL loopback device, mono 16-bit at that rate, which mixes only when the host asks for
// samples (alcRenderSamplesSOFT on the current context's device). Sources then play, and end, in the
// host's time rather than the wall clock's.
#include "module/platform/sound.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <cstdlib>
#include <new>

namespace kvr::platform {

namespace {

struct Device {
  ALCdevice* device;    // null: silent
  ALCcontext* context;  // null: silent
};

struct Buffer {
  ALCcontext* context;  // null: a silent buffer
  ALuint source;
  ALuint buffer;
};

// OpenAL acts on the current context; a process normally has just ours.
bool Select(const Buffer* buffer) {
  if (buffer == nullptr || buffer->context == nullptr) return false;
  if (alcGetCurrentContext() != buffer->context) alcMakeContextCurrent(buffer->context);
  return true;
}

// The AL format of integer PCM with 1 or 2 channels of 8 or 16 bits, 0 for anything else; a frame size
// that disagrees with the channels and bits is refused, as a Windows sound device refuses it.
ALenum AlFormat(const SoundFormat& format) {
  if (format.formatTag != 1 || format.samplesPerSecond == 0) return 0;
  if (format.blockAlignBytes != format.channels * format.bitsPerSample / 8) return 0;
  if (format.channels == 1 && format.bitsPerSample == 8) return AL_FORMAT_MONO8;
  if (format.channels == 1 && format.bitsPerSample == 16) return AL_FORMAT_MONO16;
  if (format.channels == 2 && format.bitsPerSample == 8) return AL_FORMAT_STEREO8;
  if (format.channels == 2 && format.bitsPerSample == 16) return AL_FORMAT_STEREO16;
  return 0;
}

// The loopback device a host asked for with KVR_SOUND_LOOPBACK_HZ, with the attributes of its context;
// null when none was asked for or the library cannot make one.
ALCdevice* OpenLoopbackDevice(ALCint attributes[7]) {
  const char* rate = std::getenv("KVR_SOUND_LOOPBACK_HZ");
  const long hz = rate != nullptr ? std::strtol(rate, nullptr, 10) : 0;
  if (hz <= 0 || hz > 192000) return nullptr;
  auto open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
  if (open == nullptr) return nullptr;
  const ALCint wanted[7] = {ALC_FORMAT_CHANNELS_SOFT,
                            ALC_MONO_SOFT,
                            ALC_FORMAT_TYPE_SOFT,
                            ALC_SHORT_SOFT,
                            ALC_FREQUENCY,
                            static_cast<ALCint>(hz),
                            0};
  for (int i = 0; i < 7; ++i) attributes[i] = wanted[i];
  return open(nullptr);
}

SoundDeviceHandle OpenDevice() {
  auto* device = new (std::nothrow) Device{nullptr, nullptr};
  if (device == nullptr) return nullptr;
  ALCint loopbackAttributes[7] = {0};
  device->device = OpenLoopbackDevice(loopbackAttributes);
  const bool loopback = device->device != nullptr;
  if (!loopback) device->device = alcOpenDevice(nullptr);
  if (device->device != nullptr) {
    device->context = alcCreateContext(device->device, loopback ? loopbackAttributes : nullptr);
    if (device->context == nullptr || alcMakeContextCurrent(device->context) != ALC_TRUE) {
      if (device->context != nullptr) alcDestroyContext(device->context);
      alcCloseDevice(device->device);
      *device = {nullptr, nullptr};
    }
  }
  return device;
}

void CloseDevice(SoundDeviceHandle handle) {
  auto* device = static_cast<Device*>(handle);
  if (device == nullptr) return;
  if (device->context != nullptr) {
    if (alcGetCurrentContext() == device->context) alcMakeContextCurrent(nullptr);
    alcDestroyContext(device->context);
    alcCloseDevice(device->device);
  }
  delete device;
}

SoundBufferHandle CreateBuffer(SoundDeviceHandle handle, const SoundFormat& format, const uint8_t* pcm, size_t bytes) {
  const auto* device = static_cast<const Device*>(handle);
  const ALenum alFormat = AlFormat(format);
  // AL takes whole frames only; a trailing partial frame is dropped.
  const size_t usable = alFormat == 0 ? 0 : bytes - bytes % format.blockAlignBytes;
  if (device == nullptr || pcm == nullptr || usable == 0 || usable > 0x7FFFFFFF) return nullptr;

  auto* buffer = new (std::nothrow) Buffer{device->context, 0, 0};
  if (buffer == nullptr || device->context == nullptr) return buffer;  // silent
  Select(buffer);

  alGetError();
  alGenBuffers(1, &buffer->buffer);
  if (alGetError() != AL_NO_ERROR) {
    delete buffer;
    return nullptr;
  }
  alBufferData(buffer->buffer, alFormat, pcm, static_cast<ALsizei>(usable),
               static_cast<ALsizei>(format.samplesPerSecond));
  alGenSources(1, &buffer->source);
  if (alGetError() != AL_NO_ERROR) {
    if (alIsSource(buffer->source)) alDeleteSources(1, &buffer->source);
    alDeleteBuffers(1, &buffer->buffer);
    delete buffer;
    return nullptr;
  }
  // Heard as recorded: at the listener, not looping, no distance attenuation.
  alSourcei(buffer->source, AL_SOURCE_RELATIVE, AL_TRUE);
  alSource3f(buffer->source, AL_POSITION, 0.0f, 0.0f, 0.0f);
  alSourcei(buffer->source, AL_LOOPING, AL_FALSE);
  alSourcei(buffer->source, AL_BUFFER, static_cast<ALint>(buffer->buffer));
  if (alGetError() != AL_NO_ERROR) {
    alDeleteSources(1, &buffer->source);
    alDeleteBuffers(1, &buffer->buffer);
    delete buffer;
    return nullptr;
  }
  return buffer;
}

void ReleaseBuffer(SoundBufferHandle handle) {
  auto* buffer = static_cast<Buffer*>(handle);
  if (buffer == nullptr) return;
  if (Select(buffer)) {
    alSourceStop(buffer->source);
    alDeleteSources(1, &buffer->source);
    alDeleteBuffers(1, &buffer->buffer);
  }
  delete buffer;
}

ALint StateOf(const Buffer* buffer) {
  ALint state = AL_INITIAL;
  alGetSourcei(buffer->source, AL_SOURCE_STATE, &state);
  return state;
}

// A playing source goes on playing (AL would restart it). A paused one resumes where it stopped; a source
// that played to its end starts again from its beginning, or from a position set since.
bool Play(SoundBufferHandle handle) {
  auto* buffer = static_cast<Buffer*>(handle);
  if (handle == nullptr) return false;
  if (!Select(buffer)) return true;
  if (StateOf(buffer) != AL_PLAYING) alSourcePlay(buffer->source);
  return true;
}

// Pausing, not AL's stop, keeps the position, so that playing again continues from there.
bool Stop(SoundBufferHandle handle) {
  auto* buffer = static_cast<Buffer*>(handle);
  if (handle == nullptr) return false;
  if (!Select(buffer)) return true;
  if (StateOf(buffer) == AL_PLAYING) alSourcePause(buffer->source);
  return true;
}

bool SetPosition(SoundBufferHandle handle, uint32_t positionBytes) {
  auto* buffer = static_cast<Buffer*>(handle);
  if (handle == nullptr || positionBytes > 0x7FFFFFFF) return false;
  if (!Select(buffer)) return true;
  alGetError();
  alSourcei(buffer->source, AL_BYTE_OFFSET, static_cast<ALint>(positionBytes));
  return alGetError() == AL_NO_ERROR;
}

bool SetVolume(SoundBufferHandle handle, int32_t volume) {
  auto* buffer = static_cast<Buffer*>(handle);
  if (handle == nullptr) return false;
  if (!Select(buffer)) return true;
  alSourcef(buffer->source, AL_GAIN, GainOfVolume(volume));
  return true;
}

bool QueryPlaying(SoundBufferHandle handle, bool& playing) {
  auto* buffer = static_cast<Buffer*>(handle);
  playing = false;
  if (handle == nullptr) return false;
  if (!Select(buffer)) return true;
  alGetError();
  const ALint state = StateOf(buffer);
  if (alGetError() != AL_NO_ERROR) return false;
  playing = state == AL_PLAYING;
  return true;
}

constexpr SoundDriver kOpenAlDriver = {
    OpenDevice, CloseDevice, CreateBuffer, ReleaseBuffer, Play, Stop, SetPosition, SetVolume, QueryPlaying,
};

}  // namespace

const SoundDriver& SystemSoundDriver() { return kOpenAlDriver; }

}  // namespace kvr::platform

// The sound layer: one module-wide sound device, and recordings turned into static buffers. A recording
// is the module's resource of its name or, failing that, the file of its name in the working directory.
#include "module/platform/platform.h"
#include "module/platform/sound.h"
#include "module/sound/sound.h"

namespace kvr {

namespace {

const platform::SoundDriver* chosenDriver = nullptr;  // null: the platform's own
platform::SoundDeviceHandle soundDevice = nullptr;
void* resourceModule = nullptr;  // finds resources on Windows; POSIX builds read their own resource pack

const platform::SoundDriver& Driver() {
  return chosenDriver != nullptr ? *chosenDriver : platform::SystemSoundDriver();
}

// The parts of a parsed wave that make a buffer.
struct Wave {
  const uint8_t* format = nullptr;
  uint32_t formatBytes = 0;
  const uint8_t* data = nullptr;
  uint32_t dataBytes = 0;
};

bool Parse(const uint8_t* image, size_t imageBytes, Wave& wave) {
  return ParseWave(image, imageBytes, &wave.format, &wave.data, &wave.dataBytes, &wave.formatBytes);
}

uint16_t ReadU16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }
uint32_t ReadU32(const uint8_t* bytes) { return uint32_t{ReadU16(bytes)} | uint32_t{ReadU16(bytes + 2)} << 16; }

// The wave format record: tag, channels, samples per second, bytes per second, block alignment, and from
// byte 14, when present, bits per sample. A 14-byte record leaves the bits to the block alignment.
platform::SoundFormat FormatOf(const Wave& wave) {
  platform::SoundFormat format{};
  format.formatTag = ReadU16(wave.format);
  format.channels = ReadU16(wave.format + 2);
  format.samplesPerSecond = ReadU32(wave.format + 4);
  format.averageBytesPerSecond = ReadU32(wave.format + 8);
  format.blockAlignBytes = ReadU16(wave.format + 12);
  if (wave.formatBytes >= 16) format.bitsPerSample = ReadU16(wave.format + 14);
  else if (format.channels != 0)
    format.bitsPerSample = static_cast<uint16_t>(format.blockAlignBytes * 8 / format.channels);
  return format;
}

bool FindWaveResource(void* /*module*/, const char* name, Wave& wave) {
  const platform::ResourceBytes resource = platform::FindDataResource(name);
  return resource.data != nullptr && Parse(resource.data, resource.size, wave);
}

// On success `file` holds the view that `wave` points into; the caller unmaps it.
bool MapWaveFile(const char* name, Wave& wave, platform::MappedFile& file) {
  if (!platform::MapFileReadOnly(name, file)) return false;
  if (Parse(file.data, file.size, wave)) return true;
  platform::UnmapFile(file);
  return false;
}

// The buffer holds its own copy of the samples.
SoundBuffer CreateFilledBuffer(const Wave& wave) {
  if (soundDevice == nullptr || wave.data == nullptr || wave.dataBytes == 0) return nullptr;
  return Driver().createBuffer(soundDevice, FormatOf(wave), wave.data, wave.dataBytes);
}

}  // namespace

bool UseSoundDriver(const platform::SoundDriver* driver) {
  if (soundDevice != nullptr) return false;
  chosenDriver = driver;
  return true;
}

void CreateSoundDevice(void* moduleHandle) {
  resourceModule = moduleHandle;
  if (soundDevice == nullptr) soundDevice = Driver().openDevice();
}

void ReleaseSoundDevice() {
  if (soundDevice == nullptr) return;
  Driver().closeDevice(soundDevice);
  soundDevice = nullptr;
}

SoundBuffer LoadSound(const char* name) {
  if (name == nullptr) return nullptr;
  Wave wave;
  // A valid resource always wins; its creation failing does not send us to the file.
  if (FindWaveResource(resourceModule, name, wave)) return CreateFilledBuffer(wave);
  platform::MappedFile file;
  if (!MapWaveFile(name, wave, file)) return nullptr;
  SoundBuffer buffer = CreateFilledBuffer(wave);
  platform::UnmapFile(file);
  return buffer;
}

// The operations below ignore the device's own answer, as callers have no use for it.

bool StartSound(SoundBuffer buffer, uint32_t /*flags*/) {
  if (buffer != nullptr) Driver().play(buffer);
  return true;
}

bool StopSound(SoundBuffer buffer) {
  if (buffer != nullptr) Driver().stop(buffer);
  return true;
}

bool RewindSound(SoundBuffer buffer, uint32_t positionBytes) {
  if (buffer != nullptr) Driver().setPosition(buffer, positionBytes);
  return true;
}

bool SetSoundVolume(SoundBuffer buffer, int32_t volume) {
  if (buffer != nullptr) Driver().setVolume(buffer, platform::ClampVolume(volume));
  return true;
}

bool QuerySoundStatus(SoundBuffer buffer, uint32_t& status) {
  status = 0;
  bool playing = false;
  if (buffer == nullptr || !Driver().queryPlaying(buffer, playing)) return false;
  status = playing ? kSoundStatusPlaying : 0;
  return true;
}

bool ReleaseSound(SoundBuffer buffer) {
  if (buffer != nullptr) Driver().releaseBuffer(buffer);
  return true;
}

}  // namespace kvr

// The module's seam to the platform's sound output: one device, opened once; one static buffer per
// recording, made from PCM bytes and their format; start (never looping), stop, set the play position, set
// the volume in hundredths of a decibel, ask whether it is playing. Plus read-only file mapping, through
// which recordings that are not built into the module are read.
//
// Every function is called on the simulator's panel thread only. Buffers play asynchronously.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace kvr::platform {

// ---- Volume --------------------------------------------------------------------------------------------
// Attenuation in hundredths of a decibel: 0 is full level, -10000 (-100 dB) is silence.

inline constexpr int32_t kFullVolume = 0;
inline constexpr int32_t kSilentVolume = -10000;

inline int32_t ClampVolume(int32_t volume) {
  return volume > kFullVolume ? kFullVolume : (volume < kSilentVolume ? kSilentVolume : volume);
}

// The amplitude factor that a volume stands for, 10^(volume / 2000), after clamping: 1 at 0, 0.1 at -2000
// (-20 dB), 1e-5 at -10000.
inline float GainOfVolume(int32_t volume) { return static_cast<float>(std::pow(10.0, ClampVolume(volume) / 2000.0)); }

// ---- Buffers -------------------------------------------------------------------------------------------

// The format of a buffer's samples: the fields of a Windows wave format record (without its extension).
struct SoundFormat {
  uint16_t formatTag;         // 1 = integer PCM; other encodings are refused
  uint16_t channels;          // 1 or 2
  uint32_t samplesPerSecond;  // per channel
  uint32_t averageBytesPerSecond;
  uint16_t blockAlignBytes;  // bytes of one frame (one sample of every channel)
  uint16_t bitsPerSample;    // 8 (unsigned) or 16 (signed)
};

using SoundDeviceHandle = void*;
using SoundBufferHandle = void*;

// One sound output. The sound layer plays through the system's driver; a test may hand it another
// (the operations keep their meaning). Operations on a null buffer fail without effect.
struct SoundDriver {
  // Opens the output device; null when the platform refuses it altogether.
  SoundDeviceHandle (*openDevice)();
  // Closes a device whose buffers have all been released. Null is ignored.
  void (*closeDevice)(SoundDeviceHandle device);
  // A static buffer holding a copy of `bytes` bytes of samples at `pcm`, positioned at its start and not
  // playing; null when the device refuses it (no bytes, a format it cannot play).
  SoundBufferHandle (*createBuffer)(SoundDeviceHandle device, const SoundFormat& format, const uint8_t* pcm,
                                    size_t bytes);
  // Stops the buffer if it sounds and frees it. Null is ignored.
  void (*releaseBuffer)(SoundBufferHandle buffer);
  // Plays once from the current position. A buffer that has played to its end plays again from its start.
  bool (*play)(SoundBufferHandle buffer);
  // Stops playing and keeps the position.
  bool (*stop)(SoundBufferHandle buffer);
  // Moves the play position to `positionBytes` from the start of the samples.
  bool (*setPosition)(SoundBufferHandle buffer, uint32_t positionBytes);
  // Sets the volume in hundredths of a decibel, clamped to -10000..0.
  bool (*setVolume)(SoundBufferHandle buffer, int32_t volume);
  // Sets `playing`; false when the buffer cannot be asked.
  bool (*queryPlaying)(SoundBufferHandle buffer, bool& playing);
};

// The platform's own output. On POSIX it never refuses the device: without a usable output it hands out
// silent buffers that accept every operation and never report playing.
const SoundDriver& SystemSoundDriver();

// ---- Files ---------------------------------------------------------------------------------------------

// A read-only view of a whole file. `size` is the file's real size in bytes.
struct MappedFile {
  const uint8_t* data = nullptr;
  size_t size = 0;
  void* view = nullptr;  // platform bookkeeping
};

// Maps the file at `path` (relative to the working directory) for reading. False, with `file` empty, when
// it does not exist, is empty or cannot be mapped.
bool MapFileReadOnly(const char* path, MappedFile& file);

// Unmaps a view made by MapFileReadOnly and empties `file`. An empty `file` is ignored.
void UnmapFile(MappedFile& file);

}  // namespace kvr::platform

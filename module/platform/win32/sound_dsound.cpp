// Sound output on Windows with DirectSound 8: one device on the default playback device at the normal
// cooperative level, one static secondary buffer per recording holding all of its samples, started
// without looping. Leaves out 3D sound; frequency and pan control are asked for but never used.
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <algorithm>
#include <cstring>

#include "module/platform/sound.h"

namespace kvr::platform {

namespace {

// Static, frequency, pan and volume control, and the exact play cursor.
constexpr DWORD kBufferFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME |
                               DSBCAPS_GETCURRENTPOSITION2;
static_assert(kBufferFlags == 0x100E2);

IDirectSoundBuffer8* AsBuffer(SoundBufferHandle handle) { return static_cast<IDirectSoundBuffer8*>(handle); }

// The cooperative level belongs to the window that is active now. A DLL loaded before its host shows a
// window has none, and DirectSound refuses a null window; the desktop window stands in for it then, so
// that the device still plays.
SoundDeviceHandle OpenDevice() {
  IDirectSound8* device = nullptr;
  if (FAILED(DirectSoundCreate8(nullptr, &device, nullptr)) || device == nullptr) return nullptr;
  HWND window = GetActiveWindow();
  if (window == nullptr) window = GetDesktopWindow();
  device->SetCooperativeLevel(window, DSSCL_NORMAL);
  return device;
}

void CloseDevice(SoundDeviceHandle handle) {
  if (handle != nullptr) static_cast<IDirectSound8*>(handle)->Release();
}

// Copies the samples into the locked buffer, both parts when the lock wraps.
bool Fill(IDirectSoundBuffer8* buffer, const uint8_t* pcm, DWORD bytes) {
  void* first = nullptr;
  void* second = nullptr;
  DWORD firstBytes = 0;
  DWORD secondBytes = 0;
  if (FAILED(buffer->Lock(0, bytes, &first, &firstBytes, &second, &secondBytes, 0))) return false;
  if (firstBytes > bytes) firstBytes = bytes;
  std::memcpy(first, pcm, firstBytes);
  if (second != nullptr && secondBytes != 0) std::memcpy(second, pcm + firstBytes, std::min(secondBytes, bytes - firstBytes));
  buffer->Unlock(first, firstBytes, second, secondBytes);
  return true;
}

SoundBufferHandle CreateBuffer(SoundDeviceHandle handle, const SoundFormat& format, const uint8_t* pcm,
                               size_t bytes) {
  auto* device = static_cast<IDirectSound8*>(handle);
  if (device == nullptr || pcm == nullptr || bytes == 0 || bytes > DSBSIZE_MAX) return nullptr;
  WAVEFORMATEX wave{};
  wave.wFormatTag = format.formatTag;
  wave.nChannels = format.channels;
  wave.nSamplesPerSec = format.samplesPerSecond;
  wave.nAvgBytesPerSec = format.averageBytesPerSecond;
  wave.nBlockAlign = format.blockAlignBytes;
  wave.wBitsPerSample = format.bitsPerSample;
  DSBUFFERDESC description{};
  description.dwSize = sizeof description;
  description.dwFlags = kBufferFlags;
  description.dwBufferBytes = static_cast<DWORD>(bytes);
  description.lpwfxFormat = &wave;
  description.guid3DAlgorithm = GUID_NULL;

  IDirectSoundBuffer* plain = nullptr;
  if (FAILED(device->CreateSoundBuffer(&description, &plain, nullptr)) || plain == nullptr) return nullptr;
  IDirectSoundBuffer8* buffer = nullptr;
  const HRESULT asked = plain->QueryInterface(IID_IDirectSoundBuffer8, reinterpret_cast<void**>(&buffer));
  plain->Release();
  if (FAILED(asked) || buffer == nullptr) return nullptr;
  if (!Fill(buffer, pcm, static_cast<DWORD>(bytes))) {
    buffer->Release();
    return nullptr;
  }
  return buffer;
}

void ReleaseBuffer(SoundBufferHandle handle) {
  if (handle != nullptr) AsBuffer(handle)->Release();
}

// The four operations below answer true whatever DirectSound says, as the layer above expects; a
// non-looping buffer that has played to its end starts again from its beginning.
bool Play(SoundBufferHandle handle) {
  if (handle == nullptr) return false;
  AsBuffer(handle)->Play(0, 0, 0);
  return true;
}

bool Stop(SoundBufferHandle handle) {
  if (handle == nullptr) return false;
  AsBuffer(handle)->Stop();
  return true;
}

bool SetPosition(SoundBufferHandle handle, uint32_t positionBytes) {
  if (handle == nullptr) return false;
  AsBuffer(handle)->SetCurrentPosition(positionBytes);
  return true;
}

bool SetVolume(SoundBufferHandle handle, int32_t volume) {
  if (handle == nullptr) return false;
  AsBuffer(handle)->SetVolume(ClampVolume(volume));
  return true;
}

bool QueryPlaying(SoundBufferHandle handle, bool& playing) {
  playing = false;
  DWORD status = 0;
  if (handle == nullptr || FAILED(AsBuffer(handle)->GetStatus(&status))) return false;
  playing = (status & DSBSTATUS_PLAYING) != 0;
  return true;
}

constexpr SoundDriver kDirectSoundDriver = {
    OpenDevice, CloseDevice, CreateBuffer, ReleaseBuffer, Play, Stop, SetPosition, SetVolume, QueryPlaying,
};

}  // namespace

const SoundDriver& SystemSoundDriver() { return kDirectSoundDriver; }

}  // namespace kvr::platform

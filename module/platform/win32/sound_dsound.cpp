// Sound output on Windows with DirectSound 8: one device on the default playback device at the normal
// cooperative level, one static secondary buffer per recording holding all of its samples, started
// without looping. A buffer lost to a device change is restored and filled again from a copy of its
// samples before it plays. Leaves out 3D sound; frequency and pan control are asked for but never used.
#include <algorithm>
#include <cstring>
#include <new>

#include "module/platform/sound.h"
#include "module/platform/win32/dsound_steps.h"

namespace kvr::platform {

namespace dsound {

IDirectSound8* WithCooperativeLevel(IDirectSound8* device, HWND window) {
  if (FAILED(device->SetCooperativeLevel(window, DSSCL_NORMAL))) {
    device->Release();
    return nullptr;
  }
  return device;
}

bool Fill(IDirectSoundBuffer8* buffer, const uint8_t* pcm, DWORD bytes) {
  void* first = nullptr;
  void* second = nullptr;
  DWORD firstBytes = 0;
  DWORD secondBytes = 0;
  if (FAILED(buffer->Lock(0, bytes, &first, &firstBytes, &second, &secondBytes, 0))) return false;
  if (firstBytes > bytes) firstBytes = bytes;
  std::memcpy(first, pcm, firstBytes);
  if (second != nullptr && secondBytes != 0)
    std::memcpy(second, pcm + firstBytes, std::min(secondBytes, bytes - firstBytes));
  buffer->Unlock(first, firstBytes, second, secondBytes);
  return true;
}

void PlayRestoring(IDirectSoundBuffer8* buffer, const uint8_t* pcm, DWORD bytes) {
  const auto restore = [&] { return SUCCEEDED(buffer->Restore()) && Fill(buffer, pcm, bytes); };
  DWORD status = 0;
  if (SUCCEEDED(buffer->GetStatus(&status)) && (status & DSBSTATUS_BUFFERLOST) != 0 && !restore()) return;
  if (buffer->Play(0, 0, 0) == DSERR_BUFFERLOST && restore()) buffer->Play(0, 0, 0);
}

}  // namespace dsound

namespace {

using dsound::Fill;

// Static, frequency, pan and volume control, and the exact play cursor.
constexpr DWORD kBufferFlags =
    DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_GETCURRENTPOSITION2;
static_assert(kBufferFlags == 0x100E2);

// A recording's buffer and its samples, kept to fill the buffer again when DirectSound loses it.
struct Voice {
  IDirectSoundBuffer8* buffer = nullptr;
  uint8_t* pcm = nullptr;
  DWORD bytes = 0;
};

IDirectSoundBuffer8* AsBuffer(SoundBufferHandle handle) { return static_cast<Voice*>(handle)->buffer; }

// The cooperative level belongs to the window that is active now. A DLL loaded before its host shows a
// window has none, and DirectSound refuses a null window; the desktop window stands in for it then, so
// that the device still plays.
SoundDeviceHandle OpenDevice() {
  IDirectSound8* device = nullptr;
  if (FAILED(DirectSoundCreate8(nullptr, &device, nullptr)) || device == nullptr) return nullptr;
  HWND window = GetActiveWindow();
  if (window == nullptr) window = GetDesktopWindow();
  return dsound::WithCooperativeLevel(device, window);
}

void CloseDevice(SoundDeviceHandle handle) {
  if (handle != nullptr) static_cast<IDirectSound8*>(handle)->Release();
}

SoundBufferHandle CreateBuffer(SoundDeviceHandle handle, const SoundFormat& format, const uint8_t* pcm, size_t bytes) {
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
  Voice* voice = new (std::nothrow) Voice;
  uint8_t* copy = new (std::nothrow) uint8_t[bytes];
  if (voice == nullptr || copy == nullptr || !Fill(buffer, pcm, static_cast<DWORD>(bytes))) {
    delete voice;
    delete[] copy;
    buffer->Release();
    return nullptr;
  }
  std::memcpy(copy, pcm, bytes);
  voice->buffer = buffer;
  voice->pcm = copy;
  voice->bytes = static_cast<DWORD>(bytes);
  return voice;
}

void ReleaseBuffer(SoundBufferHandle handle) {
  if (handle == nullptr) return;
  Voice* voice = static_cast<Voice*>(handle);
  voice->buffer->Release();
  delete[] voice->pcm;
  delete voice;
}

// The four operations below answer true whatever DirectSound says, as the layer above expects; a
// non-looping buffer that has played to its end starts again from its beginning. A lost buffer is
// restored, so that a device change does not silence the voice for good.
bool Play(SoundBufferHandle handle) {
  if (handle == nullptr) return false;
  const Voice& voice = *static_cast<Voice*>(handle);
  dsound::PlayRestoring(voice.buffer, voice.pcm, voice.bytes);
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

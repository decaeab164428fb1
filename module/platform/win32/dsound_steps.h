// The DirectSound steps that decide whether the voice is heard: the cooperative level a device needs
// before any buffer plays, filling a static buffer, and starting one that DirectSound may have lost to a
// device change. Apart from the driver table so that they can be driven with stand-in objects.
#pragma once

#include <dsound.h>
#include <mmsystem.h>
#include <windows.h>

#include <cstdint>

namespace kvr::platform::dsound {

// Sets the normal cooperative level for `window`. On failure releases `device` and gives null: a device
// without its level plays nothing, so there is no device rather than one that stays silent.
IDirectSound8* WithCooperativeLevel(IDirectSound8* device, HWND window);

// Copies `bytes` of `pcm` into the buffer from its start, both parts when the lock wraps.
bool Fill(IDirectSoundBuffer8* buffer, const uint8_t* pcm, DWORD bytes);

// Starts `buffer` from its current position. A lost buffer (DirectSound gave its memory to another
// application, or the device changed) is restored, filled with `pcm` again and started; when it cannot be
// restored yet it stays silent this time and the next start tries again.
void PlayRestoring(IDirectSoundBuffer8* buffer, const uint8_t* pcm, DWORD bytes);

}  // namespace kvr::platform::dsound

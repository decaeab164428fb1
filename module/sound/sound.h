// Aural alerts: the voice alert identifiers, the announcer that speaks them, and the sound layer under it
// that turns named RIFF WAVE recordings into sound buffers and plays them.
//
// Everything here runs on the simulator's panel thread, inside gauge callbacks; the state is module-wide
// and unlocked. Sound plays asynchronously; the announcer only polls a buffer's playing flag.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvr::platform {
struct SoundDriver;
}

namespace kvr {

// ---- Voice alerts --------------------------------------------------------------------------------------
// The numbering is the collision-avoidance library's aural code, passed on unchanged. A message that plays
// "twice" is started at once and once more after its first playing has ended. Any other value (0,
// negative, above 17) is AlertNone: silence.
//
//  id  message                                     plays
//   1  WAV_Climb                                   twice
//   2  WAV_Descend                                 twice
//   3  WAV_ClimbCrossingClimb                      twice
//   4  WAV_DescendCrossingDescend                  twice
//   5  WAV_AdjustVerticalSpeedAdjust               once
//   6  WAV_ClimbClimbNow                           twice
//   7  WAV_DescendDescendNow                       twice
//   8  WAV_IncreaseClimb                           twice
//   9  WAV_IncreaseDescent                         twice
//  10  WAV_MaintainVerticalSpeedMaintain           once
//  11  WAV_MaintainVerticalSpeedCrossingMaintain   once
//  12  WAV_MonitorVerticalSpeed                    once
//  13  WAV_ClearOfConflict                         once
//  14  WAV_Traffic                                 twice
//  15  WAV_Traffic                                 once
//  16  WAV_TcasSystemTestOK                        once
//  17  WAV_TcasSystemTestFail                      once

using VoiceAlert = int32_t;

inline constexpr VoiceAlert AlertNone = 0;
inline constexpr VoiceAlert AlertClimb = 1;
inline constexpr VoiceAlert AlertDescend = 2;
inline constexpr VoiceAlert AlertClimbCrossing = 3;
inline constexpr VoiceAlert AlertDescendCrossing = 4;
inline constexpr VoiceAlert AlertAdjustVerticalSpeed = 5;
inline constexpr VoiceAlert AlertClimbNow = 6;
inline constexpr VoiceAlert AlertDescendNow = 7;
inline constexpr VoiceAlert AlertIncreaseClimb = 8;
inline constexpr VoiceAlert AlertIncreaseDescent = 9;
inline constexpr VoiceAlert AlertMaintainVerticalSpeed = 10;
inline constexpr VoiceAlert AlertMaintainVerticalSpeedCrossing = 11;
inline constexpr VoiceAlert AlertMonitorVerticalSpeed = 12;
inline constexpr VoiceAlert AlertClearOfConflict = 13;
inline constexpr VoiceAlert AlertTrafficTraffic = 14;
inline constexpr VoiceAlert AlertTraffic = 15;
inline constexpr VoiceAlert AlertTestPass = 16;
inline constexpr VoiceAlert AlertTestFail = 17;

// ---- Announcer -----------------------------------------------------------------------------------------
// Plays at most one message at a time; the newest Announce always wins. No results: failures leave it
// silent.

// Opens the sound device and loads the sixteen messages, each at `volume` (hundredths of a decibel,
// 0 full level, -10000 silence; clamped). `moduleHandle` is the module whose resources hold the
// recordings. A second call without ShutdownAnnouncer in between does nothing.
// [panel thread, Logic gauge installation]
void InitAnnouncer(void* moduleHandle, int32_t volume);

// Cuts off the message now sounding (and rewinds it) and starts the one asked for; AlertNone only
// silences. Does nothing before InitAnnouncer or after ShutdownAnnouncer. [panel thread, after Init]
void Announce(VoiceAlert alert);

// Starts the second playing of a message marked twice once its first playing has ended. Call once per
// update, after the traffic frame. [panel thread, after Init]
void ServiceAnnouncer();

// Releases every message, then the sound device. [panel thread, Logic gauge disconnection]
void ShutdownAnnouncer();

// ---- Sound layer ---------------------------------------------------------------------------------------
// One module-wide sound device; buffers are owned by the caller and released before the device.

using SoundBuffer = void*;  // opaque; null is "none"

inline constexpr uint32_t kSoundStatusPlaying = 1;  // bit of QuerySoundStatus's status word

// Opens the sound device and remembers `moduleHandle` for finding recordings. While a device is open a
// second call only changes the module handle.
void CreateSoundDevice(void* moduleHandle);

// Closes the sound device; nothing without one.
void ReleaseSoundDevice();

// A static buffer holding the whole recording `name`: the module's resource of that name (matched
// without regard to case) when it is a valid wave, otherwise the file of that name in the working
// directory. Null when neither serves, when there is no device, or when the device refuses the format.
SoundBuffer LoadSound(const char* name);

// Plays once from the current position (`flags` is accepted for form; looping is not offered). A buffer
// that played to its end plays again from its start. Always true; null buffers are ignored.
bool StartSound(SoundBuffer buffer, uint32_t flags);

// Stops playing, keeping the position. Always true.
bool StopSound(SoundBuffer buffer);

// Sets the play position, in bytes from the start of the samples. Always true.
bool RewindSound(SoundBuffer buffer, uint32_t positionBytes);

// Sets the volume in hundredths of a decibel after clamping it to -10000..0. Always true.
bool SetSoundVolume(SoundBuffer buffer, int32_t volume);

// The status word (kSoundStatusPlaying while playing); false when the buffer cannot be asked.
bool QuerySoundStatus(SoundBuffer buffer, uint32_t& status);

// Stops and frees a buffer. Always true.
bool ReleaseSound(SoundBuffer buffer);

// Reads a RIFF WAVE image of `imageBytes` bytes: finds its "fmt " chunk (at least 14 bytes) and its
// "data" chunk, in either order, skipping every other chunk (payloads padded to even lengths). Each
// out-parameter may be null, meaning "not wanted"; the ones given are cleared first. `formatBytes` gets
// the bytes of the format record. Lengths that claim more than the image holds are cut at its end:
// a data chunk is cut short, a format record left under 14 bytes or a chunk header cut off fails.
bool ParseWave(const uint8_t* image, size_t imageBytes, const uint8_t** format, const uint8_t** data,
               uint32_t* dataBytes, uint32_t* formatBytes = nullptr);

// Makes the sound layer play through `driver` instead of the platform's own (null: the platform's own).
// Refused (false) while a device is open. For tests that must control when playing ends.
bool UseSoundDriver(const platform::SoundDriver* driver);

}  // namespace kvr

// The voice alert announcer: sixteen messages loaded once, at most one sounding, the newest Announce
// winning, and a second playing for the messages marked twice once the first has ended.
#include "module/sound/sound.h"

namespace kvr {

namespace {

// The messages, in load order.
enum Message : int {
  kAdjustVerticalSpeedAdjust,
  kClearOfConflict,
  kClimb,
  kClimbCrossingClimb,
  kClimbClimbNow,
  kDescend,
  kDescendCrossingDescend,
  kDescendDescendNow,
  kIncreaseClimb,
  kIncreaseDescent,
  kMaintainVerticalSpeedCrossingMaintain,
  kMaintainVerticalSpeedMaintain,
  kMonitorVerticalSpeed,
  kTraffic,
  kTcasSystemTestOK,
  kTcasSystemTestFail,
  kMessageCount
};

constexpr const char* kMessageNames[kMessageCount] = {
    "WAV_AdjustVerticalSpeedAdjust",
    "WAV_ClearOfConflict",
    "WAV_Climb",
    "WAV_ClimbCrossingClimb",
    "WAV_ClimbClimbNow",
    "WAV_Descend",
    "WAV_DescendCrossingDescend",
    "WAV_DescendDescendNow",
    "WAV_IncreaseClimb",
    "WAV_IncreaseDescent",
    "WAV_MaintainVerticalSpeedCrossingMaintain",
    "WAV_MaintainVerticalSpeedMaintain",
    "WAV_MonitorVerticalSpeed",
    "WAV_Traffic",
    "WAV_TcasSystemTestOK",
    "WAV_TcasSystemTestFail",
};

struct AlertRow {
  Message message;
  bool twice;
};

constexpr VoiceAlert kLastAlert = AlertTestFail;

// Indexed by VoiceAlert 1..17.
constexpr AlertRow kAlertRows[kLastAlert + 1] = {
    {kMessageCount, false},  // AlertNone: unused
    {kClimb, true},
    {kDescend, true},
    {kClimbCrossingClimb, true},
    {kDescendCrossingDescend, true},
    {kAdjustVerticalSpeedAdjust, false},
    {kClimbClimbNow, true},
    {kDescendDescendNow, true},
    {kIncreaseClimb, true},
    {kIncreaseDescent, true},
    {kMaintainVerticalSpeedMaintain, false},
    {kMaintainVerticalSpeedCrossingMaintain, false},
    {kMonitorVerticalSpeed, false},
    {kClearOfConflict, false},
    {kTraffic, true},
    {kTraffic, false},
    {kTcasSystemTestOK, false},
    {kTcasSystemTestFail, false},
};

struct Announcer {
  bool initialised = false;
  SoundBuffer messages[kMessageCount] = {};  // null where loading failed
  SoundBuffer currentMessage = nullptr;      // the message last started by Announce
  bool repeatPending = false;                // currentMessage is to play a second time
};

Announcer announcer;

}  // namespace

void InitAnnouncer(void* moduleHandle, int32_t volume) {
  if (announcer.initialised) return;
  CreateSoundDevice(moduleHandle);
  for (int i = 0; i < kMessageCount; ++i) {
    announcer.messages[i] = LoadSound(kMessageNames[i]);
    if (announcer.messages[i] != nullptr) SetSoundVolume(announcer.messages[i], volume);
  }
  announcer.currentMessage = nullptr;
  announcer.repeatPending = false;
  announcer.initialised = true;
}

void Announce(VoiceAlert alert) {
  if (!announcer.initialised) return;
  if (announcer.currentMessage != nullptr) {
    StopSound(announcer.currentMessage);
    RewindSound(announcer.currentMessage, 0);
  }
  if (alert < 1 || alert > kLastAlert) {
    announcer.currentMessage = nullptr;
    announcer.repeatPending = false;
    return;
  }
  const AlertRow& row = kAlertRows[alert];
  announcer.currentMessage = announcer.messages[row.message];
  announcer.repeatPending = row.twice;
  if (announcer.currentMessage != nullptr) StartSound(announcer.currentMessage, 0);
}

// A buffer reports playing as soon as it is started, so a message announced during this update is never
// repeated in the same update.
void ServiceAnnouncer() {
  if (announcer.currentMessage == nullptr || !announcer.repeatPending) return;
  uint32_t status = 0;
  if (!QuerySoundStatus(announcer.currentMessage, status)) return;  // the repeat stays pending
  if ((status & kSoundStatusPlaying) != 0) return;
  announcer.repeatPending = false;
  StartSound(announcer.currentMessage, 0);
}

void ShutdownAnnouncer() {
  if (!announcer.initialised) return;
  for (SoundBuffer& message : announcer.messages) {
    if (message != nullptr) ReleaseSound(message);
    message = nullptr;
  }
  ReleaseSoundDevice();
  announcer.currentMessage = nullptr;
  announcer.repeatPending = false;
  announcer.initialised = false;
}

}  // namespace kvr

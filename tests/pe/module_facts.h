// What the built module must carry, shared by the checks of the files and the Windows suite: the sixteen
// bitmaps (id, size, bits per pixel, run-length coded) and the sixteen voice recordings by name.
#pragma once

#include <cstdint>

namespace kvr::module_facts {

struct BitmapFact {
  uint32_t id;
  int32_t width;
  int32_t height;
  uint16_t bits;
  bool runLength;
};

inline constexpr BitmapFact kBitmaps[16] = {
    {0x1000, 132, 132, 8, true}, {0x1100, 158, 158, 8, false}, {0x1200, 158, 158, 8, false},
    {0x1300, 158, 158, 8, true}, {0x2000, 228, 89, 8, false},  {0x2100, 228, 89, 8, false},
    {0x2200, 50, 17, 4, false},  {0x2300, 27, 27, 8, false},   {0x2301, 27, 27, 8, false},
    {0x2302, 27, 27, 8, false},  {0x2303, 27, 27, 8, false},   {0x2304, 27, 27, 8, false},
    {0x2400, 11, 21, 8, false},  {0x2401, 11, 21, 8, false},   {0x2402, 11, 21, 8, false},
    {0x2500, 8, 8, 8, false},
};

inline constexpr const char* kVoices[16] = {
    "WAV_AdjustVerticalSpeedAdjust",
    "WAV_ClearOfConflict",
    "WAV_Climb",
    "WAV_ClimbClimbNow",
    "WAV_ClimbCrossingClimb",
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

}  // namespace kvr::module_facts

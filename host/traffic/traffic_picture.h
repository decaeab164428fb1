// The traffic picture the module publishes as "KVR_TCAS!Logic" (type code 38), read the way every gauge of
// a panel reads it: the published address is a cell holding a pointer to the module's traffic source (null
// while there is none); the host reads the source's leading fields through a read-only view and never
// writes to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "avertine/avertine.h"
#include "host/panel_services.h"

namespace kvr::host {

inline constexpr char kTrafficPictureName[] = "KVR_TCAS!Logic";

// The leading fields of the module's traffic source, in its order and with natural alignment. The source is
// a C++ object with virtual operations, so its table pointer comes first.
struct TrafficPictureView {
  const void* operations;
  uint32_t updateCount;           // +1 per traffic frame; the change signal
  IntruderEntry** intruderOrder;  // display order, intruderCount pointers
  int32_t intruderCount;
  int32_t taCount;
  int32_t raCount;
  AdvisoryRecord advisory;
  float ownPressureAltitudeFt;
  uint16_t lastTick;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(TrafficPictureView, updateCount) == 4);
static_assert(offsetof(TrafficPictureView, intruderOrder) == 8);
static_assert(offsetof(TrafficPictureView, advisory) == 24);
static_assert(offsetof(TrafficPictureView, ownPressureAltitudeFt) == 48);
static_assert(offsetof(TrafficPictureView, lastTick) == 52);
#else
static_assert(offsetof(TrafficPictureView, intruderOrder) == 16);
static_assert(offsetof(TrafficPictureView, raCount) == 32);
static_assert(offsetof(TrafficPictureView, advisory) == 40);
static_assert(offsetof(TrafficPictureView, ownPressureAltitudeFt) == 72);
static_assert(offsetof(TrafficPictureView, lastTick) == 76);
#endif

// A copy of the picture, taken between frames: the entries in use, in display order.
struct TrafficSnapshot {
  uint32_t updateCount = 0;
  std::vector<IntruderEntry> intruders;  // id and valid non-zero only
  int32_t taCount = 0;
  int32_t raCount = 0;
  AdvisoryRecord advisory{};
  float ownPressureAltitudeFt = 0;
};

// Most list positions a reader will walk; a count beyond it is taken as damage and the picture refused.
inline constexpr int32_t kMaxPicturePositions = 4096;

// The published picture now: nothing when the name is not published, has another type code, its cell is
// null, or the list is damaged (negative or huge count, null list with a count).
std::optional<TrafficSnapshot> ReadTrafficPicture(const PanelServices& services);

// ---- The advisory as the display shows it --------------------------------------------------------------

// As the dial draws it: a lower limit counts above -9999, an upper limit below 9999, a target strictly
// between the two.
struct AdvisoryReading {
  std::optional<float> lowerFpm;   // rates below are prohibited
  std::optional<float> upperFpm;   // rates above are prohibited
  std::optional<float> targetFpm;  // equal to one limit: the rate to fly on the allowed side

  bool Active() const { return lowerFpm.has_value() || upperFpm.has_value(); }
  bool operator==(const AdvisoryReading&) const = default;
};

AdvisoryReading ReadAdvisory(const AdvisoryRecord& advisory);

enum class AdvisorySenseWord { None, Up, Down };

// Up when the target is the lower limit (fly at least it) or only a lower limit is set; down for the mirror.
AdvisorySenseWord SenseOf(const AdvisoryReading& reading);
const char* SenseName(AdvisorySenseWord sense);

// The advisory in a pilot's words, from the limits and target alone: "climb", "increase climb",
// "limit descent", the mirrored descent words, "level off" (a target of 0), "monitor vertical speed"
// (limits without a target: a preventive advisory), or "none".
std::string AdvisoryWords(const AdvisoryReading& reading);

const char* ThreatClassName(ThreatClass threatClass);

}  // namespace kvr::host

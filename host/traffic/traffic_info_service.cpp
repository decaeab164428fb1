#include "host/traffic/traffic_info_service.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <numeric>
#include <optional>
#include <string_view>
#include <utility>

namespace kvr::host {
namespace {

enum Variable : int32_t { kIsUserSim = 1, kLatitude, kLongitude, kAltitude, kHeading };
enum Unit : int32_t { kFeet = 101, kMetres, kDegreesUnit, kRadiansUnit, kBool };

struct Named {
  std::string_view name;
  int32_t handle;
};

constexpr Named kVariables[] = {
    {"IS USER SIM", kIsUserSim},
    {"PLANE LATITUDE", kLatitude},
    {"PLANE LONGITUDE", kLongitude},
    {"PLANE ALTITUDE", kAltitude},
    {"PLANE HEADING DEGREES TRUE", kHeading},
};
constexpr Named kUnits[] = {
    {"FEET", kFeet}, {"METERS", kMetres}, {"DEGREES", kDegreesUnit}, {"RADIANS", kRadiansUnit}, {"BOOL", kBool},
};

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

template <size_t N>
int32_t Lookup(const Named (&table)[N], const char* name) {
  if (name == nullptr) return 0;
  for (const Named& entry : table)
    if (SameText(entry.name, name)) return entry.handle;
  return 0;
}

// The first index slot to probe for an identifier, in a table of `mask + 1` slots (a power of two).
size_t Home(uint32_t id, size_t mask) { return (static_cast<size_t>(id) * 0x9E3779B1u) & mask; }

// An angle in degrees in the unit asked for; nothing for a unit that is not an angle.
std::optional<double> Angle(double degrees, int32_t unit) {
  if (unit == kDegreesUnit) return degrees;
  if (unit == kRadiansUnit) return Radians(degrees);
  return std::nullopt;
}

// The operations neither object serves (AddRef and Release among them: the module neither counts nor
// releases the objects it is handed).
template <bool Interface, int Position>
void KVR_HOST_OBJECT_CALL Unserved(ServiceObject*) {
  char what[96];
  std::snprintf(what, sizeof what, "operation %d of the %s", Position,
                Interface ? "ITrafficInfo interface" : "named object \"ITrafficInfo\"");
  Trap(what);
}

template <bool Interface, int... Positions>
void FillWithTraps(void** operations, std::integer_sequence<int, Positions...>) {
  ((operations[Positions] = reinterpret_cast<void*>(&Unserved<Interface, Positions>)), ...);
}

}  // namespace

TrafficInfoService::TrafficInfoService() {
  FillWithTraps<false>(providerOperations_, std::make_integer_sequence<int, kTrafficInfoOperationCount>());
  FillWithTraps<true>(interfaceOperations_, std::make_integer_sequence<int, kTrafficInfoOperationCount>());
  providerOperations_[kServiceQueryInterface] = reinterpret_cast<void*>(&QueryInterface);
  interfaceOperations_[kTrafficGetVariableHandle] = reinterpret_cast<void*>(&GetVariableHandle);
  interfaceOperations_[kTrafficGetUnitHandle] = reinterpret_cast<void*>(&GetUnitHandle);
  interfaceOperations_[kTrafficGetTrafficInRange] = reinterpret_cast<void*>(&GetTrafficInRange);
  interfaceOperations_[kTrafficGetTrafficValue] = reinterpret_cast<void*>(&GetTrafficValue);
  provider_ = {{providerOperations_}, this};
  interface_ = {{interfaceOperations_}, this};
}

void TrafficInfoService::Register(PanelServices& services) {
  services.RegisterService(kTrafficInfoServiceName, Provider());
}

void TrafficInfoService::BuildIndex() {
  size_t size = 16;
  while (size < 2 * targets_.size()) size *= 2;  // at most half full: probes stay short
  index_.assign(size, IndexSlot{0, 0});
  indexMask_ = size - 1;
  for (size_t i = 0; i < targets_.size(); ++i) {
    const uint32_t id = targets_[i].id;
    if (id == 0) continue;  // never asked for
    size_t at = Home(id, indexMask_);
    while (index_[at].id != 0 && index_[at].id != id) at = (at + 1) & indexMask_;
    if (index_[at].id == 0) index_[at] = {id, static_cast<uint32_t>(i)};
  }
  indexCurrent_ = true;
  lastFound_ = nullptr;
}

const TrafficTarget* TrafficInfoService::Find(uint32_t id) {
  if (id == 0) return nullptr;
  if (!indexCurrent_) BuildIndex();
  if (lastFound_ != nullptr && lastFound_->id == id) return lastFound_;
  for (size_t at = Home(id, indexMask_);; at = (at + 1) & indexMask_) {
    const IndexSlot slot = index_[at];
    if (slot.id == id) return lastFound_ = &targets_[slot.target];
    if (slot.id == 0) return nullptr;
  }
}

ServiceObject* KVR_HOST_OBJECT_CALL TrafficInfoService::QueryInterface(ServiceObject* self, const char* name) {
  if (self == nullptr || name == nullptr || !SameText(name, kTrafficInfoServiceName)) return nullptr;
  return Owner(self).Interface();
}

int32_t KVR_HOST_OBJECT_CALL TrafficInfoService::GetVariableHandle(ServiceObject*, const char* name) {
  return Lookup(kVariables, name);
}

int32_t KVR_HOST_OBJECT_CALL TrafficInfoService::GetUnitHandle(ServiceObject*, const char* name) {
  return Lookup(kUnits, name);
}

int32_t KVR_HOST_OBJECT_CALL TrafficInfoService::GetTrafficInRange(ServiceObject* self, double radiusM,
                                                                   int32_t maxCount, int32_t* identifiers) {
  if (self == nullptr) return 0;
  TrafficInfoService& service = Owner(self);
  ++service.rangeQueries_;
  if (identifiers == nullptr || maxCount <= 0 || !(radiusM >= 0)) return 0;

  // Within the radius; when more than maxCount are, the nearest ones. Reported in list order, so that a
  // target keeps its position in the answer from frame to frame.
  // Most targets need no trigonometry: the distance's east-west leg only shrinks by the cosine of the
  // latitude, so a target within the radius even without that factor (by a margin far above rounding) is
  // in range. The others, and all of them when the nearest must be picked, get the exact distance.
  const GeoPosition own = service.own_;
  const double surelyWithinM = radiusM * (1 - 1e-9);
  auto& inRange = service.inRange_;
  inRange.clear();
  for (size_t i = 0; i < service.targets_.size(); ++i) {
    const GeoPosition at = service.targets_[i].position;
    const double northM = (at.latitudeDeg - own.latitudeDeg) * kMetresPerDegreeLatitude;
    const double eastAtMostM = (at.longitudeDeg - own.longitudeDeg) * kMetresPerDegreeLatitude;
    if (northM * northM + eastAtMostM * eastAtMostM <= surelyWithinM * surelyWithinM) {
      inRange.emplace_back(0.0, i);  // distance taken below if it is needed
      continue;
    }
    const double distanceM = HorizontalDistanceM(own, at);
    if (distanceM <= radiusM) inRange.emplace_back(distanceM, i);
  }
  if (inRange.size() > static_cast<size_t>(maxCount)) {
    for (auto& [distanceM, i] : inRange) distanceM = HorizontalDistanceM(own, service.targets_[i].position);
    std::stable_sort(inRange.begin(), inRange.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    inRange.resize(static_cast<size_t>(maxCount));
    std::sort(inRange.begin(), inRange.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  }
  for (size_t k = 0; k < inRange.size(); ++k)
    identifiers[k] = static_cast<int32_t>(service.targets_[inRange[k].second].id);
  return static_cast<int32_t>(inRange.size());
}

int32_t KVR_HOST_OBJECT_CALL TrafficInfoService::GetTrafficValue(ServiceObject* self, int32_t identifier,
                                                                 int32_t variable, int32_t unit, double* value,
                                                                 int32_t index) {
  if (self == nullptr || value == nullptr || index != 0 || identifier == 0) return 0;
  const TrafficTarget* found = Owner(self).Find(static_cast<uint32_t>(identifier));
  if (found == nullptr) return 0;
  const TrafficTarget& t = *found;

  std::optional<double> result;
  switch (variable) {
    case kIsUserSim:
      if (unit == kBool) result = 0.0;
      break;
    case kLatitude: result = Angle(t.position.latitudeDeg, unit); break;
    case kLongitude: result = Angle(t.position.longitudeDeg, unit); break;
    case kHeading: result = Angle(t.headingDeg, unit); break;
    case kAltitude:
      if (!t.altitudeReadable) break;
      if (unit == kFeet) result = t.altitudeFt;
      if (unit == kMetres) result = t.altitudeFt * kMetresPerFoot;
      break;
    default: break;
  }
  if (!result) return 0;
  *value = *result;
  return 1;
}

}  // namespace kvr::host

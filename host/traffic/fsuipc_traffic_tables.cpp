#include "host/traffic/fsuipc_traffic_tables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kvr::host {
namespace {

using L = FsuipcTrafficLayout;

template <typename T>
void Store(uint8_t* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

// A rounded value clamped into the field's range, so that a wild speed never wraps around.
template <typename T>
T Saturate(double value) {
  const double lo = static_cast<double>(std::numeric_limits<T>::min());
  const double hi = static_cast<double>(std::numeric_limits<T>::max());
  if (!(value == value)) return 0;  // NaN
  return static_cast<T>(std::clamp(std::round(value), lo, hi));
}

}  // namespace

FsuipcTableWrite WriteFsuipcTrafficTables(FsuipcServer& server, std::span<const TrafficTarget> targets) {
  FsuipcTableWrite result;
  result.slotsInUse = static_cast<uint32_t>(std::min<size_t>(targets.size(), L::kSlotCapacity));
  result.leftOut = static_cast<uint32_t>(targets.size() - result.slotsInUse);

  uint8_t* space = server.Bytes();
  std::memset(space + L::kHeaderOffset, 0, FsuipcServer::kSpaceBytes - L::kHeaderOffset);
  Store<uint16_t>(space + L::kHeaderOffset + 0, L::kSlotBytes);
  Store<uint16_t>(space + L::kHeaderOffset + 2, L::kSlotCapacity);
  Store<uint16_t>(space + L::kHeaderOffset + 4, static_cast<uint16_t>(result.slotsInUse));

  for (uint32_t i = 0; i < result.slotsInUse; ++i) {
    const TrafficTarget& t = targets[i];
    uint8_t* slot = space + L::kSlotsOffset + i * L::kSlotBytes;
    Store<uint32_t>(slot + 0, t.id);
    Store<float>(slot + 4, static_cast<float>(t.position.latitudeDeg));
    Store<float>(slot + 8, static_cast<float>(t.position.longitudeDeg));
    Store<float>(slot + 12, static_cast<float>(t.altitudeFt));
    Store<uint16_t>(slot + 16, static_cast<uint16_t>(Saturate<uint16_t>(NormaliseHeadingDeg(t.headingDeg)) % 360));
    Store<uint16_t>(slot + 18, Saturate<uint16_t>(t.groundSpeedKt));
    Store<int16_t>(slot + 20, Saturate<int16_t>(t.verticalSpeedFpm));
    const size_t chars = std::min<size_t>(t.callsign.size(), L::kCallsignChars);
    std::memcpy(slot + L::kCallsignOffset, t.callsign.data(), chars);
  }
  return result;
}

}  // namespace kvr::host

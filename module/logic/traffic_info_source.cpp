// The traffic-service feed: the simulator's ITrafficInfo lists the traffic within 40 nautical miles and
// gives each aircraft's position; the pause state still comes from FSUIPC.
#include "module/gauge/gauge.h"
#include "module/logic/traffic_frame.h"

namespace kvr {

namespace {
constexpr char kMissingName[] = "TrafficInfo";
}

TrafficInfoSource::TrafficInfoSource() {
  if (ServiceObject* provider = QueryService(kTrafficInfoServiceName))
    trafficInfo_ =
        ServiceOperation<ServiceQueryInterface>(provider, kServiceQueryInterface)(provider, kTrafficInfoServiceName);
  if (trafficInfo_ != nullptr) {
    auto variable = ServiceOperation<TrafficGetHandle>(trafficInfo_, kTrafficGetVariableHandle);
    auto unit = ServiceOperation<TrafficGetHandle>(trafficInfo_, kTrafficGetUnitHandle);
    isUserSim_ = variable(trafficInfo_, "IS USER SIM");
    latitude_ = variable(trafficInfo_, "PLANE LATITUDE");
    longitude_ = variable(trafficInfo_, "PLANE LONGITUDE");
    altitude_ = variable(trafficInfo_, "PLANE ALTITUDE");
    feet_ = unit(trafficInfo_, "FEET");
    bool_ = unit(trafficInfo_, "BOOL");
    degrees_ = unit(trafficInfo_, "DEGREES");
  }
  AllocateTables(kMaxTraffic);
}

TrafficInfoSource::~TrafficInfoSource() = default;

bool TrafficInfoSource::IsPaused() { return ReadFsuipcPause(); }

bool TrafficInfoSource::CheckAvailable(const char** missingName) {
  if (trafficInfo_ != nullptr) return true;
  if (missingName != nullptr) *missingName = kMissingName;
  return false;
}

bool TrafficInfoSource::IsAvailable() { return trafficInfo_ != nullptr; }

bool TrafficInfoSource::Update(float latitudeDeg, float longitudeDeg, float trueAltitudeFt, float pressureAltitudeFt,
                               float radioAltitudeFt, float headingDeg, OperatingMode mode) {
  if (trafficInfo_ == nullptr || TablePositions() == 0) return false;
  int32_t identifiers[kMaxTraffic] = {};
  const int32_t listed = ServiceOperation<TrafficGetTrafficInRange>(trafficInfo_, kTrafficGetTrafficInRange)(
      trafficInfo_, kSearchRadiusM, kMaxTraffic, identifiers);
  // A service that claims more than it was asked for gives its first hundred; a negative count, none.
  intruderCount = listed < 0 ? 0 : listed > kMaxTraffic ? kMaxTraffic : listed;

  // All the listed aircraft are read first, then fed to the library in one run: the service's code and
  // the library's then take turns once a frame, not once an aircraft.
  Candidate candidates[kMaxTraffic];
  auto readValues = [&] {
    auto value = ServiceOperation<TrafficGetTrafficValue>(trafficInfo_, kTrafficGetTrafficValue);
    for (int32_t i = 0; i < intruderCount; ++i) {
      const int32_t id = identifiers[i];
      double latitude = 0, longitude = 0, altitude = 0;
      if (value(trafficInfo_, id, latitude_, degrees_, &latitude, 0) == 0 ||
          value(trafficInfo_, id, longitude_, degrees_, &longitude, 0) == 0 ||
          value(trafficInfo_, id, altitude_, feet_, &altitude, 0) == 0)
        continue;  // stays absent
      Candidate& c = candidates[i];
      c.id = static_cast<uint32_t>(id);
      c.present = c.id != 0;
      c.latitudeDeg = static_cast<float>(latitude);
      c.longitudeDeg = static_cast<float>(longitude);
      c.altitudeFt = altitude;
    }
  };
  return RunFrame(latitudeDeg, longitudeDeg, trueAltitudeFt, pressureAltitudeFt, radioAltitudeFt, headingDeg, mode,
                  false, readValues, [&](int32_t i) { return candidates[i]; });
}

}  // namespace kvr

// The simulator's traffic service as a module reaches it: QueryService("ITrafficInfo") answers a provider
// object whose operation 2, given "ITrafficInfo", answers the ITrafficInfo object. Its operations at the
// positions of module/gauge/panel_sdk.h:
//
//   8  GetVariableHandle(name)  "IS USER SIM", "PLANE LATITUDE", "PLANE LONGITUDE", "PLANE ALTITUDE"
//   9  GetUnitHandle(name)      "FEET", "METERS", "DEGREES", "RADIANS", "BOOL"
//   10 GetTrafficInRange(radius m, max count, int32 ids[])  -> identifiers written
//   12 GetTrafficValue(id, variable, unit, double* value, index 0)  -> 1, or 0 when it cannot be given
//
// Names are matched without regard to case; an unknown name gets handle 0, which no value accepts.
// Variable and unit handles come from separate ranges, so a swapped pair is refused. Every other position
// of both tables is a trap (see Trap in host/panel_services.h). The operations use the host-object
// convention (KVR_HOST_OBJECT_CALL). The service does not list the user's own aircraft.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "host/panel_services.h"
#include "host/traffic/traffic_target.h"
#include "module/gauge/panel_sdk.h"

namespace kvr::host {

class TrafficInfoService {
 public:
  TrafficInfoService();
  ~TrafficInfoService() = default;
  TrafficInfoService(const TrafficInfoService&) = delete;
  TrafficInfoService& operator=(const TrafficInfoService&) = delete;

  // Offers the provider under "ITrafficInfo". The service must outlive the module's use of it.
  void Register(PanelServices& services);

  // The traffic of this frame and the point ranges are measured from (the user's aircraft).
  void SetTraffic(std::vector<TrafficTarget> targets) {
    targets_ = std::move(targets);
    indexCurrent_ = false;
  }
  void SetOwnPosition(GeoPosition own) { own_ = own; }

  ServiceObject* Provider() { return &provider_.object; }
  ServiceObject* Interface() { return &interface_.object; }

  // How often GetTrafficInRange was asked.
  int RangeQueries() const { return rangeQueries_; }

 private:
  // A service object followed by its owner: the operations find the service from the object they get.
  struct Object {
    ServiceObject object;
    TrafficInfoService* owner;
  };
  static TrafficInfoService& Owner(ServiceObject* self) { return *reinterpret_cast<Object*>(self)->owner; }

  static ServiceObject* KVR_HOST_OBJECT_CALL QueryInterface(ServiceObject* self, const char* name);
  static int32_t KVR_HOST_OBJECT_CALL GetVariableHandle(ServiceObject* self, const char* name);
  static int32_t KVR_HOST_OBJECT_CALL GetUnitHandle(ServiceObject* self, const char* name);
  static int32_t KVR_HOST_OBJECT_CALL GetTrafficInRange(ServiceObject* self, double radiusM, int32_t maxCount,
                                                        int32_t* identifiers);
  static int32_t KVR_HOST_OBJECT_CALL GetTrafficValue(ServiceObject* self, int32_t identifier, int32_t variable,
                                                      int32_t unit, double* value, int32_t index);

  // The target listed under an identifier (the first, should two share one), or nullptr.
  const TrafficTarget* Find(uint32_t id);
  void BuildIndex();

  // One slot of the identifier index: an open-addressed table (identifier 0 marks a free slot) rebuilt
  // at the first lookup after the traffic changed, so a value costs a probe, not a search. The target
  // found last is kept too: a reader asks for several values of one aircraft in a row.
  struct IndexSlot {
    uint32_t id;
    uint32_t target;
  };

  void* providerOperations_[kTrafficInfoOperationCount];
  void* interfaceOperations_[kTrafficInfoOperationCount];
  Object provider_;
  Object interface_;
  std::vector<TrafficTarget> targets_;
  std::vector<IndexSlot> index_;
  size_t indexMask_ = 0;  // index_.size() - 1, a power of two less one
  bool indexCurrent_ = false;
  const TrafficTarget* lastFound_ = nullptr;
  std::vector<std::pair<double, size_t>> inRange_;  // the range query's working list, kept for its capacity
  GeoPosition own_;
  int rangeQueries_ = 0;
};

}  // namespace kvr::host

// The Logic gauge's connection and disconnection: the traffic-picture cell it publishes. Its traffic
// source, frame step and announcer hook in at installation and update.
#include "module/logic/logic.h"

#include "module/gauge/gauge.h"

namespace kvr {

constinit TrafficSource* logicCell = nullptr;

void LogicConnect(GaugeHeader*) { PublishVariable(&logicCell, kTypeObject, kLogicVariableName); }

void LogicInstall(GaugeHeader*, uintptr_t) {}

void LogicUpdate(GaugeHeader*) {}

void LogicDisconnect(GaugeHeader*) {
  if (logicCell != nullptr) {
    logicCell = nullptr;
    WithdrawVariable(kLogicVariableName);
  }
}

}  // namespace kvr

#include "host/avionics/transponder_avionics.h"

namespace kvr::host {

TransponderAvionics::TransponderAvionics(PanelServices& services, FsuipcServer& fsuipc)
    : services_(services), transponder_(services), replies_(fsuipc) {}

TransponderAvionics::TransponderAvionics(PanelSession& session)
    : TransponderAvionics(session.Services(), session.Fsuipc()) {}

bool TransponderAvionics::SetFlag(const char* name, bool on) {
  const PublishedVariable* variable = services_.Find(name);
  if (variable == nullptr || variable->address == nullptr || variable->typeCode != kTypeFlag32) return false;
  *static_cast<int32_t*>(variable->address) = on ? 1 : 0;
  return true;
}

}  // namespace kvr::host

// The FSUIPC link as the host sees it from the server's side. The module gives its link up at the first
// block that is not answered, so the link counts as lost when the server cannot be reached or refused a
// block, and as back only once blocks are served again; each change goes into the event log.
#pragma once

#include <cstdint>

#include "host/fsuipc/fsuipc_server.h"
#include "host/scenario/event_log.h"

namespace kvr::host {

class LinkWatch {
 public:
  // After the frame at `timeS`.
  void Check(double timeS, const FsuipcServer& server, EventLog& log);

 private:
  bool linkUp_ = true;
  bool serverReachable_ = true;
  uint64_t blocksRefused_ = 0;
  uint64_t blocksServedAtLoss_ = 0;
};

}  // namespace kvr::host

#include "host/scenario/link_watch.h"

#include <string>

namespace kvr::host {

void LinkWatch::Check(double timeS, const FsuipcServer& server, EventLog& log) {
  const bool reachable = server.Reachable();
  const bool refused = server.BlocksRefused() > blocksRefused_;
  blocksRefused_ = server.BlocksRefused();
  if (linkUp_ && (!reachable || refused)) {
    linkUp_ = false;
    blocksServedAtLoss_ = server.BlocksServed();
    const std::string cause = !reachable ? "the server went away" : "the server refused a block";
    log.OnLinkLost(timeS, cause);
  }
  if (!linkUp_ && reachable && !serverReachable_) log.OnServerBack(timeS);
  if (!linkUp_ && reachable && server.BlocksServed() > blocksServedAtLoss_) {
    linkUp_ = true;
    log.OnLinkBack(timeS);
  }
  serverReachable_ = reachable;
}

}  // namespace kvr::host

// A pilot who flies the resolution advisories the panel shows, with the standard response: the first
// advisory is flown after 5 s at 0.25 g; a stronger one (increase) or a reversal after 2.5 s at 0.35 g; a
// weaker one after 2.5 s at 0.25 g. The vertical speed flown is the planned one brought inside the
// advisory's limits, so a preventive advisory that the plan already meets changes nothing. When the
// advisory ends the pilot returns to the planned vertical speed, after the subsequent delay at the initial
// acceleration, and hands back to the plan once it is reached.
#pragma once

#include <optional>

#include "host/scenario/flight_model.h"
#include "host/scenario/scenario.h"
#include "host/traffic/traffic_picture.h"

namespace kvr::host {

enum class PilotReaction { None, Initial, Increase, Reversal, Weakening, ClearOfConflict };

class Pilot {
 public:
  explicit Pilot(const PilotSpec& spec = {}) : spec_(spec) {}

  // What the panel shows at `timeS`. A change starts a response that the pilot flies after its delay; a
  // change before an earlier response began waits for that response's start at the least.
  void Observe(double timeS, const AdvisoryReading& shown);

  // The vertical command at `timeS` for an aircraft now at `currentFpm` whose plan asks for `planned`;
  // nothing while the plan flies the aircraft.
  std::optional<VerticalCommand> Command(double timeS, const VerticalCommand& planned, double currentFpm);

  // How the last observed change was classified, for logs and tests.
  PilotReaction LastReaction() const { return lastReaction_; }
  // The start of the response not yet begun, if any.
  std::optional<double> PendingStartS() const {
    return pending_ ? std::optional<double>(pending_->startS) : std::nullopt;
  }

  static PilotReaction Classify(const AdvisoryReading& before, const AdvisoryReading& after);

 private:
  struct Response {
    double startS;
    AdvisoryReading limits;
    double accelerationG;
  };

  PilotSpec spec_;
  AdvisoryReading shown_;
  std::optional<Response> pending_;
  std::optional<Response> flying_;  // the response in force; limits inactive = returning to the plan
  PilotReaction lastReaction_ = PilotReaction::None;
};

}  // namespace kvr::host

// What the scenario does to the panel at its times: the selector switches set on their published
// variables, the transponder head's power and lighting, and the clicks on the gauges. Each is applied once,
// at the first frame at or after its time; one that cannot take effect is reported and skipped.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "host/avionics/transponder_avionics.h"
#include "host/panel.h"
#include "host/panel_services.h"
#include "host/scenario/scenario.h"

namespace kvr::host {

class ScheduledInputs {
 public:
  // Finds the gauge of every click on `panel`; `scenario` must outlive this. Throws ScenarioError with the
  // click's line when a click names a gauge or mouse area the panel lacks.
  ScheduledInputs(const Scenario& scenario, Panel& panel);

  // Applies everything due by `timeS`: switches, then transponder switches, then clicks; what could not
  // take effect goes to `warn`.
  void ApplyDue(double timeS, PanelServices& services, TransponderAvionics& avionics, Panel& panel,
                const std::function<void(const std::string&)>& warn);

 private:
  struct ClickTarget {
    GaugeInstance* instance;
    int x, y;  // design pixels of the gauge
  };
  static ClickTarget FindClickTarget(const Scenario& scenario, const ClickSpec& click, Panel& panel);
  void ApplySwitches(double timeS, PanelServices& services, const std::function<void(const std::string&)>& warn);
  void ApplyTransponderSwitches(double timeS, TransponderAvionics& avionics,
                                const std::function<void(const std::string&)>& warn);
  void ApplyClicks(double timeS, Panel& panel, const std::function<void(const std::string&)>& warn);

  const Scenario& scenario_;
  std::vector<ClickTarget> clickTargets_;  // one per scenario click, in the same order
  size_t nextSwitch_ = 0;
  size_t nextClick_ = 0;
  size_t nextTransponderSwitch_ = 0;
};

}  // namespace kvr::host

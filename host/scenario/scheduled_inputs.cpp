#include "host/scenario/scheduled_inputs.h"

#include <sstream>

namespace kvr::host {
namespace {

std::string Where(const Scenario& scenario, int line) {
  return scenario.file.string() + ":" + std::to_string(line) + ": ";
}

}  // namespace

ScheduledInputs::ScheduledInputs(const Scenario& scenario, Panel& panel) : scenario_(scenario) {
  for (const ClickSpec& click : scenario.clicks) clickTargets_.push_back(FindClickTarget(scenario, click, panel));
}

// The placed gauge a click names and the point it lands on; the scenario is wrong when either is missing.
ScheduledInputs::ClickTarget ScheduledInputs::FindClickTarget(const Scenario& scenario, const ClickSpec& click,
                                                              Panel& panel) {
  GaugeInstance* instance = nullptr;
  int placed = 0;
  for (const auto& candidate : panel.Instances())
    if (candidate->placement.gauge == click.gauge && placed++ == click.index) instance = candidate.get();
  if (instance == nullptr)
    throw ScenarioError(Where(scenario, click.line) + "the panel " + scenario.panelFile.filename().string() +
                        " places " + std::to_string(placed) + " \"" + click.gauge + "\" gauge" +
                        (placed == 1 ? "" : "s") + ", so there is none with index " + std::to_string(click.index));
  if (!click.area) return {instance, click.x, click.y};

  // The areas in list order, as the panel looks them up.
  int found = 0;
  for (const MouseArea& a : MouseAreaRecords(instance->header)) {
    if (a.kind != kMouseArea) continue;
    if (found++ == *click.area) return {instance, a.x + a.width / 2, a.y + a.height / 2};
  }
  throw ScenarioError(Where(scenario, click.line) + "gauge \"" + click.gauge + "\" has " + std::to_string(found) +
                      " mouse areas, so there is no area " + std::to_string(*click.area));
}

void ScheduledInputs::ApplyDue(double timeS, PanelServices& services, TransponderAvionics& avionics, Panel& panel,
                               const std::function<void(const std::string&)>& warn) {
  ApplySwitches(timeS, services, warn);
  ApplyTransponderSwitches(timeS, avionics, warn);
  ApplyClicks(timeS, panel, warn);
}

void ScheduledInputs::ApplySwitches(double timeS, PanelServices& services,
                                    const std::function<void(const std::string&)>& warn) {
  while (nextSwitch_ < scenario_.switches.size() && scenario_.switches[nextSwitch_].timeS <= timeS + 1e-9) {
    const SwitchSpec& sw = scenario_.switches[nextSwitch_++];
    const PublishedVariable* v = services.Find(sw.variable);
    if (v == nullptr || v->address == nullptr || (v->typeCode != kTypeInt32 && v->typeCode != kTypeFlag32)) {
      std::ostringstream s;
      s << scenario_.file.string() << ":" << sw.line << ": at " << sw.timeS << " s " << sw.variable
        << " is not published as a 32-bit variable; the switch is left as it was";
      warn(s.str());
      continue;
    }
    *static_cast<int32_t*>(v->address) = sw.value;
  }
}

// The head publishes power and lit at connection; a switch due before then, or on a panel without a
// Transponder, is reported and skipped.
void ScheduledInputs::ApplyTransponderSwitches(double timeS, TransponderAvionics& avionics,
                                               const std::function<void(const std::string&)>& warn) {
  while (nextTransponderSwitch_ < scenario_.transponderSwitches.size() &&
         scenario_.transponderSwitches[nextTransponderSwitch_].timeS <= timeS + 1e-9) {
    const TransponderSwitchSpec& sw = scenario_.transponderSwitches[nextTransponderSwitch_++];
    const auto set = [&](const std::optional<bool>& value, bool stored, const char* name) {
      if (!value || stored) return;
      std::ostringstream s;
      s << Where(scenario_, sw.line) << "at " << sw.timeS << " s " << name
        << " is not published as a 32-bit flag; the switch is left as it was";
      warn(s.str());
    };
    set(sw.power, sw.power && avionics.SetPower(*sw.power), TransponderAvionics::kPowerName);
    set(sw.lit, sw.lit && avionics.SetLit(*sw.lit), TransponderAvionics::kLitName);
  }
}

void ScheduledInputs::ApplyClicks(double timeS, Panel& panel, const std::function<void(const std::string&)>& warn) {
  while (nextClick_ < scenario_.clicks.size() && scenario_.clicks[nextClick_].timeS <= timeS + 1e-9) {
    const ClickSpec& click = scenario_.clicks[nextClick_];
    const ClickTarget& target = clickTargets_[nextClick_++];
    const uint32_t flags = click.rightButton ? kMouseRightSingle : kMouseLeftSingle;
    if (!panel.Click(*target.instance, target.x, target.y, flags)) {
      std::ostringstream s;
      s << Where(scenario_, click.line) << "at " << click.timeS << " s the " << (click.rightButton ? "right" : "left")
        << " click at (" << target.x << ", " << target.y << ") on " << click.gauge
        << " found no mouse area that takes it";
      warn(s.str());
    }
  }
}

}  // namespace kvr::host

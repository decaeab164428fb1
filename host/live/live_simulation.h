// What a live window shows: a scenario flown frame by frame, or a bare panel at the simulator's 18 Hz with
// the simulator's transponder behind it (code 1200, digit events). Either can be started over, which loads
// the module and places the panel anew.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/avionics/transponder_avionics.h"
#include "host/live/panel_layout.h"
#include "host/panel_session.h"
#include "host/render/panel_renderer.h"
#include "host/scenario/scenario.h"
#include "host/scenario/scenario_runner.h"

namespace kvr::host {

class LiveSimulation {
 public:
  static constexpr double kBarePanelRateHz = 18.0;
  static constexpr uint16_t kBarePanelCodeBcd = 0x1200;

  // A file ending in ".toml" is a scenario, anything else a panel configuration. Throws what loading the
  // scenario, the module or the panel throws.
  LiveSimulation(std::filesystem::path file, std::filesystem::path gaugesDir);
  ~LiveSimulation();
  LiveSimulation(const LiveSimulation&) = delete;
  LiveSimulation& operator=(const LiveSimulation&) = delete;

  // Drops the session and starts from time 0 again.
  void Restart();

  // Runs one frame; false (and nothing run) once a scenario's duration is flown. A bare panel never ends.
  bool Step();
  bool Ended() const { return ended_; }

  double FrameRateHz() const { return scenario_ ? scenario_->frameRateHz : kBarePanelRateHz; }
  double TimeS() const;
  std::string Name() const;
  bool IsScenario() const { return scenario_.has_value(); }

  PanelSession& Session();
  Panel& GetPanel() { return Session().GetPanel(); }
  PanelRenderer& Renderer() { return *renderer_; }
  const PanelLayout& Layout() const { return *layout_; }

  // A click in design pixels of `hit`'s gauge; whether a mouse area took it.
  bool Click(const GaugeHit& hit, bool rightButton);

  const std::vector<std::string>& Warnings() const { return warnings_; }

 private:
  void Open();
  void Close();

  std::filesystem::path file_;
  std::filesystem::path gaugesDir_;
  std::optional<Scenario> scenario_;
  std::unique_ptr<ScenarioRun> run_;
  std::unique_ptr<PanelSession> session_;          // a bare panel's
  std::unique_ptr<TransponderAvionics> avionics_;  // a bare panel's; destroyed before its session
  std::unique_ptr<PanelRenderer> renderer_;
  std::unique_ptr<PanelLayout> layout_;
  bool ended_ = false;
  std::vector<std::string> warnings_;
};

}  // namespace kvr::host

#include "host/live/live_simulation.h"

namespace kvr::host {

LiveSimulation::LiveSimulation(std::filesystem::path file, std::filesystem::path gaugesDir)
    : file_(std::move(file)), gaugesDir_(std::move(gaugesDir)) {
  if (file_.extension() == ".toml") scenario_ = LoadScenario(file_);
  Open();
}

LiveSimulation::~LiveSimulation() { Close(); }

void LiveSimulation::Open() {
  if (scenario_) {
    RunOptions options;
    options.gaugesDir = gaugesDir_;
    run_ = std::make_unique<ScenarioRun>(*scenario_, options);
    run_->Start();
  } else {
    SessionOptions options;
    options.panelFile = file_;
    options.gaugesDir = gaugesDir_;
    session_ = std::make_unique<PanelSession>(options);
    avionics_ = std::make_unique<TransponderAvionics>(*session_);
    avionics_->SetCode(kBarePanelCodeBcd);
    session_->GetPanel().Start();
  }
  PanelSession& session = Session();
  warnings_ = session.Warnings();
  renderer_ = std::make_unique<PanelRenderer>(session.Module(), session.Config(), session.GetPanel());
  // The renderer draws the first window of the configuration.
  layout_ = std::make_unique<PanelLayout>(session.GetPanel(), *renderer_, session.Config().windows.front().name);
  ended_ = false;
}

// In the order the parts depend on each other: the pictures, the avionics, then the sessions (only one
// panel session may exist at a time: the FSUIPC server window is process-wide).
void LiveSimulation::Close() {
  layout_.reset();
  renderer_.reset();
  avionics_.reset();
  session_.reset();
  run_.reset();
}

void LiveSimulation::Restart() {
  Close();
  Open();
}

PanelSession& LiveSimulation::Session() { return run_ ? run_->Session() : *session_; }

bool LiveSimulation::Step() {
  if (ended_) return false;
  if (run_) {
    // ScenarioRun::Step answers whether more frames follow; a frame has run either way unless it had ended.
    if (run_->Frame() >= scenario_->FrameCount()) {
      ended_ = true;
      return false;
    }
    run_->Step();
    if (run_->Frame() >= scenario_->FrameCount()) ended_ = true;
    return true;
  }
  avionics_->Advance(1.0 / kBarePanelRateHz);
  session_->GetPanel().Frame(kBarePanelRateHz);
  return true;
}

double LiveSimulation::TimeS() const {
  if (run_) return run_->TimeS();
  return session_->GetPanel().TimeS();
}

std::string LiveSimulation::Name() const { return scenario_ ? scenario_->name : file_.filename().string(); }

bool LiveSimulation::Click(const GaugeHit& hit, bool rightButton) {
  if (hit.instance == nullptr) return false;
  return GetPanel().Click(*hit.instance, hit.x, hit.y, rightButton ? kMouseRightSingle : kMouseLeftSingle);
}

}  // namespace kvr::host

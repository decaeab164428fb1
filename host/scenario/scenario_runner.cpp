#include "host/scenario/scenario_runner.h"

#include <chrono>
#include <fstream>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <thread>

#include "host/traffic/fsuipc_traffic_tables.h"

namespace kvr::host {
namespace {

constexpr uint16_t kDefaultTransponderBcd = 0x1200;

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

RecorderOptions RecorderOptionsOf(const RunOptions& options) {
  RecorderOptions r;
  r.outDir = options.outDir;
  r.pictures = options.pictures;
  r.tracksEveryFrame = options.tracksEveryFrame;
  r.keepEveryFrame = options.keepEveryFrame;
  r.pictureScale = options.pictureScale;
  return r;
}

}  // namespace

std::string ScenarioRun::WithTrafficFeed(const std::string& parameters, TrafficFeed feed) {
  // Take out every word that holds "trafficinfo" (the gauge finds the option anywhere in the string).
  std::string rest = parameters;
  for (size_t at; (at = rest.find("trafficinfo")) != std::string::npos;) {
    size_t begin = at, end = at;
    while (begin > 0 && !IsSeparator(rest[begin - 1])) --begin;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    while (end < rest.size() && IsSeparator(rest[end])) ++end;
    rest.erase(begin, end - begin);
  }
  while (!rest.empty() && IsSeparator(rest.back())) rest.pop_back();
  if (feed == TrafficFeed::Fsuipc) return rest;
  return rest.empty() ? "trafficinfo=y" : "trafficinfo=y " + rest;
}

ScenarioRun::ScenarioRun(const Scenario& scenario, RunOptions options)
    : scenario_(scenario),
      options_(std::move(options)),
      flight_(scenario),
      record_(scenario, RecorderOptionsOf(options_)) {
  SessionOptions sessionOptions;
  sessionOptions.panelFile = scenario.panelFile;
  sessionOptions.gaugesDir = options_.gaugesDir;
  session_ = std::make_unique<PanelSession>(sessionOptions);
  for (const std::string& warning : session_->Warnings()) Warn(warning);
  trafficService_.Register(session_->Services());
  avionics_ = std::make_unique<TransponderAvionics>(*session_);
  avionics_->SetInterrogationRate(scenario.interrogationsPerS);
  if (scenario.pilot) pilot_.emplace(*scenario.pilot);
  surveillance_.emplace(scenario.surveillance, scenario.name);
  for (const IntruderSpec& intruder : scenario.intruders)
    equipped_.push_back(intruder.equipped ? std::make_unique<EquippedIntruder>(
                                                scenario.pilot.value_or(PilotSpec{}), scenario.own.terrainElevationFt,
                                                scenario.own.trueAltitudeFt - scenario.own.pressureAltitudeFt)
                                          : nullptr);

  int logicGauges = 0, ivsiGauges = 0;
  for (const auto& instance : session_->GetPanel().Instances()) {
    if (instance->placement.gauge == "Logic") {
      // The gauge reads its options at installation, which has not happened yet.
      instance->parameters = WithTrafficFeed(instance->parameters, scenario.feed);
      instance->header.parameters = instance->parameters.c_str();
      ++logicGauges;
    }
    if (instance->placement.gauge.rfind("IVSI", 0) == 0) ++ivsiGauges;
  }
  if (logicGauges == 0)
    throw std::runtime_error(scenario.panelFile.string() + ": the panel places no Logic gauge, so nothing would run");
  if (ivsiGauges == 0 && !scenario.switches.empty())
    Warn("the panel places no IVSI gauge, so the selector variables the switches set may not be published");
  inputs_.emplace(scenario, session_->GetPanel());
}

ScenarioRun::~ScenarioRun() {
  // The avionics hand the services' event hook and the server's write hook back while both still exist.
  avionics_.reset();
}

void ScenarioRun::Warn(const std::string& text) { warnings_.push_back(text); }

void ScenarioRun::Start() {
  if (started_) return;
  PanelServices& services = session_->Services();
  // The aircraft and the traffic are in place before the gauges first look.
  WriteSimVariables(services, flight_.OwnSim());
  avionics_->SetCode(scenario_.transponderCodeBcd.value_or(kDefaultTransponderBcd));
  std::vector<TrafficTarget> traffic = flight_.Traffic();
  WriteFsuipcTrafficTables(session_->Fsuipc(), traffic);
  trafficService_.SetOwnPosition(flight_.OwnSim().position);
  trafficService_.SetTraffic(std::move(traffic));

  session_->GetPanel().Start();
  inputs_->ApplyDue(0.0, services, *avionics_, session_->GetPanel(), [this](const std::string& w) { Warn(w); });
  record_.Open(flight_.Frame(), *session_);
  wallStart_ = std::chrono::steady_clock::now();
  started_ = true;
}

bool ScenarioRun::Step() {
  Start();
  const int frameCount = scenario_.FrameCount();
  if (frame_ >= frameCount) return false;
  ++frame_;
  const double timeS = scenario_.FrameTimeS(frame_);
  const double frameS = scenario_.FrameS();
  PanelServices& services = session_->Services();

  inputs_->ApplyDue(timeS, services, *avionics_, session_->GetPanel(), [this](const std::string& w) { Warn(w); });
  session_->SetPaused(scenario_.Paused(timeS));
  // The world stands still while paused, interrogators included.
  if (!scenario_.Paused(timeS)) avionics_->Advance(frameS);
  session_->SetSlewing(scenario_.SlewAt(timeS) != nullptr);

  std::optional<VerticalCommand> command;
  if (pilot_)
    command = pilot_->Command(flight_.TimeS(), flight_.Own().PlannedVertical(), flight_.Own().State().verticalSpeedFpm);
  std::vector<std::optional<VerticalCommand>> intruderCommands(equipped_.size());
  for (size_t i = 0; i < equipped_.size(); ++i)
    if (equipped_[i]) intruderCommands[i] = equipped_[i]->Command(flight_.TimeS(), flight_.Intruder(i));
  flight_.AdvanceTo(timeS, command, &intruderCommands);

  const OwnSimState own = flight_.OwnSim();
  WriteSimVariables(services, own);
  WriteTraffic(own);

  session_->GetPanel().Frame(scenario_.frameRateHz);
  EventLog& log = record_.Log();
  link_.Check(timeS, session_->Fsuipc(), log);

  picture_ = ReadTrafficPicture(services);
  const size_t rowsBefore = log.Rows().size();
  if (picture_) {
    sawPicture_ = true;
    if (picture_->updateCount != lastUpdateCount_) {
      lastUpdateCount_ = picture_->updateCount;
      log.OnTrafficFrame(timeS, *picture_, own.radioAltitudeFt);
    }
    if (pilot_) pilot_->Observe(timeS, ReadAdvisory(picture_->advisory));
  }
  const AdvisoryReading ownAdvisory = picture_ ? ReadAdvisory(picture_->advisory) : AdvisoryReading{};
  for (size_t i = 0; i < equipped_.size(); ++i)
    if (equipped_[i])
      equipped_[i]->AfterFrame(timeS, flight_.Intruder(i).State(), flight_.Frame(), flight_.Own().State(), ownAdvisory);
  RecordTrajectory(timeS, own);
  for (size_t i = 0; i < flight_.IntruderCount(); ++i) {
    const Separation sep = flight_.SeparationOf(i);
    log.OnSeparation(timeS, scenario_.intruders[i].id, scenario_.intruders[i].callsign, sep.rangeNm, sep.verticalFt);
  }

  record_.AfterFrame(timeS, rowsBefore);
  if (options_.onFrameEnd) options_.onFrameEnd(timeS, frameS);
  if (options_.onProgress)
    options_.onProgress(
        {timeS, scenario_.durationS, frame_, frameCount, log.TrafficAdvisories(), log.ResolutionAdvisories()});
  if (options_.realtime)
    std::this_thread::sleep_until(wallStart_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                   std::chrono::duration<double>(timeS)));
  return frame_ < frameCount;
}

// Both feeds are filled, as a simulator keeps both; only the one the gauge reads can lose traffic.
void ScenarioRun::WriteTraffic(const OwnSimState& own) {
  std::vector<TrafficTarget> traffic = flight_.Traffic();
  surveillance_->Apply(traffic, own.position);
  const FsuipcTableWrite table = WriteFsuipcTrafficTables(session_->Fsuipc(), traffic);
  if (scenario_.feed == TrafficFeed::Fsuipc && table.leftOut > maxLeftOut_) {
    maxLeftOut_ = table.leftOut;
    Warn(std::to_string(table.leftOut) + " intruders do not fit the FSUIPC traffic table (" +
         std::to_string(FsuipcTrafficLayout::kSlotCapacity) + " slots) and are left out of it");
  }
  trafficService_.SetOwnPosition(own.position);
  trafficService_.SetTraffic(std::move(traffic));
}

void ScenarioRun::RecordTrajectory(double timeS, const OwnSimState& own) {
  TrajectoryFrame f;
  f.timeS = timeS;
  f.own = flight_.Own().State();
  f.ownRadioAltitudeFt = own.radioAltitudeFt;
  f.ownPressureAltitudeFt = own.pressureAltitudeFt;
  if (picture_) f.ownAdvisory = ReadAdvisory(picture_->advisory);
  f.intruders.reserve(flight_.IntruderCount());
  for (size_t i = 0; i < flight_.IntruderCount(); ++i) {
    f.intruders.push_back(flight_.Intruder(i).State());
    std::optional<ThreatClass> shown;
    if (picture_)
      for (const IntruderEntry& e : picture_->intruders)
        if (e.id == scenario_.intruders[i].id) shown = StatusThreatClass(e.status);
    f.shown.push_back(shown);
    f.intruderAdvisories.push_back(equipped_[i] ? std::optional(equipped_[i]->Advisory()) : std::nullopt);
  }
  record_.AddFrame(std::move(f));
}

void ScenarioRun::RunToEnd() {
  Start();
  while (Step()) {
  }
  if (!sawPicture_) Warn("the panel never published a traffic picture (" + std::string(kTrafficPictureName) + ")");
  record_.Finish([this](const std::string& w) { Warn(w); });
  WriteOutputs();
}

void ScenarioRun::WriteOutputs() {
  record_.WriteOutputs([this](std::ostream& out) { WriteSummary(out); });
}

void ScenarioRun::WriteSummary(std::ostream& out) const {
  out << "scenario " << scenario_.name << " (" << scenario_.file.string() << "): " << std::fixed << std::setprecision(1)
      << TimeS() << " s flown in " << frame_ << " frames, traffic feed "
      << (scenario_.feed == TrafficFeed::TrafficInfo ? "ITrafficInfo" : "FSUIPC") << ", pilot "
      << (pilot_ ? "following advisories" : "none") << "\n";
  record_.Log().WriteSummary(out);
  for (const std::string& warning : warnings_) out << "warning: " << warning << "\n";
}

}  // namespace kvr::host

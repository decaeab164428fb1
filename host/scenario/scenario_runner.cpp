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

std::string Where(const Scenario& scenario, int line) { return scenario.file.string() + ":" + std::to_string(line) + ": "; }

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
    : scenario_(scenario), options_(std::move(options)), flight_(scenario) {
  SessionOptions sessionOptions;
  sessionOptions.panelFile = scenario.panelFile;
  sessionOptions.gaugesDir = options_.gaugesDir;
  session_ = std::make_unique<PanelSession>(sessionOptions);
  for (const std::string& warning : session_->Warnings()) Warn(warning);
  trafficService_.Register(session_->Services());
  avionics_ = std::make_unique<TransponderAvionics>(*session_);
  avionics_->SetInterrogationRate(scenario.interrogationsPerS);
  if (scenario.pilot) pilot_.emplace(*scenario.pilot);
  std::vector<TrajectoryAircraft> tracked;
  for (const IntruderSpec& intruder : scenario.intruders) tracked.push_back({intruder.id, intruder.callsign});
  trajectory_.SetAircraft(std::move(tracked));
  trajectory_.KeepEveryFrame(options_.keepEveryFrame);
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
  for (const ClickSpec& click : scenario.clicks) clickTargets_.push_back(FindClickTarget(scenario, click, session_->GetPanel()));
}

// The placed gauge a click names and the point it lands on; the scenario is wrong when either is missing.
ScenarioRun::ClickTarget ScenarioRun::FindClickTarget(const Scenario& scenario, const ClickSpec& click, Panel& panel) {
  GaugeInstance* instance = nullptr;
  int placed = 0;
  for (const auto& candidate : panel.Instances())
    if (candidate->placement.gauge == click.gauge && placed++ == click.index) instance = candidate.get();
  if (instance == nullptr)
    throw ScenarioError(Where(scenario, click.line) + "the panel " + scenario.panelFile.filename().string() + " places " +
                        std::to_string(placed) + " \"" + click.gauge + "\" gauge" + (placed == 1 ? "" : "s") +
                        ", so there is none with index " + std::to_string(click.index));
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
  ApplySwitches(0.0);
  ApplyTransponderSwitches(0.0);
  ApplyClicks(0.0);
  if (!options_.outDir.empty()) {
    std::filesystem::create_directories(options_.outDir);
    tracksFile_ = std::make_unique<std::ofstream>(options_.outDir / "tracks.csv");
    tracks_ = std::make_unique<TracksCsv>(*tracksFile_, flight_.Frame(), trajectory_.Intruders(), options_.tracksEveryFrame);
  }
  if (options_.pictures && !options_.outDir.empty()) {
    renderer_ = std::make_unique<PanelRenderer>(session_->Module(), session_->Config(), session_->GetPanel());
    recorder_ = std::make_unique<FrameRecorder>(*renderer_, options_.outDir, options_.pictureScale);
  }
  wallStart_ = std::chrono::steady_clock::now();
  started_ = true;
}

void ScenarioRun::ApplySwitches(double timeS) {
  PanelServices& services = session_->Services();
  while (nextSwitch_ < scenario_.switches.size() && scenario_.switches[nextSwitch_].timeS <= timeS + 1e-9) {
    const SwitchSpec& sw = scenario_.switches[nextSwitch_++];
    const PublishedVariable* v = services.Find(sw.variable);
    if (v == nullptr || v->address == nullptr || (v->typeCode != kTypeInt32 && v->typeCode != kTypeFlag32)) {
      std::ostringstream s;
      s << scenario_.file.string() << ":" << sw.line << ": at " << sw.timeS << " s " << sw.variable
        << " is not published as a 32-bit variable; the switch is left as it was";
      Warn(s.str());
      continue;
    }
    *static_cast<int32_t*>(v->address) = sw.value;
  }
}

// The head publishes power and lit at connection; a switch due before then, or on a panel without a
// Transponder, is reported and skipped.
void ScenarioRun::ApplyTransponderSwitches(double timeS) {
  while (nextTransponderSwitch_ < scenario_.transponderSwitches.size() &&
         scenario_.transponderSwitches[nextTransponderSwitch_].timeS <= timeS + 1e-9) {
    const TransponderSwitchSpec& sw = scenario_.transponderSwitches[nextTransponderSwitch_++];
    const auto set = [&](const std::optional<bool>& value, bool stored, const char* name) {
      if (!value || stored) return;
      std::ostringstream s;
      s << Where(scenario_, sw.line) << "at " << sw.timeS << " s " << name
        << " is not published as a 32-bit flag; the switch is left as it was";
      Warn(s.str());
    };
    set(sw.power, sw.power && avionics_->SetPower(*sw.power), TransponderAvionics::kPowerName);
    set(sw.lit, sw.lit && avionics_->SetLit(*sw.lit), TransponderAvionics::kLitName);
  }
}

void ScenarioRun::ApplyClicks(double timeS) {
  while (nextClick_ < scenario_.clicks.size() && scenario_.clicks[nextClick_].timeS <= timeS + 1e-9) {
    const ClickSpec& click = scenario_.clicks[nextClick_];
    const ClickTarget& target = clickTargets_[nextClick_++];
    const uint32_t flags = click.rightButton ? kMouseRightSingle : kMouseLeftSingle;
    if (!session_->GetPanel().Click(*target.instance, target.x, target.y, flags)) {
      std::ostringstream s;
      s << Where(scenario_, click.line) << "at " << click.timeS << " s the " << (click.rightButton ? "right" : "left")
        << " click at (" << target.x << ", " << target.y << ") on " << click.gauge
        << " found no mouse area that takes it";
      Warn(s.str());
    }
  }
}

bool ScenarioRun::Step() {
  Start();
  const int frameCount = scenario_.FrameCount();
  if (frame_ >= frameCount) return false;
  ++frame_;
  const double timeS = scenario_.FrameTimeS(frame_);
  const double frameS = scenario_.FrameS();
  PanelServices& services = session_->Services();

  ApplySwitches(timeS);
  ApplyTransponderSwitches(timeS);
  ApplyClicks(timeS);
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
  // Both feeds are filled, as a simulator keeps both; only the one the gauge reads can lose traffic.
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

  session_->GetPanel().Frame(scenario_.frameRateHz);
  WatchLink(timeS);

  picture_ = ReadTrafficPicture(services);
  const size_t rowsBefore = log_.Rows().size();
  if (picture_) {
    sawPicture_ = true;
    if (picture_->updateCount != lastUpdateCount_) {
      lastUpdateCount_ = picture_->updateCount;
      log_.OnTrafficFrame(timeS, *picture_, own.radioAltitudeFt);
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
    log_.OnSeparation(timeS, scenario_.intruders[i].id, scenario_.intruders[i].callsign, sep.rangeNm, sep.verticalFt);
  }

  if (recorder_) {
    std::string aural;  // the messages this frame started, for the picture's reason
    for (size_t i = rowsBefore; i < log_.Rows().size(); ++i)
      if (!log_.Rows()[i].aural.empty()) aural += (aural.empty() ? "" : " + ") + log_.Rows()[i].aural;
    recorder_->AfterFrame(timeS, aural);
  }
  if (options_.onFrameEnd) options_.onFrameEnd(timeS, frameS);
  if (options_.onProgress)
    options_.onProgress({timeS, scenario_.durationS, frame_, frameCount, log_.TrafficAdvisories(), log_.ResolutionAdvisories()});
  if (options_.realtime)
    std::this_thread::sleep_until(wallStart_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                   std::chrono::duration<double>(timeS)));
  return frame_ < frameCount;
}

// The module gives its link up at the first block that is not answered, so the link counts as lost when
// the server cannot be reached or refused a block, and as back only once blocks are served again.
void ScenarioRun::WatchLink(double timeS) {
  const FsuipcServer& server = session_->Fsuipc();
  const bool reachable = server.Reachable();
  const bool refused = server.BlocksRefused() > blocksRefused_;
  blocksRefused_ = server.BlocksRefused();
  if (linkUp_ && (!reachable || refused)) {
    linkUp_ = false;
    blocksServedAtLoss_ = server.BlocksServed();
    const std::string cause = !reachable ? "the server went away" : "the server refused a block";
    log_.OnLinkLost(timeS, cause);
  }
  if (!linkUp_ && reachable && !serverReachable_) log_.OnServerBack(timeS);
  if (!linkUp_ && reachable && server.BlocksServed() > blocksServedAtLoss_) {
    linkUp_ = true;
    log_.OnLinkBack(timeS);
  }
  serverReachable_ = reachable;
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
  if (tracks_) tracks_->Add(f);
  trajectory_.Add(std::move(f));
}

void ScenarioRun::RunToEnd() {
  Start();
  while (Step()) {
  }
  if (!sawPicture_) Warn("the panel never published a traffic picture (" + std::string(kTrafficPictureName) + ")");
  if (recorder_) {
    recorder_->Finish();
    for (const std::string& note : recorder_->Notes()) Warn(note);
    for (const std::string& warning : renderer_->Warnings()) Warn(warning);
  }
  WriteOutputs();
}

void ScenarioRun::WriteOutputs() {
  if (options_.outDir.empty()) return;
  std::filesystem::create_directories(options_.outDir);
  std::ofstream events(options_.outDir / "events.csv");
  log_.WriteCsv(events);
  std::ofstream summary(options_.outDir / "summary.txt");
  WriteSummary(summary);
  bool tracksWritten = true;
  if (tracks_) {
    tracks_->Finish();
    tracksFile_->close();
    tracksWritten = !tracksFile_->fail();
  }
  events.close();  // writes what is still buffered; a failure there counts too
  summary.close();
  if (!events || !summary || !tracksWritten) throw std::runtime_error("cannot write the results into " + options_.outDir.string());
}

void ScenarioRun::WriteSummary(std::ostream& out) const {
  out << "scenario " << scenario_.name << " (" << scenario_.file.string() << "): " << std::fixed << std::setprecision(1)
      << TimeS() << " s flown in " << frame_ << " frames, traffic feed "
      << (scenario_.feed == TrafficFeed::TrafficInfo ? "ITrafficInfo" : "FSUIPC") << ", pilot "
      << (pilot_ ? "following advisories" : "none") << "\n";
  log_.WriteSummary(out);
  for (const std::string& warning : warnings_) out << "warning: " << warning << "\n";
}

}  // namespace kvr::host

// Flies a scenario through the real module: a panel session on the scenario's panel, the simulator
// variables, the FSUIPC traffic tables and the ITrafficInfo service fed from one flight every frame, the
// switches set on the published selector variables and the clicks made on the gauges at their times
// (ScheduledInputs), the pilot flying what the panel shows, and beside the flight its record (RunRecorder):
// every traffic frame's picture logged, the trajectory, and, when asked, the panel drawn into pictures.
//
// The transponder side of the simulator rides along: the squawk and the interrogations reach the Transponder
// head, and the scenario's [[transponder]] entries switch its power and lighting.
//
// Each frame: switches, transponder switches and clicks due, pause and slew flags, interrogations of the
// frame (none while paused), flight advanced to the frame's time, variables
// and traffic written, the panel's frame run, the picture read, the pilot told, the panel drawn when a
// picture is due, onFrameEnd called.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/avionics/transponder_avionics.h"
#include "host/panel_session.h"
#include "host/render/frame_recorder.h"
#include "host/render/panel_renderer.h"
#include "host/scenario/equipped_intruder.h"
#include "host/scenario/event_log.h"
#include "host/scenario/flight.h"
#include "host/scenario/link_watch.h"
#include "host/scenario/pilot.h"
#include "host/scenario/run_recorder.h"
#include "host/scenario/scenario.h"
#include "host/scenario/scheduled_inputs.h"
#include "host/scenario/surveillance.h"
#include "host/scenario/trajectory.h"
#include "host/traffic/traffic_info_service.h"

namespace kvr::host {

struct RunProgress {
  double timeS = 0;
  double durationS = 0;
  int frame = 0;
  int frameCount = 0;
  int trafficAdvisories = 0;
  int resolutionAdvisories = 0;
};

struct RunOptions {
  std::filesystem::path gaugesDir;  // where "<Module>.gau" is
  std::filesystem::path outDir;     // events.csv and summary.txt go here; empty: no files
  bool realtime = false;            // pace the frames to the wall clock
  bool pictures = false;            // with outDir: frames/, panel.gif and final.png of the panel window
  bool tracksEveryFrame = false;    // tracks.csv with every frame instead of one a second
  bool keepEveryFrame = false;      // Flown() holds every frame (else a bounded summary, see Trajectory)
  int pictureScale = 1;             // picture pixels per panel pixel (1 or more)
  // After each frame, with the frame's scenario time and length: the place to capture what the frame
  // played (audio rendering aligned with simulated time).
  std::function<void(double timeS, double frameDurationS)> onFrameEnd;
  std::function<void(const RunProgress&)> onProgress;
};

class ScenarioRun {
 public:
  // Loads the module and the panel, sets the traffic feed on the Logic gauge, registers the traffic
  // service and finds the gauge of every click; `scenario` must outlive the run. Throws std::runtime_error
  // (ScenarioError with the click's line when a click names a gauge or mouse area the panel lacks, or
  // PanelConfigError) naming what is wrong. Anything that must exist before the module's sound device opens (an audio
  // capture) is made before Start().
  ScenarioRun(const Scenario& scenario, RunOptions options);
  ~ScenarioRun();

  // Connects and installs the panel and sets the switches of time 0.
  void Start();
  // Runs the next frame; false once the scenario's duration is flown.
  bool Step();
  // Starts if needed, runs every remaining frame and writes the output files.
  void RunToEnd();

  PanelSession& Session() { return *session_; }
  const TrafficInfoService& TrafficService() const { return trafficService_; }
  TransponderAvionics& Avionics() { return *avionics_; }
  const Flight& GetFlight() const { return flight_; }
  const EventLog& Events() const { return record_.Log(); }
  // Every aircraft's state with the advisories in force: every frame, or a bounded summary (tracks.csv is
  // written to its file as the run goes and holds more).
  const Trajectory& Flown() const { return record_.Flown(); }
  const std::optional<TrafficSnapshot>& LastPicture() const { return picture_; }
  // The pictures written so far; null unless RunOptions::pictures and an output folder were given.
  const FrameRecorder* Pictures() const { return record_.Pictures(); }
  double TimeS() const { return flight_.TimeS(); }
  int Frame() const { return frame_; }
  // Things the run noticed but flew on with (left-out traffic, unpublished switches, clicks no mouse area
  // took, no traffic picture).
  const std::vector<std::string>& Warnings() const { return warnings_; }
  // Whether the FSUIPC link was lost at some time of the run (the events and the summary say when).
  bool LinkLost() const { return !record_.Log().LinkOutages().empty(); }

  // The Logic gauge's parameter string with its traffic feed set: "trafficinfo=y" first for the traffic
  // service, every "trafficinfo" option taken out for FSUIPC.
  static std::string WithTrafficFeed(const std::string& parameters, TrafficFeed feed);

  // Writes events.csv and summary.txt and finishes tracks.csv.
  void WriteOutputs();
  void WriteSummary(std::ostream& out) const;

 private:
  void Warn(const std::string& text);
  // The frame's traffic written into both feeds, as the surveillance delivers it.
  void WriteTraffic(const OwnSimState& own);
  // The flight's state with the advisories in force and what the display shows, into the record.
  void RecordTrajectory(double timeS, const OwnSimState& own);

  const Scenario& scenario_;
  RunOptions options_;
  TrafficInfoService trafficService_;  // outlives the session, whose module holds its address
  std::unique_ptr<PanelSession> session_;
  std::unique_ptr<TransponderAvionics> avionics_;  // made after the session, destroyed before it
  Flight flight_;
  std::optional<Pilot> pilot_;
  std::optional<Surveillance> surveillance_;
  std::vector<std::unique_ptr<EquippedIntruder>> equipped_;  // per intruder; null when it is not equipped
  std::optional<ScheduledInputs> inputs_;
  LinkWatch link_;
  RunRecorder record_;
  std::optional<TrafficSnapshot> picture_;
  int frame_ = 0;
  bool started_ = false;
  bool sawPicture_ = false;
  uint32_t lastUpdateCount_ = 0;
  uint32_t maxLeftOut_ = 0;
  std::chrono::steady_clock::time_point wallStart_;
  std::vector<std::string> warnings_;
};

}  // namespace kvr::host

// What runs beside a scenario's flight and keeps it: the event log, the trajectory (tracks.csv written as
// the run goes), the panel's pictures, and at the end the output files (events.csv, summary.txt).
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/panel_session.h"
#include "host/render/frame_recorder.h"
#include "host/render/panel_renderer.h"
#include "host/scenario/event_log.h"
#include "host/scenario/scenario.h"
#include "host/scenario/trajectory.h"

namespace kvr::host {

struct RecorderOptions {
  std::filesystem::path outDir;  // empty: nothing is written
  bool pictures = false;         // with outDir: frames/, panel.gif and final.png
  bool tracksEveryFrame = false;
  bool keepEveryFrame = false;
  int pictureScale = 1;
};

class RunRecorder {
 public:
  RunRecorder(const Scenario& scenario, RecorderOptions options);

  // At the run's start: opens tracks.csv (positions in `frame`) and, when asked, the pictures of `session`'s
  // panel.
  void Open(const LocalFrame& frame, PanelSession& session);
  EventLog& Log() { return log_; }
  const EventLog& Log() const { return log_; }
  const Trajectory& Flown() const { return trajectory_; }
  const FrameRecorder* Pictures() const { return recorder_.get(); }
  // A flown frame: into the trajectory and tracks.csv.
  void AddFrame(TrajectoryFrame frame);
  // After the frame at `timeS`: its picture when one is due, named for the messages the log's rows from
  // `firstNewRow` on started.
  void AfterFrame(double timeS, size_t firstNewRow);
  // After the last frame: completes the pictures; what they noticed goes to `warn`.
  void Finish(const std::function<void(const std::string&)>& warn);
  // Writes events.csv and summary.txt (its text from `summary`) and finishes tracks.csv. Throws
  // std::runtime_error when a file cannot be written completely.
  void WriteOutputs(const std::function<void(std::ostream&)>& summary);

 private:
  RecorderOptions options_;
  EventLog log_;
  Trajectory trajectory_;
  std::unique_ptr<std::ofstream> tracksFile_;
  std::unique_ptr<TracksCsv> tracks_;
  std::unique_ptr<PanelRenderer> renderer_;
  std::unique_ptr<FrameRecorder> recorder_;
};

}  // namespace kvr::host

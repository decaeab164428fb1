#include "host/scenario/run_recorder.h"

#include <stdexcept>

namespace kvr::host {

RunRecorder::RunRecorder(const Scenario& scenario, RecorderOptions options) : options_(std::move(options)) {
  std::vector<TrajectoryAircraft> tracked;
  for (const IntruderSpec& intruder : scenario.intruders) tracked.push_back({intruder.id, intruder.callsign});
  trajectory_.SetAircraft(std::move(tracked));
  trajectory_.KeepEveryFrame(options_.keepEveryFrame);
}

void RunRecorder::Open(const LocalFrame& frame, PanelSession& session) {
  if (options_.outDir.empty()) return;
  std::filesystem::create_directories(options_.outDir);
  tracksFile_ = std::make_unique<std::ofstream>(options_.outDir / "tracks.csv");
  tracks_ = std::make_unique<TracksCsv>(*tracksFile_, frame, trajectory_.Intruders(), options_.tracksEveryFrame);
  if (options_.pictures) {
    renderer_ = std::make_unique<PanelRenderer>(session.Module(), session.Config(), session.GetPanel());
    recorder_ = std::make_unique<FrameRecorder>(*renderer_, options_.outDir, options_.pictureScale);
  }
}

void RunRecorder::AddFrame(TrajectoryFrame frame) {
  if (tracks_) tracks_->Add(frame);
  trajectory_.Add(std::move(frame));
}

void RunRecorder::AfterFrame(double timeS, size_t firstNewRow) {
  if (!recorder_) return;
  std::string aural;  // the messages this frame started, for the picture's reason
  for (size_t i = firstNewRow; i < log_.Rows().size(); ++i)
    if (!log_.Rows()[i].aural.empty()) aural += (aural.empty() ? "" : " + ") + log_.Rows()[i].aural;
  recorder_->AfterFrame(timeS, aural);
}

void RunRecorder::Finish(const std::function<void(const std::string&)>& warn) {
  if (!recorder_) return;
  recorder_->Finish();
  for (const std::string& note : recorder_->Notes()) warn(note);
  for (const std::string& warning : renderer_->Warnings()) warn(warning);
}

void RunRecorder::WriteOutputs(const std::function<void(std::ostream&)>& summary) {
  if (options_.outDir.empty()) return;
  std::filesystem::create_directories(options_.outDir);
  std::ofstream events(options_.outDir / "events.csv");
  log_.WriteCsv(events);
  std::ofstream summaryFile(options_.outDir / "summary.txt");
  summary(summaryFile);
  bool tracksWritten = true;
  if (tracks_) {
    tracks_->Finish();
    tracksFile_->close();
    tracksWritten = !tracksFile_->fail();
  }
  events.close();  // writes what is still buffered; a failure there counts too
  summaryFile.close();
  if (!events || !summaryFile || !tracksWritten)
    throw std::runtime_error("cannot write the results into " + options_.outDir.string());
}

}  // namespace kvr::host

// Scenarios flown through the real module: what the pilot would see and hear, at the simulated times.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "host/scenario/scenario_runner.h"
#include "tests/gauge/module_fixture.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

class ScenarioRunTest : public ::testing::Test {
 protected:
  fs::path out = fs::temp_directory_path() /
                 ("kvr_run_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  std::optional<Scenario> scenario;
  std::unique_ptr<ScenarioRun> run;

  void TearDown() override {
    run.reset();
    fs::remove_all(out);
  }

  // Loads a shipped scenario, with another traffic feed when given, and prepares its run.
  ScenarioRun& Prepare(const std::string& name, RunOptions options = {}, std::optional<TrafficFeed> feed = {}) {
    run.reset();  // one session at a time: the FSUIPC server window is process-wide
    scenario = LoadScenario(kvr::testing::SourceDir() / "scenarios" / (name + ".toml"));
    if (feed) scenario->feed = *feed;
    options.gaugesDir = kvr::testing::BinDir();
    run = std::make_unique<ScenarioRun>(*scenario, std::move(options));
    return *run;
  }
  bool HasPicture() {
    run->Start();
    const PublishedVariable* v = run->Session().Services().Find(kTrafficPictureName);
    return v != nullptr && v->typeCode == kTypeObject && *static_cast<void* const*>(v->address) != nullptr;
  }

  // The first row of an event, class or aural message for an intruder (0: any), or nullptr.
  const EventRow* First(const std::string& threatClass, uint32_t id = 0) const {
    for (const EventRow& r : run->Events().Rows())
      if (r.event == "threat" && r.threatClass == threatClass && (id == 0 || r.intruderId == id)) return &r;
    return nullptr;
  }
  const EventRow* FirstAural(const std::string& aural) const {
    for (const EventRow& r : run->Events().Rows())
      if (r.aural == aural) return &r;
    return nullptr;
  }
};

#define SKIP_WITHOUT_PICTURE() ASSERT_TRUE(HasPicture()) << "the module publishes no traffic picture"

// The FSUIPC server going away mid-flight, or refusing a block: the events and the summary say when, and
// whether the link came back (the module does not open its link again).
TEST_F(ScenarioRunTest, TheLinkLostMidFlightIsLoggedAndSummarised) {
  struct Case {
    const char* name;
    std::function<void(FsuipcServer&, bool back)> act;  // at 10 s, then again at 20 s with back
    const char* cause;
    const char* after;
  };
  const Case cases[] = {
      {"server gone", [](FsuipcServer& s, bool back) { s.SetReachable(back); }, "(the server went away)",
       "; the server was back at 20.1 s, but the module did not use the link again"},
      {"block refused",
       [](FsuipcServer& s, bool back) { s.ForceAnswer(back ? std::nullopt : std::optional<uintptr_t>(0)); },
       "(the server refused a block)", "; not back by the end of the run"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Prepare("head_on");
    while (run->TimeS() < 10 - 1e-9) run->Step();
    c.act(run->Session().Fsuipc(), false);
    while (run->TimeS() < 20 - 1e-9) run->Step();
    c.act(run->Session().Fsuipc(), true);
    run->RunToEnd();
    std::vector<const EventRow*> link;
    for (const EventRow& r : run->Events().Rows())
      if (r.event.rfind("link-", 0) == 0 || r.event == "server-back") link.push_back(&r);
    ASSERT_GE(link.size(), 1u);
    EXPECT_EQ(link[0]->event, "link-lost");
    EXPECT_GT(link[0]->timeS, 10);
    EXPECT_LT(link[0]->timeS, 11.1);  // at the next block the module sends: within a traffic frame
    EXPECT_EQ(link.back()->event, link.size() == 1 ? "link-lost" : "server-back");
    EXPECT_TRUE(run->LinkLost());
    std::ostringstream summary;
    run->WriteSummary(summary);
    EXPECT_NE(summary.str().find(c.cause + std::string(c.after)), std::string::npos) << summary.str();
    // Without its feed the module saw no traffic: no advisory after the loss.
    EXPECT_EQ(First("ResolutionAdvisory"), nullptr);
  }
}

TEST_F(ScenarioRunTest, HeadOnGivesATrafficThenAResolutionAdvisoryThenClearOfConflict) {
  Prepare("head_on");
  SKIP_WITHOUT_PICTURE();
  run->RunToEnd();
  const double cpaS = scenario->intruders[0].encounter->cpaTimeS;
  const EventRow* ta = First("TrafficAdvisory");
  const EventRow* ra = First("ResolutionAdvisory");
  ASSERT_NE(ta, nullptr);
  ASSERT_NE(ra, nullptr);
  EXPECT_NEAR(cpaS - ta->timeS, 40, 3);
  EXPECT_NEAR(cpaS - ra->timeS, 25, 3);
  const EventRow* traffic = FirstAural("TrafficTraffic");
  ASSERT_NE(traffic, nullptr);
  EXPECT_NEAR(traffic->timeS, ta->timeS, 1.5);
  const EventRow* clear = FirstAural("ClearOfConflict");
  ASSERT_NE(clear, nullptr);
  EXPECT_GT(clear->timeS, ra->timeS);
  EXPECT_GE(clear->timeS, cpaS - 5);
  // The pilot flew the advisory: at the closest approach the aircraft are apart vertically.
  ASSERT_EQ(run->Events().Closest().size(), 1u);
  EXPECT_NEAR(run->Events().Closest()[0].timeS, cpaS, 0.1);
  EXPECT_GT(std::abs(run->Events().Closest()[0].verticalFt), 300);
}

TEST_F(ScenarioRunTest, TaOnlyGeometryRaisesNoResolutionAdvisory) {
  Prepare("ta_only");
  SKIP_WITHOUT_PICTURE();
  run->RunToEnd();
  EXPECT_NE(First("TrafficAdvisory"), nullptr);
  EXPECT_EQ(First("ResolutionAdvisory"), nullptr);
}

TEST_F(ScenarioRunTest, LowAltitudeGivesTrafficOnlyAndNoVoiceBelow500Ft) {
  Prepare("low_altitude_ta_only");
  SKIP_WITHOUT_PICTURE();
  run->RunToEnd();
  EXPECT_NE(First("TrafficAdvisory"), nullptr);
  EXPECT_EQ(First("ResolutionAdvisory"), nullptr);
  EXPECT_NE(FirstAural("TrafficTraffic"), nullptr);

  Prepare("low_altitude_no_voice");
  run->RunToEnd();
  EXPECT_NE(First("TrafficAdvisory"), nullptr);
  EXPECT_EQ(FirstAural("TrafficTraffic"), nullptr);
  EXPECT_NE(FirstAural("TrafficTraffic (silent)"), nullptr);
}

TEST_F(ScenarioRunTest, StandbyShowsNothingUntilTheSwitchTurnsItToTaRa) {
  Prepare("standby_then_tara");
  SKIP_WITHOUT_PICTURE();
  const PublishedVariable* mode = run->Session().Services().Find("KVR_TCAS!IVSI.mode_index");
  ASSERT_NE(mode, nullptr);
  EXPECT_EQ(*static_cast<const int32_t*>(mode->address), 1);
  run->RunToEnd();
  EXPECT_EQ(*static_cast<const int32_t*>(mode->address), 4);
  ASSERT_FALSE(run->Events().Rows().empty());
  EXPECT_GE(run->Events().Rows().front().timeS, 30.0);
  const EventRow* ta = First("TrafficAdvisory");
  ASSERT_NE(ta, nullptr);
  EXPECT_LT(ta->timeS, 36.0);
  EXPECT_NE(First("ResolutionAdvisory"), nullptr);
}

TEST_F(ScenarioRunTest, PauseFreezesThePictureAndSlewTakesTheThreatAway) {
  Prepare("pause_and_slew");
  SKIP_WITHOUT_PICTURE();
  uint32_t countAtPause = 0;
  while (run->Step()) {
    const double t = run->TimeS();
    if (std::abs(t - 20.5) < 1e-6) countAtPause = run->LastPicture()->updateCount;
    if (t > 20.5 && t < 30.0) {
      ASSERT_EQ(run->LastPicture()->updateCount, countAtPause) << t;
    }
  }
  EXPECT_NE(First("TrafficAdvisory"), nullptr);
  EXPECT_EQ(First("ResolutionAdvisory"), nullptr);
  const EventRow& last = run->Events().Rows().back();
  EXPECT_GT(last.timeS, 52.0);
  EXPECT_TRUE(last.threatClass == "OtherTraffic" || last.threatClass == "ProximateTraffic") << last.threatClass;
}

TEST_F(ScenarioRunTest, TrafficServiceFeedReachesTheLogicGaugeAndSkipsTrafficWithoutAltitude) {
  Prepare("traffic_service");
  for (const auto& instance : run->Session().GetPanel().Instances())
    if (instance->placement.gauge == "Logic") {
      EXPECT_NE(std::string(instance->header.parameters).find("trafficinfo=y"), std::string::npos);
    }
  SKIP_WITHOUT_PICTURE();
  run->RunToEnd();
  EXPECT_GT(run->TrafficService().RangeQueries(), 60);
  EXPECT_NE(First("ResolutionAdvisory", 9001), nullptr);
  for (const EventRow& r : run->Events().Rows()) EXPECT_NE(r.intruderId, 9002u);
}

TEST_F(ScenarioRunTest, FsuipcFeedLeavesTheTrafficServiceAloneAndReportsWhatDoesNotFit) {
  Prepare("hundred_intruders");
  SKIP_WITHOUT_PICTURE();
  run->RunToEnd();
  EXPECT_EQ(run->TrafficService().RangeQueries(), 0);
  EXPECT_EQ(run->Session().Fsuipc().Peek<uint16_t>(0xF004), 99);
  bool reported = false;
  for (const std::string& w : run->Warnings()) reported |= w.find("1 intruders do not fit") != std::string::npos;
  EXPECT_TRUE(reported);
  EXPECT_NE(First("ResolutionAdvisory", 1), nullptr);

  // Fed by the traffic service, the gauge never reads the FSUIPC table, so what it cannot hold is no loss.
  Prepare("hundred_intruders", {}, TrafficFeed::TrafficInfo);
  for (int frame = 0; frame < 36; ++frame) run->Step();
  EXPECT_GT(run->TrafficService().RangeQueries(), 0);
  for (const std::string& w : run->Warnings()) EXPECT_EQ(w.find("do not fit"), std::string::npos) << w;
}

TEST_F(ScenarioRunTest, WritesEventsWithAUnitsRowAndCallsTheFrameHookForEveryFrame) {
  RunOptions options;
  options.outDir = out;
  double coveredS = 0, lastEndS = 0;
  int frames = 0;
  options.onFrameEnd = [&](double timeS, double frameS) {
    coveredS += frameS;
    lastEndS = timeS;
    ++frames;
  };
  Prepare("ta_only", options);
  run->RunToEnd();
  EXPECT_EQ(frames, scenario->FrameCount());
  EXPECT_NEAR(coveredS, scenario->durationS, 1e-6);
  EXPECT_NEAR(lastEndS, scenario->durationS, 1e-9);

  std::ifstream csv(out / "events.csv");
  std::string header, units;
  std::getline(csv, header);
  std::getline(csv, units);
  EXPECT_EQ(header,
            "timeS,event,intruderId,rangeNm,relativeAltitudeFt,threatClass,sense,advisory,vsLowerLimitFpm,"
            "vsUpperLimitFpm,vsTargetFpm,aural");
  EXPECT_EQ(units, "[s],[none],[none],[NM],[ft],[none],[none],[none],[fpm],[fpm],[fpm],[none]");
  EXPECT_TRUE(fs::exists(out / "summary.txt"));
}

// Results whose last buffered bytes cannot be written are an error, not files reported as written.
TEST_F(ScenarioRunTest, AResultFileThatCannotBeCompletedIsAnError) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full to fail the write";
  RunOptions options;
  options.outDir = out;
  Prepare("ta_only", options);
  fs::create_directories(out);
  fs::create_symlink("/dev/full", out / "summary.txt");  // a short summary: all of it still buffered at the end
  EXPECT_THROW(run->WriteOutputs(), std::runtime_error);
}

// The Transponder head of a panel, found by its elements' images.
const ElementHeader* TransponderElement(ScenarioRun& run, uint32_t imageId) {
  for (const auto& instance : run.Session().GetPanel().Instances())
    if (instance->placement.gauge == "Transponder")
      for (const ElementHeader* element : instance->elements)
        if (element->imageId == imageId) return element;
  return nullptr;
}

TEST(ScenarioRunTransponder, InterrogationsLightTheReplyLightOutOfStandbyAndSwitchesReachTheHead) {
  const fs::path dir = fs::temp_directory_path() / "kvr_run_transponder";
  fs::create_directories(dir);
  const fs::path file = dir / "transponder.toml";
  std::ofstream(file) << "panel = \"" << (kvr::testing::SourceDir() / "scenarios" / "panel.cfg").string() << "\"\n"
                      << R"(durationS = 6
transponderCode = 4721
interrogationsPerS = 2
[own]
latitudeDeg = 47.0
longitudeDeg = 8.0
pressureAltitudeFt = 6000
headingDeg = 0
groundSpeedKt = 200
[[switch]]
timeS = 1.5
variable = "mode_index"
value = 4
[[transponder]]
timeS = 0
lit = true
[[transponder]]
timeS = 4
power = false
lit = false
)";
  const Scenario scenario = LoadScenario(file);
  RunOptions options;
  options.gaugesDir = kvr::testing::BinDir();
  ScenarioRun run(scenario, options);
  run.Start();
  EXPECT_EQ(run.Avionics().Transponder().Code(), 0x4721);
  const ElementHeader* light = TransponderElement(run, 0x2500);
  const ElementHeader* overlay = TransponderElement(run, 0x2100);
  const ElementHeader* codeWindow = TransponderElement(run, 0x2200);
  ASSERT_TRUE(light && overlay && codeWindow) << "the panel has no Transponder head";

  int litInStandby = 0, litReplying = 0;
  uint64_t requestsInStandby = 0;
  while (run.Step()) {
    const bool shown = (light->flags & kElementHidden) == 0;
    if (run.TimeS() < 1.5) {
      litInStandby += shown;
      requestsInStandby = run.Avionics().ReplyProgram().RequestsRaised();
    } else if (run.TimeS() < 4) {
      litReplying += shown;
      EXPECT_EQ(overlay->flags & kElementHidden, 0u) << "backlight off at " << run.TimeS() << " s while lit";
    }
  }
  // Interrogations reach the head in step with the frames: about 2 a second, none answered in standby.
  EXPECT_GE(run.Avionics().ReplyProgram().Interrogations(), 11u);
  EXPECT_EQ(requestsInStandby, 0u);
  EXPECT_EQ(litInStandby, 0);
  EXPECT_GT(litReplying, 0);
  EXPECT_NE(overlay->flags & kElementHidden, 0u) << "backlight still on after lit = false";

  // Power off: the code window is a plain background without digits (red 0x18, green 0x08, blue 0x28).
  const auto* surface = static_cast<const HostSurface*>(codeWindow->deviceContext);
  ASSERT_NE(surface, nullptr);
  int other = 0;
  for (int y = 0; y < surface->height; ++y)
    for (int x = 0; x < surface->width; ++x)
      other += (surface->pixels[size_t(y) * size_t(surface->strideBytes / 4) + size_t(x)] & 0xFFFFFF) != 0x180828;
  EXPECT_EQ(other, 0) << "digits still shown with the head's power off";
  EXPECT_TRUE(run.Warnings().empty()) << run.Warnings().front();
  fs::remove_all(dir);
}

TEST(ScenarioRunFeed, TheLogicParametersSelectTheFeed) {
  EXPECT_EQ(ScenarioRun::WithTrafficFeed("", TrafficFeed::TrafficInfo), "trafficinfo=y");
  EXPECT_EQ(ScenarioRun::WithTrafficFeed("volume=-500", TrafficFeed::TrafficInfo), "trafficinfo=y volume=-500");
  EXPECT_EQ(ScenarioRun::WithTrafficFeed("trafficinfo=n volume=-500", TrafficFeed::TrafficInfo),
            "trafficinfo=y volume=-500");
  EXPECT_EQ(ScenarioRun::WithTrafficFeed("volume:0,xtrafficinfo:1", TrafficFeed::Fsuipc), "volume:0");
  EXPECT_EQ(ScenarioRun::WithTrafficFeed("trafficinfo=y", TrafficFeed::Fsuipc), "");
}

}  // namespace
}  // namespace kvr::host

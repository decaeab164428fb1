#include "host/manual/manual_pictures.h"

#include <unistd.h>

#include <fstream>
#include <stdexcept>

#include "host/render/panel_renderer.h"
#include "host/scenario/scenario_runner.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

// The panel behind the gauges, as the renderer paints it; also what a cut beyond the window is filled with.
constexpr uint32_t kPanelBackground = RenderOptions{}.backgroundRgb;

struct Rect {
  int x, y, width, height;
};

// The gauges of a mode sheet: bezel and bare IVSI side by side, anti-aliased above and plain below, eight
// pixels of panel around each; the Transponder beneath them.
constexpr Rect kSheet{0, 0, 340, 340};
constexpr Rect kSheetIvsi{0, 0, 174, 174};  // the anti-aliased IVSI with its bezel, alone
constexpr Rect kSheetTransponder{0, 340, 244, 105};

// Every gauge with "pic=n", so that the scenes' switches, not the systems probe, set power and the V/S flag.
constexpr const char* kSheetPanel = R"([Window00]
gauge00=KVR_TCAS!Logic, 0, 0, 1, 1
gauge01=KVR_TCAS!IVSI, 8, 8, 158, 158, pic=n
gauge02=KVR_TCAS!IVSIb, 174, 8, 158, 158, pic=n
gauge03=KVR_TCAS!IVSI, 8, 174, 158, 158, pic=n aa=n
gauge04=KVR_TCAS!IVSIb, 174, 174, 158, 158, pic=n aa=n
gauge05=KVR_TCAS!Transponder, 8, 348, 228, 89, pic=n
)";

// The same without the Logic gauge: the IVSIs find no traffic picture.
constexpr const char* kSheetPanelWithoutLogic = R"([Window00]
gauge01=KVR_TCAS!IVSI, 8, 8, 158, 158, pic=n
gauge02=KVR_TCAS!IVSIb, 174, 8, 158, 158, pic=n
gauge03=KVR_TCAS!IVSI, 8, 174, 158, 158, pic=n aa=n
gauge04=KVR_TCAS!IVSIb, 174, 174, 158, 158, pic=n aa=n
gauge05=KVR_TCAS!Transponder, 8, 348, 228, 89, pic=n
)";

constexpr Rect kVariantsRow{0, 0, 1004, 174};
constexpr const char* kVariantsPanel = R"([Window00]
gauge00=KVR_TCAS!Logic, 0, 0, 1, 1
gauge01=KVR_TCAS!IVSI, 8, 8, 158, 158, pic=n
gauge02=KVR_TCAS!IVSI2, 174, 8, 158, 158, pic=n
gauge03=KVR_TCAS!IVSI3, 340, 8, 158, 158, pic=n
gauge04=KVR_TCAS!IVSIb, 506, 8, 158, 158, pic=n
gauge05=KVR_TCAS!IVSI2b, 672, 8, 158, 158, pic=n
gauge06=KVR_TCAS!IVSI3b, 838, 8, 158, 158, pic=n
)";

// The own aircraft level at 8000 ft, heading east at 250 kt.
constexpr const char* kOwn = R"(
[own]
latitudeDeg = 47.0
longitudeDeg = 8.0
pressureAltitudeFt = 8000
headingDeg = 90
groundSpeedKt = 250
)";

// Two aircraft flying along with the own one, so that they hold their places on the display: one 2500 ft
// above, ahead on the left (other traffic), one 600 ft below and climbing, ahead on the right (proximate).
constexpr const char* kCompany = R"(
[[intruder]]
id = 2001
callsign = "ABOVE"
eastNm = 3.0
northNm = 1.6
altitudeFt = 10500
headingDeg = 90
groundSpeedKt = 250

[[intruder]]
id = 2002
callsign = "NEAR"
eastNm = 1.6
northNm = -1.3
altitudeFt = 7400
headingDeg = 90
groundSpeedKt = 250
verticalSpeedFpm = 600
)";

struct Capture {
  double timeS;
  std::string name;  // file name without ".png"
  Rect rect;
  bool doubledOnly;  // one picture, NAME.png, at twice the panel's size (else NAME.png and NAME-x2.png)
  std::string description;
};

struct Scene {
  std::string name;
  const char* panel;
  std::string scenario;           // TOML without the panel line
  std::vector<Capture> captures;  // by time
};

// A panel loaded without a scenario, for what a scenario run cannot show (it wants a Logic gauge and a
// working FSUIPC): selector variables set at times, the simulator otherwise standing still.
struct Setting {
  double timeS;
  const char* variable;  // published name
  int32_t value;
};

struct BareScene {
  std::string name;
  const char* panel;
  uint32_t fsuipcVersionWord;     // what the FSUIPC server answers; 0 is too old for the module: no link
  std::vector<Setting> settings;  // by time
  std::vector<Capture> captures;  // by time
};

std::vector<BareScene> BareScenes() {
  return {
      {"no-fsuipc",
       kSheetPanel,
       0,
       {{0, "KVR_TCAS!IVSI.mode_index", 4}, {3, "KVR_TCAS!IVSI.mode_index", 0}},
       {{2, "ivsi-failure", kSheet, false, "IVSI in TA/RA without FSUIPC: the TCAS flag"},
        {5, "ivsi-failure-test", kSheet, false, "the self test without FSUIPC: TCAS FAIL over FSUIPC"}}},
      {"no-logic",
       kSheetPanelWithoutLogic,
       FsuipcServerOptions{}.versionWord,
       {{0, "KVR_TCAS!IVSI.mode_index", 0}},
       {{2, "ivsi-no-logic-test", kSheetIvsi, false,
         "the self test without a Logic gauge: TCAS FAIL over KVR_TCAS!Logic"}}},
  };
}

std::vector<Scene> Scenes() {
  std::vector<Scene> scenes;
  const std::string own = kOwn, company = kCompany;

  // The modes one after the other, as a pilot turns the mode knob, then the V/S flag and power off.
  scenes.push_back(
      {"modes",
       kSheetPanel,
       "durationS = 26\n" + own + company + R"(
[[switch]]
timeS = 3
variable = "mode_index"
value = 2
[[switch]]
timeS = 6
variable = "mode_index"
value = 3
[[switch]]
timeS = 11
variable = "mode_index"
value = 4
[[switch]]
timeS = 16
variable = "mode_index"
value = 0
[[switch]]
timeS = 19
variable = "mode_index"
value = 4
[[switch]]
timeS = 19
variable = "vsi_flag"
value = 1
[[switch]]
timeS = 22
variable = "vsi_flag"
value = 0
[[switch]]
timeS = 22
variable = "power"
value = 0
)",
       {
           {2, "ivsi-standby", kSheet, false,
            "IVSI in standby (STBY): bezel and bare, anti-aliased above, plain below"},
           {2, "xpdr-mode-stby", kSheetTransponder, true, "Transponder, mode knob at STBY"},
           {5, "ivsi-xpdr", kSheet, false, "IVSI with the transponder only (XPDR): TCAS OFF as in standby"},
           {5, "xpdr-mode-xpdr", kSheetTransponder, true, "Transponder, mode knob at XPDR"},
           {10, "ivsi-ta-only", kSheet, false, "IVSI in TA only, two aircraft near"},
           {10, "xpdr-mode-ta", kSheetTransponder, true, "Transponder, mode knob at TA"},
           {15, "ivsi-ta-ra", kSheet, false, "IVSI in TA/RA, two aircraft near"},
           {15, "xpdr-mode-tara", kSheetTransponder, true, "Transponder, mode knob at TA/RA"},
           {18, "ivsi-test", kSheet, false, "IVSI in the self test"},
           {18, "xpdr-mode-test", kSheetTransponder, true, "Transponder, mode knob at TEST"},
           {21, "ivsi-vs-failed", kSheet, false,
            "IVSI in TA/RA with the vertical speed failed: V/S flag, no needle, TA only"},
           {25, "ivsi-unpowered", kSheet, false, "IVSI without power"},
       }});

  // The six gauge names side by side.
  scenes.push_back({"variants",
                    kVariantsPanel,
                    "durationS = 5\n" + own + company + R"(
[[switch]]
timeS = 0
variable = "mode_index"
value = 4
)",
                    {{4, "ivsi-variants", kVariantsRow, false, "IVSI, IVSI2, IVSI3, IVSIb, IVSI2b, IVSI3b in TA/RA"}}});

  // The Transponder's other knobs and switches, and the IVSI following them, in TA/RA with company.
  scenes.push_back({"knobs",
                    kSheetPanel,
                    "durationS = 22\ntransponderCode = 4721\n" + own + company + R"(
[[switch]]
timeS = 0
variable = "mode_index"
value = 4
[[switch]]
timeS = 2
variable = "range_index"
value = 1
[[switch]]
timeS = 4
variable = "range_index"
value = 2
[[switch]]
timeS = 6
variable = "range_index"
value = 3
[[switch]]
timeS = 8
variable = "range_index"
value = 4
[[switch]]
timeS = 10
variable = "range_index"
value = 0
[[switch]]
timeS = 10
variable = "above_below"
value = 0
[[switch]]
timeS = 12
variable = "above_below"
value = 2
[[switch]]
timeS = 14
variable = "above_below"
value = 1
[[switch]]
timeS = 14
variable = "absolute_relative"
value = 0
[[switch]]
timeS = 16
variable = "absolute_relative"
value = 1
[[transponder]]
timeS = 16
lit = true
[[transponder]]
timeS = 18
lit = false
power = false
)",
                    {
                        {1.5, "xpdr-range-6", kSheetTransponder, true, "Transponder, range knob at 6 NM"},
                        {3.5, "xpdr-range-12", kSheetTransponder, true, "Transponder, range knob at 12 NM"},
                        {3.5, "ivsi-range-12", kSheetIvsi, false, "IVSI at the 12 NM range"},
                        {5.5, "xpdr-range-18", kSheetTransponder, true, "Transponder, range knob at 18 NM"},
                        {7.5, "xpdr-range-24", kSheetTransponder, true, "Transponder, range knob at 24 NM"},
                        {9.5, "xpdr-range-40", kSheetTransponder, true, "Transponder, range knob at 40 NM"},
                        {9.5, "ivsi-range-40", kSheetIvsi, false, "IVSI at the 40 NM range"},
                        {11.5, "xpdr-above", kSheetTransponder, true, "Transponder, altitude window switch at ABOVE"},
                        {11.5, "ivsi-above", kSheetIvsi, false, "IVSI with the altitude window ABOVE: ABV"},
                        {13.5, "xpdr-below", kSheetTransponder, true, "Transponder, altitude window switch at BELOW"},
                        {13.5, "ivsi-below", kSheetIvsi, false, "IVSI with the altitude window BELOW: BLW"},
                        {15.5, "xpdr-absolute", kSheetTransponder, true, "Transponder, altitude switch at ABSOLUTE"},
                        {15.5, "ivsi-absolute", kSheetIvsi, false, "IVSI with absolute altitudes in the tags"},
                        {17.5, "xpdr-lit", kSheetTransponder, true, "Transponder with the panel lighting on"},
                        {21.5, "xpdr-off", kSheetTransponder, true, "Transponder without power"},
                    }});

  // A head-on encounter flown by a pilot who follows the advisories: the traffic advisory, then the climb.
  scenes.push_back(
      {"encounter",
       kSheetPanel,
       "durationS = 46\n" + own + R"(
[pilot]
[[switch]]
timeS = 0
variable = "mode_index"
value = 4
[[intruder]]
id = 1001
callsign = "HB-ABC"
[intruder.encounter]
cpaTimeS = 60
horizontalMissNm = 0
verticalMissFt = 0
approachAngleDeg = 180
groundSpeedKt = 250
)",
       {
           {28, "traffic-advisory", kSheetIvsi, false, "a traffic advisory: the yellow circle"},
           {45, "resolution-advisory", kSheetIvsi, false, "a climb advisory: red square, red and green bands"},
       }});

  // An intruder that will pass 300 ft above: the pilot is told to descend.
  scenes.push_back({"descent",
                    kSheetPanel,
                    "durationS = 46\n" + own + R"(
[pilot]
[[switch]]
timeS = 0
variable = "mode_index"
value = 4
[[intruder]]
id = 1002
callsign = "HB-DEF"
[intruder.encounter]
cpaTimeS = 60
horizontalMissNm = 0.2
verticalMissFt = 300
approachAngleDeg = 150
groundSpeedKt = 250
)",
                    {{45, "descent-advisory", kSheetIvsi, false, "a descend advisory: the bands below"}}});
  return scenes;
}

// `rect` of `image`, what lies beyond it filled with the panel's background.
Image Cut(const Image& image, const Rect& rect) {
  Image out(rect.width, rect.height, kPanelBackground);
  for (int y = 0; y < rect.height; ++y)
    for (int x = 0; x < rect.width; ++x) {
      const int sx = rect.x + x, sy = rect.y + y;
      if (sx >= 0 && sy >= 0 && sx < image.width && sy < image.height) out.At(x, y) = image.At(sx, sy);
    }
  return out;
}

}  // namespace

std::vector<ManualPicture> WriteManualPictures(const fs::path& gaugesDir, const fs::path& outDir,
                                               const std::function<void(const std::string&)>& onScene) {
  fs::create_directories(outDir);
  // The scenes' files live in a folder of their own while they are flown.
  const fs::path work = fs::temp_directory_path() / ("kvr-manual-" + std::to_string(::getpid()));
  fs::create_directories(work);
  struct RemoveWork {
    fs::path dir;
    ~RemoveWork() {
      std::error_code ignored;
      fs::remove_all(dir, ignored);
    }
  } removeWork{work};

  std::vector<ManualPicture> written;
  const auto take = [&](const Image& panel, const Capture& capture) {
    const auto write = [&](const Image& image, const std::string& file, const std::string& description) {
      WritePng(image, outDir / file);
      written.push_back({file, description});
    };
    const Image picture = Cut(panel, capture.rect);
    if (capture.doubledOnly) {
      write(ScaleImage(picture, 2), capture.name + ".png", capture.description + " (twice the panel's size)");
    } else {
      write(picture, capture.name + ".png", capture.description);
      write(ScaleImage(picture, 2), capture.name + "-x2.png", capture.description + " (twice the panel's size)");
    }
  };
  for (const Scene& scene : Scenes()) {
    if (onScene) onScene(scene.name);
    const fs::path panelFile = work / (scene.name + ".cfg"), scenarioFile = work / (scene.name + ".toml");
    std::ofstream(panelFile) << scene.panel;
    const std::string text =
        "name = \"" + scene.name + "\"\npanel = \"" + panelFile.filename().string() + "\"\n" + scene.scenario;
    std::ofstream(scenarioFile) << text;
    const Scenario scenario = LoadScenario(scenarioFile);
    RunOptions options;
    options.gaugesDir = gaugesDir;
    ScenarioRun run(scenario, options);
    run.Start();
    PanelRenderer renderer(run.Session().Module(), run.Session().Config(), run.Session().GetPanel());
    for (const Capture& capture : scene.captures) {
      while (run.TimeS() + 1e-9 < capture.timeS)
        if (!run.Step()) throw std::runtime_error("scene " + scene.name + " ended before " + capture.name);
      take(renderer.Render(), capture);
    }
    for (const std::string& warning : run.Warnings()) throw std::runtime_error("scene " + scene.name + ": " + warning);
  }

  for (const BareScene& scene : BareScenes()) {
    if (onScene) onScene(scene.name);
    const fs::path panelFile = work / (scene.name + ".cfg");
    std::ofstream(panelFile) << scene.panel;
    SessionOptions options;
    options.panelFile = panelFile;
    options.gaugesDir = gaugesDir;
    options.fsuipc.versionWord = scene.fsuipcVersionWord;
    PanelSession session(options);
    Panel& panel = session.GetPanel();
    panel.Start();
    PanelRenderer renderer(session.Module(), session.Config(), panel);
    size_t nextSetting = 0;
    constexpr double kFps = 18;
    for (const Capture& capture : scene.captures) {
      while (panel.TimeS() + 1e-9 < capture.timeS) {
        for (; nextSetting < scene.settings.size() && scene.settings[nextSetting].timeS <= panel.TimeS() + 1e-9;
             ++nextSetting) {
          const Setting& setting = scene.settings[nextSetting];
          const PublishedVariable* v = session.Services().Find(setting.variable);
          if (v == nullptr || v->address == nullptr)
            throw std::runtime_error("scene " + scene.name + ": " + setting.variable + " is not published");
          *static_cast<int32_t*>(v->address) = setting.value;
        }
        panel.Frame(kFps);
      }
      take(renderer.Render(), capture);
    }
  }
  return written;
}

}  // namespace kvr::host

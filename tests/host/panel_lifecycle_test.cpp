// The real module driven through a whole panel life by the host, with the FSUIPC server in place: what
// a simulator would see on the panel variables and FSUIPC bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "host/panel_session.h"
#include "host/platform/posix/elf_file.h"
#include "module/platform/resource_pack.h"
#include "tests/gauge/module_fixture.h"
#include "tests/packed_field.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

class PanelLifecycle : public ::testing::Test {
 protected:
  fs::path dir =
      fs::temp_directory_path() / ("kvr_panel_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                   "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());

  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }

  std::unique_ptr<PanelSession> Open(const std::string& gauges) {
    std::ofstream(dir / "panel.cfg") << "[Window00]\n" << gauges;
    SessionOptions options;
    options.panelFile = dir / "panel.cfg";
    options.gaugesDir = testing::BinDir();
    return std::make_unique<PanelSession>(options);
  }

  static int32_t Published(PanelSession& s, const std::string& name) {
    const PublishedVariable* v = s.Services().Find(name);
    EXPECT_NE(v, nullptr) << name;
    return v != nullptr ? *static_cast<const int32_t*>(v->address) : -999;
  }

  static GaugeInstance& Instance(PanelSession& s, const std::string& gauge) {
    for (auto& i : s.GetPanel().Instances())
      if (i->placement.gauge == gauge) return *i;
    throw std::runtime_error("no instance " + gauge);
  }
};

TEST_F(PanelLifecycle, LoadOpensTheLinkAndAWholeLifeKeepsTheOutsideProgramsBytesRight) {
  auto session = Open(
      "gauge00=KVR_TCAS!IVSI, 8, 8, 158, 158, pic=n\n"
      "gauge01=KVR_TCAS!Logic, 0, 0, 1, 1\n"
      "gauge02=KVR_TCAS!Transponder, 184, 40, 228, 89, pic=n\n");
  FsuipcServer& fsuipc = session->Fsuipc();
  // Static initialisation at load found the server and wrote the client's version.
  EXPECT_EQ(fsuipc.ClientVersion(), 1100);
  EXPECT_EQ(fsuipc.Peek<uint32_t>(0x3308), 0xFADE0007u);
  EXPECT_EQ(fsuipc.BlocksRefused(), 0u);

  Panel& panel = session->GetPanel();
  panel.Start();
  // Connection publishes before any installation, whatever the placement order.
  const auto& log = session->Services().PublicationLog();
  ASSERT_GE(log.size(), 11u);
  const auto firstIvsi = std::find(log.begin(), log.end(), "KVR_TCAS!IVSI.redraw");
  EXPECT_LT(std::find(log.begin(), log.end(), "KVR_TCAS!Logic"), firstIvsi);
  EXPECT_LT(std::find(log.begin(), log.end(), "KVR_TCAS!Transponder.power"), firstIvsi);
  EXPECT_EQ(session->Services().Published().size(), 11u);
  EXPECT_EQ(Published(*session, "KVR_TCAS!IVSI.mode_index"), 1);  // standby until someone turns the knob
  EXPECT_EQ(Published(*session, "KVR_TCAS!IVSI.range_index"), 0);
  EXPECT_EQ(fsuipc.Peek<uint8_t>(0x7B90), 1);  // one transponder head counted in

  // The drawing element of the IVSI got a surface the size of its image.
  GaugeInstance& ivsi = Instance(*session, "IVSI");
  ASSERT_NE(testing::Field(ivsi.Root()->children[0]->surfaceInfo), nullptr);
  EXPECT_EQ(ivsi.Root()->children[0]->surfaceInfo->width, 132);
  EXPECT_EQ(ivsi.Root()->children[0]->surfaceInfo->height, 132);
  EXPECT_NE(testing::Field(ivsi.header.gaugeState), nullptr);

  panel.Frame(18);
  EXPECT_EQ(fsuipc.Peek<uint8_t>(0x7B91), 1);  // the mode knob was evaluated in standby
  EXPECT_EQ(Published(*session, "KVR_TCAS!IVSI.redraw"), 0);

  // A pilot turns the IVSI's mode to TA/RA (right clicks on the top-left corner) and the range up.
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(panel.Click(ivsi, 10, 10, kMouseRightSingle));
  EXPECT_TRUE(panel.Click(ivsi, 150, 10, kMouseRightSingle));
  EXPECT_FALSE(panel.Click(ivsi, 79, 79, kMouseLeftSingle));      // the face's centre has no area
  EXPECT_EQ(Published(*session, "KVR_TCAS!IVSI.mode_index"), 4);  // clamped at the top
  EXPECT_EQ(Published(*session, "KVR_TCAS!IVSI.range_index"), 1);
  EXPECT_EQ(Published(*session, "KVR_TCAS!IVSI.redraw"), 1);
  panel.Frame(18);
  EXPECT_EQ(fsuipc.Peek<uint8_t>(0x7B91), 0);
  // The Transponder's knob pictures follow the IVSI's variables.
  GaugeInstance& head = Instance(*session, "Transponder");
  EXPECT_DOUBLE_EQ(head.iconValues[4], 1.0);  // range knob
  EXPECT_DOUBLE_EQ(head.iconValues[5], 4.0);  // mode knob
  EXPECT_DOUBLE_EQ(head.iconValues[7], 2.0);  // absolute/relative: relative is picture 2

  panel.Remove();
  EXPECT_EQ(session->Services().Find("KVR_TCAS!IVSI.mode_index"), nullptr);
  panel.Disconnect();
  EXPECT_EQ(session->Services().Find("KVR_TCAS!Transponder.power"), nullptr);
  EXPECT_EQ(testing::Field(ivsi.header.gaugeState), nullptr);
  EXPECT_EQ(fsuipc.Peek<uint8_t>(0x7B90), 0);  // counted out again

  const uint64_t served = fsuipc.BlocksServed();
  session->Unload();
  EXPECT_EQ(fsuipc.BlocksServed(), served);  // closing the link sends nothing
}

TEST_F(PanelLifecycle, UnknownGaugesAreReportedAndTheRestOfThePanelLoads) {
  auto session = Open(
      "gauge00=KVR_TCAS!Nope, 0, 0\n"
      "gauge01=Other!IVSI, 0, 0\n"
      "gauge02=KVR_TCAS!IVSIb, 10, 10, 316\n");
  ASSERT_EQ(session->Warnings().size(), 2u);
  EXPECT_NE(session->Warnings()[0].find(":2: module KVR_TCAS has no gauge \"Nope\""), std::string::npos);
  EXPECT_NE(session->Warnings()[1].find(":3: module \"Other\" is not loaded"), std::string::npos);
  ASSERT_EQ(session->GetPanel().Instances().size(), 1u);
  const GaugeHeader& placed = session->GetPanel().Instances()[0]->header;
  EXPECT_EQ(placed.width, 316);
  EXPECT_EQ(placed.height, 316);  // in the proportions of the 158 x 158 root image
}

// A copy of the module in dir/gauges with the 32-bit field at byte `field` of its resource bitmap `bitmap`
// (as the module holds it) set to `value`; returns the folder. Resealed, the pack gets the checksum of its
// new contents, as a module built with that bitmap would carry; else it keeps the old one.
fs::path ModuleWithBitmapField(const fs::path& dir, const std::vector<uint8_t>& bitmap, size_t field, int32_t value,
                               bool reseal = true) {
  std::ifstream in(testing::ModuleFile(), std::ios::binary);
  std::vector<char> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const auto byte = [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; };
  const auto at = std::search(file.begin(), file.end(), bitmap.begin(), bitmap.end(), byte);
  if (bitmap.size() < 40 || at == file.end()) throw std::runtime_error("bitmap not found in the module file");
  std::memcpy(&*at + field, &value, 4);
  if (reseal) {
    const std::vector<uint8_t> pack = *ElfFile(testing::ModuleFile()).Section(resource_pack::kSectionName);
    const auto start = std::search(file.begin(), file.end(), pack.begin(), pack.begin() + 80, byte);
    if (start == file.end()) throw std::runtime_error("resource pack not found in the module file");
    auto* bytes = reinterpret_cast<uint8_t*>(&*start);
    const uint32_t checksum = resource_pack::Checksum({bytes, pack.size()});
    std::memcpy(bytes + offsetof(resource_pack::Header, checksum), &checksum, 4);
  }
  const fs::path copy = dir / "gauges" / testing::ModuleFile().filename();
  fs::create_directories(copy.parent_path());
  std::ofstream(copy, std::ios::binary).write(file.data(), static_cast<std::streamsize>(file.size()));
  return copy.parent_path();
}

TEST_F(PanelLifecycle, AGaugeWhoseBitmapHeaderIsUnusableIsLeftOutAndTheRestOfThePanelLoads) {
  const std::string gauges =
      "gauge00=KVR_TCAS!IVSI, 8, 8, 158, 158, pic=n\n"
      "gauge01=KVR_TCAS!Transponder, 184, 40, 228, 89, pic=n\n";
  // The images the IVSI's tree uses: its top image, and the image that sizes its drawing surface.
  std::vector<uint8_t> rootImage, surfaceImage;
  {
    auto session = Open(gauges);
    const GaugeInstance& ivsi = Instance(*session, "IVSI");
    rootImage = session->Module().Bitmap(ivsi.Root()->imageId);
    for (const ElementHeader* e : ivsi.elements)
      if (e->surfaceInfo != nullptr) surfaceImage = session->Module().Bitmap(e->imageId);
    ASSERT_FALSE(rootImage.empty());
    ASSERT_FALSE(surfaceImage.empty());
  }
  struct Case {
    const std::vector<uint8_t>& image;
    size_t field;  // byte offset in the bitmap header: 0 header size, 4 width, 8 height
    int32_t value;
    const char* reason;
  };
  const Case cases[] = {
      {surfaceImage, 4, -132, "out of range"},
      {surfaceImage, 8, 20000, "larger than 4096 pixels a side"},
      {surfaceImage, 4, 8192, "larger than 4096 pixels a side"},  // no 8192-pixel surface is made
      {rootImage, 4, 0, "out of range"},
      {rootImage, 0, 12, "not a BITMAPINFOHEADER"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(&c.image == &rootImage ? "top image" : "surface image") + ", field at " +
                 std::to_string(c.field) + " = " + std::to_string(c.value));
    std::ofstream(dir / "panel.cfg") << "[Window00]\n" << gauges;
    SessionOptions options;
    options.panelFile = dir / "panel.cfg";
    options.gaugesDir = ModuleWithBitmapField(dir, c.image, c.field, c.value);
    std::unique_ptr<PanelSession> session;
    ASSERT_NO_THROW(session = std::make_unique<PanelSession>(options));
    ASSERT_EQ(session->Warnings().size(), 1u);
    EXPECT_NE(session->Warnings()[0].find(":2: "), std::string::npos) << session->Warnings()[0];
    EXPECT_NE(session->Warnings()[0].find(c.reason), std::string::npos) << session->Warnings()[0];
    EXPECT_NE(session->Warnings()[0].find("gauge left out"), std::string::npos) << session->Warnings()[0];
    ASSERT_EQ(session->GetPanel().Instances().size(), 1u);
    EXPECT_EQ(testing::Field(session->GetPanel().Instances()[0]->placement.gauge), "Transponder");
    session->GetPanel().Start();
    session->GetPanel().Frame(18);
  }
}

TEST_F(PanelLifecycle, AModuleWhosePackWasChangedIsRefusedBeforeItIsLoaded) {
  std::vector<uint8_t> image;
  {
    auto session = Open("gauge00=KVR_TCAS!IVSI, 8, 8, 158, 158\n");
    image = session->Module().Bitmap(Instance(*session, "IVSI").Root()->imageId);
  }
  SessionOptions options;
  options.panelFile = dir / "panel.cfg";
  options.gaugesDir = ModuleWithBitmapField(dir, image, 40, 0x00FF00FF, /*reseal=*/false);  // a palette entry
  try {
    PanelSession session(options);
    FAIL() << "loaded";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("resource pack (.kvr_resources) is damaged"), std::string::npos) << e.what();
  }
}

TEST_F(PanelLifecycle, SurfacesBeyondTheBudgetRefuseThePanelAtTheGaugeThatCrossesIt) {
  std::string gauges;
  for (int i = 0; i < 250; ++i) gauges += "gauge" + std::to_string(i) + "=KVR_TCAS!IVSI, 0, 0\n";
  try {
    Open(gauges);
    FAIL() << "placed 250 IVSIs";
  } catch (const PanelBudgetError& e) {
    // Each IVSI's surface is 132 x 132 pixels of 4 bytes; the first that does not fit is refused.
    const int line = 2 + static_cast<int>(kMaxPanelSurfaceBytes / (132 * 132 * 4));
    EXPECT_EQ(std::string(e.what()).rfind((dir / "panel.cfg").string() + ":" + std::to_string(line) + ": ", 0), 0u)
        << e.what();
    EXPECT_NE(std::string(e.what()).find("drawing surfaces would take more than 16 MB"), std::string::npos) << e.what();
  }
}

// The 18 Hz tick counter the gauges time themselves by follows simulated time exactly at any frame rate:
// after n frames at r per second it reads floor(18 n / r), so it never stalls for a frame and then jumps.
TEST_F(PanelLifecycle, TheTickCounterAdvancesEighteenTimesASecondWithoutLosingATick) {
  for (const int rateHz : {18, 20, 30, 36, 60}) {
    SCOPED_TRACE(std::to_string(rateHz) + " frames per second");
    auto session = Open("gauge00=KVR_TCAS!Logic, 0, 0, 1, 1\n");
    Panel& panel = session->GetPanel();
    panel.Start();
    constexpr int kSeconds = 120;
    for (int64_t frame = 1; frame <= int64_t{kSeconds} * rateHz; ++frame) {
      panel.Frame(rateHz);
      const auto tick = static_cast<int64_t>(session->Services().SimVariable(kSimTickCount18Hz));
      ASSERT_EQ(tick, frame * Panel::kTicksPerSecond / rateHz) << "frame " << frame;
      ASSERT_EQ(panel.Ticks(), tick);
    }
    EXPECT_EQ(panel.Ticks(), uint32_t{kSeconds} * Panel::kTicksPerSecond);
    EXPECT_DOUBLE_EQ(panel.TimeS(), kSeconds);
  }
}

TEST_F(PanelLifecycle, EachPlacementOwnsItsHeaderTreeAndState) {
  auto session = Open(
      "gauge00=KVR_TCAS!IVSI, 0, 0, 158, 158, nv=n\n"
      "gauge01=KVR_TCAS!IVSI, 200, 0, 158, 158, pic=n\n");
  session->GetPanel().Start();
  const auto& instances = session->GetPanel().Instances();
  ASSERT_EQ(instances.size(), 2u);
  EXPECT_NE(testing::Field(instances[0]->header.gaugeState), testing::Field(instances[1]->header.gaugeState));
  EXPECT_NE(instances[0]->Root(), instances[1]->Root());
  EXPECT_EQ(testing::Field(instances[0]->Root()->gauge), &instances[0]->header);
  EXPECT_STREQ(instances[1]->header.parameters, "pic=n");
  // Only the second publishes; both read the same module-wide variables.
  EXPECT_EQ(session->Services().Published().size(), 8u);
  EXPECT_TRUE(session->GetPanel().Click(*instances[0], 120, 120, kMouseLeftSingle));
  EXPECT_EQ(Published(*session, "KVR_TCAS!IVSI.absolute_relative"), 1);  // already at the top
  EXPECT_TRUE(session->GetPanel().Click(*instances[0], 120, 120, kMouseRightSingle));
  EXPECT_EQ(Published(*session, "KVR_TCAS!IVSI.absolute_relative"), 0);
}

TEST_F(PanelLifecycle, SelectorReadersBindLazilyAndIgnoreAWrongTypeCode) {
  auto session = Open("gauge00=KVR_TCAS!Transponder, 0, 0, 228, 89, pic=n\n");
  Panel& panel = session->GetPanel();
  panel.Start();
  panel.Frame(18);
  GaugeInstance& head = Instance(*session, "Transponder");
  EXPECT_DOUBLE_EQ(head.iconValues[4], 0.0);  // no IVSI on the panel: its own range

  int32_t range = 3, above = 7;
  PanelHost* host = session->Services().Table();
  host->PublishVariable(&range, kTypeInt32, "KVR_TCAS!IVSI.range_index");
  host->PublishVariable(&above, kTypeFlag32, "KVR_TCAS!IVSI.above_below");
  panel.Frame(18);
  EXPECT_DOUBLE_EQ(head.iconValues[4], 3.0);  // found on a later frame
  EXPECT_DOUBLE_EQ(head.iconValues[6], 1.0);  // a flag is not an index: the reader keeps its own
  range = 9;
  panel.Frame(18);
  EXPECT_DOUBLE_EQ(head.iconValues[4], 4.0);  // clamped
}

// What other gauges of a panel see of the IVSI: its selector variables' type codes, and the direction in
// which each corner's clicks move its selector, from the middle of its range.
TEST_F(PanelLifecycle, IvsiPublishesItsSelectorsWithTheirTypeCodesAndItsCornersStepThem) {
  auto session = Open("gauge00=KVR_TCAS!IVSI, 0, 0, 158, 158, pic=n\n");
  Panel& panel = session->GetPanel();
  panel.Start();
  const std::pair<const char*, uint32_t> typeCodes[] = {
      {"redraw", 17},      {"power", 17},      {"lit", 17},         {"vsi_flag", 17},
      {"range_index", 19}, {"mode_index", 19}, {"above_below", 19}, {"absolute_relative", 19}};
  for (const auto& [name, typeCode] : typeCodes) {
    const PublishedVariable* v = session->Services().Find(std::string("KVR_TCAS!IVSI.") + name);
    ASSERT_NE(v, nullptr) << name;
    EXPECT_EQ(v->typeCode, typeCode) << name;
  }

  GaugeInstance& ivsi = Instance(*session, "IVSI");
  const struct {
    int x, y;
    const char* variable;
    int32_t from, afterLeft, afterRight;
  } corners[] = {
      {10, 10, "mode_index", 2, 1, 3},           // top left: left click down
      {150, 10, "range_index", 2, 1, 3},         // top right: left click down
      {10, 150, "above_below", 1, 2, 0},         // bottom left: left click up
      {150, 150, "absolute_relative", 0, 1, 0},  // bottom right: left click up
  };
  for (const auto& c : corners) {
    SCOPED_TRACE(c.variable);
    auto* value = static_cast<int32_t*>(session->Services().Find(std::string("KVR_TCAS!IVSI.") + c.variable)->address);
    *value = c.from;
    EXPECT_TRUE(panel.Click(ivsi, c.x, c.y, kMouseLeftSingle));
    EXPECT_EQ(*value, c.afterLeft);
    *value = c.from;
    EXPECT_TRUE(panel.Click(ivsi, c.x, c.y, kMouseRightSingle));
    EXPECT_EQ(*value, c.afterRight);
  }
}

TEST(PanelServices, SimulatorVariablesBindingAndEvents) {
  PanelServices services;
  PanelHost* host = services.Table();
  services.SetSimVariable(65, -1300.0);
  services.SetSimInteger(kSimTransponderCode, 0x1200);

  VariableRecord vs = SimVariableRecord(65);
  host->RefreshVariable(&vs);
  EXPECT_DOUBLE_EQ(vs.value.f64, -1300.0);

  VariableRecord code = SimVariableRecord(kSimTransponderCode);
  code.value.f64 = 123.456;  // stale high bits must not survive
  host->InitSimVariable(&code);
  EXPECT_NE(code.typeCode, 0u);
  EXPECT_EQ(code.value.u32, 0x1200u);
  uint64_t raw;
  std::memcpy(&raw, &code.value, 8);
  EXPECT_EQ(raw, 0x1200u);

  VariableRecord bound{};
  host->BindVariable(&bound, "KVR_TCAS!Nothing");
  EXPECT_EQ(testing::Field(bound.valuePointer), nullptr);
  int32_t x = 5;
  host->PublishVariable(&x, kTypeInt32, "KVR_TCAS!Something");
  host->BindVariable(&bound, "KVR_TCAS!Something");
  EXPECT_EQ(testing::Field(bound.valuePointer), &x);
  EXPECT_EQ(bound.typeCode, kTypeInt32);

  host->SendEvent(0x10397, 0);
  ASSERT_EQ(services.Events().size(), 1u);
  EXPECT_EQ(services.Events()[0].eventId, 0x10397u);
  EXPECT_EQ(host->QueryService("ITrafficInfo"), nullptr);
  ServiceObject traffic{};
  services.RegisterService("ITrafficInfo", &traffic);
  EXPECT_EQ(host->QueryService("ITrafficInfo"), &traffic);
}

}  // namespace
}  // namespace kvr::host

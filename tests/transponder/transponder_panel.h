// A panel with the real module loaded by the host, for cases that watch the Transponder from outside:
// published variables, FSUIPC bytes, element flags, icon values and code-window pixels.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/panel_session.h"
#include "tests/gauge/module_fixture.h"

namespace kvr::testing {

// The head's elements in the host's copy, parents before children.
enum HeadElement { kBase = 0, kBacklight, kCodeWindow, kReplyLight, kRangeKnob, kModeKnob, kAboveBelow, kAbsRel };

inline constexpr uint32_t kFacePixel = 0x180828;  // Windows colour 0x280818 as a 0x00RRGGBB surface word
inline constexpr uint32_t kDigitPixel = 0xF8F8F8;
inline constexpr int32_t kModeTaOnly = 3, kModeTaRa = 4;  // values of "KVR_TCAS!IVSI.mode_index"

// Points inside the head's mouse areas, in design pixels.
struct ClickPoint {
  int x, y;
};
inline constexpr ClickPoint kDigitArea[4] = {{95, 40}, {107, 40}, {119, 40}, {131, 40}};
inline constexpr ClickPoint kRangeArea{165, 60}, kModeArea{50, 60}, kAboveBelowArea{30, 10}, kAbsRelArea{70, 10},
    kIdentArea{140, 70};

class TransponderPanel : public ::testing::Test {
 protected:
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kvr_transponder_" + std::to_string(::getpid()) + "_" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::unique_ptr<host::PanelSession> session;

  void SetUp() override { std::filesystem::create_directories(dir); }
  void TearDown() override {
    session.reset();
    std::filesystem::remove_all(dir);
  }

  // Loads (not starts) a panel of the given gauge lines; each load starts the module from its load state.
  host::PanelSession& Open(const std::string& gauges) {
    session.reset();
    std::ofstream(dir / "panel.cfg") << "[Window00]\n" << gauges;
    session = std::make_unique<host::PanelSession>(host::SessionOptions{dir / "panel.cfg", BinDir(), {}});
    return *session;
  }

  host::Panel& Panel() { return session->GetPanel(); }
  host::FsuipcServer& Fsuipc() { return session->Fsuipc(); }
  void Frames(int count) {
    for (int i = 0; i < count; ++i) Panel().Frame(18);
  }
  host::GaugeInstance& Head() {
    for (auto& instance : Panel().Instances())
      if (instance->placement.gauge == "Transponder") return *instance;
    throw std::runtime_error("no Transponder on the panel");
  }
  ElementHeader& Element(HeadElement e) { return *Head().elements.at(e); }
  double Icon(HeadElement e) { return Head().iconValues.at(e); }
  bool Hidden(HeadElement e) { return (Element(e).flags & kElementHidden) != 0; }
  // How often the head cleared the element's on-screen bit (the panel sets it again after each frame).
  uint64_t Redraws(HeadElement e) { return Head().redraws.at(e); }
  bool Click(ClickPoint at, uint32_t flags) { return Panel().Click(Head(), at.x, at.y, flags); }

  int32_t* Variable(const std::string& name) {
    const host::PublishedVariable* v = session->Services().Find(name);
    return v != nullptr ? static_cast<int32_t*>(v->address) : nullptr;
  }
  int32_t& Must(const std::string& name) {
    if (int32_t* v = Variable(name)) return *v;
    throw std::runtime_error(name + " is not published");
  }

  HostSurface& CodeSurface() { return *static_cast<HostSurface*>(Element(kCodeWindow).deviceContext); }
  std::vector<uint32_t> CodeWindowPixels() {
    return {CodeSurface().pixels, CodeSurface().pixels + CodeSurface().width * CodeSurface().height};
  }
};

inline size_t CountPixels(const std::vector<uint32_t>& pixels, uint32_t word) {
  return static_cast<size_t>(std::count(pixels.begin(), pixels.end(), word));
}

}  // namespace kvr::testing

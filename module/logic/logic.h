// The traffic and collision logic: the traffic picture (`TrafficSource` and its two feeds), the traffic
// frame that runs the collision-avoidance library, and the invisible Logic gauge that owns them.
#pragma once

#include <cstdint>

#include "avertine/avertine.h"
#include "module/gauge/panel_sdk.h"

namespace kvr {

// ---- The traffic picture --------------------------------------------------------------------------------
// One object of a concrete variant exists while a Logic gauge is installed; its address is in the cell
// published as "KVR_TCAS!Logic". Readers walk `intruderOrder[0 .. intruderCount)` and skip entries whose
// `id` or `valid` is 0. Everything is changed only inside `Update` and the Logic gauge's frame step, on
// the panel thread, between display frames.
class TrafficSource {
 public:
  virtual ~TrafficSource();

  // True while the simulator is paused.
  virtual bool IsPaused() = 0;
  // True when the feed is usable; otherwise stores the missing component's name ("FSUIPC",
  // "TrafficInfo", static text) through `missingName` and answers false.
  virtual bool CheckAvailable(const char** missingName) = 0;
  virtual bool IsAvailable() = 0;
  // One traffic frame. True when a frame was processed (also a Standby frame), false when the feed was
  // not usable; the picture is then left as it was.
  virtual bool Update(float latitudeDeg, float longitudeDeg, float trueAltitudeFt, float pressureAltitudeFt,
                      float radioAltitudeFt, float headingDeg, OperatingMode mode) = 0;

  uint32_t updateCount = 0;                 // +1 after every Update call; readers redraw when it changes
  IntruderEntry** intruderOrder = nullptr;  // display order, first painted first; owned by the variant
  int32_t intruderCount = 0;                // positions in intruderOrder
  int32_t taCount = 0;                      // entries in use and valid in TrafficAdvisory
  int32_t raCount = 0;                      // entries in use and valid in ResolutionAdvisory
  AdvisoryRecord advisory{};                // the library's advisory of the latest frame
  float ownPressureAltitudeFt = 0;          // of the latest frame, feet
  uint16_t lastTick = 0;                    // 18 Hz tick of the last traffic frame (Logic gauge)
  AvertineHandle logicHandle = nullptr;     // the library instance
  OwnShipRecord ownShipInput{};
  IntruderInputRecord intruderInput{};

 protected:
  TrafficSource();

  // What a feed offers for one list position.
  struct Candidate {
    bool present = false;
    uint32_t id = 0;
    float latitudeDeg = 0;
    float longitudeDeg = 0;
    double altitudeFt = 0;  // above mean sea level
  };

  // The shared frame, once the variant has checked its feed and set `intruderCount`: fills the own-ship
  // record and, unless in Standby, feeds the library. `fetchSlots` runs after the own-ship update and
  // before the first candidate; `candidate(i)` gives position i. Always answers true. Defined in
  // traffic_frame.h, which the variants include.
  template <typename FetchSlots, typename CandidateAt>
  bool RunFrame(float latitudeDeg, float longitudeDeg, float trueAltitudeFt, float pressureAltitudeFt,
                float radioAltitudeFt, float headingDeg, OperatingMode mode, bool slew, FetchSlots fetchSlots,
                CandidateAt candidate);

  // The entry table and display list, `positions` long; false when they cannot be allocated.
  bool AllocateTables(int32_t positions);
  int32_t TablePositions() const { return tablePositions_; }

 private:
  bool BeginFrame(float latitudeDeg, float longitudeDeg, float trueAltitudeFt, float pressureAltitudeFt,
                  float radioAltitudeFt, float headingDeg, OperatingMode mode, bool slew);
  void FeedCandidate(int32_t position, const Candidate& candidate, double pressureMinusTrueFt);
  void FinishFrame(float radioAltitudeFt);

  IntruderEntry* entries_ = nullptr;
  int32_t tablePositions_ = 0;
  uint32_t advisoryTagArea_ = 0;  // the zero-filled area whose address is the initial advisory tag
};

// Takes the traffic from FSUIPC's traffic tables (0xF000 on), and pause and slew from FSUIPC.
class FsuipcTrafficSource final : public TrafficSource {
 public:
  static constexpr uint32_t kBufferBytes = 4096;
  static constexpr uint32_t kHeaderBytes = 8;
  static constexpr uint32_t kPreambleBytes = 120;  // the block read with the slots, not interpreted

  FsuipcTrafficSource();
  ~FsuipcTrafficSource() override;
  bool IsPaused() override;
  bool CheckAvailable(const char** missingName) override;
  bool IsAvailable() override;
  bool Update(float latitudeDeg, float longitudeDeg, float trueAltitudeFt, float pressureAltitudeFt,
              float radioAltitudeFt, float headingDeg, OperatingMode mode) override;

 private:
  alignas(4) uint8_t buffer_[kBufferBytes] = {};
};

// Takes the traffic from the simulator's ITrafficInfo service; only the pause state from FSUIPC.
class TrafficInfoSource final : public TrafficSource {
 public:
  static constexpr double kSearchRadiusM = 74080.0;  // 40 nautical miles
  static constexpr int32_t kMaxTraffic = 100;

  TrafficInfoSource();
  ~TrafficInfoSource() override;
  bool IsPaused() override;
  bool CheckAvailable(const char** missingName) override;
  bool IsAvailable() override;
  bool Update(float latitudeDeg, float longitudeDeg, float trueAltitudeFt, float pressureAltitudeFt,
              float radioAltitudeFt, float headingDeg, OperatingMode mode) override;

 private:
  ServiceObject* trafficInfo_ = nullptr;
  int32_t isUserSim_ = 0, latitude_ = 0, longitude_ = 0, altitude_ = 0;  // variable handles
  int32_t feet_ = 0, bool_ = 0, degrees_ = 0;                            // unit handles
};

// The pause word at FSUIPC 0x0264, false when the link is down. Shared by both feeds.
bool ReadFsuipcPause();

// ---- The Logic gauge --------------------------------------------------------------------------------------

// The module-wide cell published as "KVR_TCAS!Logic" (type code 38): the current source, or null.
extern TrafficSource* logicCell;
inline constexpr char kLogicVariableName[] = "KVR_TCAS!Logic";

struct LogicOptions {
  bool trafficInfo = false;  // "trafficinfo": take traffic from ITrafficInfo instead of FSUIPC
  int32_t volume = -300;     // "volume": hundredths of a decibel for the announcer
};
LogicOptions ParseLogicOptions(const char* parameters);

// The operating mode the selector variables ask for (power, mode_index, vsi_flag).
OperatingMode ModeFromSelectors();

// [panel thread] Callback codes, dispatched by the gauge table.
void LogicConnect(GaugeHeader* gauge);
void LogicInstall(GaugeHeader* gauge, uintptr_t moduleHandle);
void LogicUpdate(GaugeHeader* gauge);
void LogicDisconnect(GaugeHeader* gauge);

}  // namespace kvr

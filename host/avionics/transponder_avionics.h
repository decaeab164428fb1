// What a scenario needs of the transponder side of the simulator in one piece: the simulator's transponder
// (code and digit knobs), the outside program behind FSUIPC 0x7B90-0x7B93, and the switches a panel's
// electrical and lighting gauges would set on the Transponder head ("KVR_TCAS!Transponder.power", ".lit").
//
// How a scenario runner drives it:
//   - make it after the PanelSession (and after anything else that sets PanelServices::onEvent) and before
//     Panel::Start; destroy it before the session;
//   - optionally SetCode(...) before Start, so the head's first draw shows the scenario's squawk;
//   - every frame, call Advance(frame length in seconds) before Panel::Frame, so that the interrogations
//     of the frame reach the head's update in the same frame;
//   - SetPower / SetLit once the panel is connected (the head publishes the two at connection).
#pragma once

#include <cstdint>

#include "host/avionics/reply_program.h"
#include "host/avionics/sim_transponder.h"
#include "host/panel_session.h"

namespace kvr::host {

class TransponderAvionics {
 public:
  static constexpr char kPowerName[] = "KVR_TCAS!Transponder.power";
  static constexpr char kLitName[] = "KVR_TCAS!Transponder.lit";

  TransponderAvionics(PanelServices& services, FsuipcServer& fsuipc);
  explicit TransponderAvionics(PanelSession& session);

  SimTransponder& Transponder() { return transponder_; }
  TransponderReplyProgram& ReplyProgram() { return replies_; }

  void SetCode(uint16_t codeBcd) { transponder_.SetCode(codeBcd); }
  void SetInterrogationRate(double perSecond) { replies_.SetInterrogationRate(perSecond); }
  void Advance(double seconds) { replies_.Advance(seconds); }

  // Store 1 or 0 in the head's published flag; false (and nothing stored) while it is not published as a
  // 32-bit flag. With the head's "pic" option on, its draw overwrites power with the systems probe's answer.
  bool SetPower(bool on) { return SetFlag(kPowerName, on); }
  bool SetLit(bool on) { return SetFlag(kLitName, on); }

 private:
  bool SetFlag(const char* name, bool on);

  PanelServices& services_;
  SimTransponder transponder_;
  TransponderReplyProgram replies_;
};

}  // namespace kvr::host

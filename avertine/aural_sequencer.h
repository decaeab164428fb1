// Decides the one aural message due in a frame: the advisory's message when a resolution advisory
// starts or changes, "clear of conflict" when it ends, "traffic, traffic" when a traffic advisory starts
// (a plain "traffic" when another one is already shown). Each message is reported on its frame only.
#pragma once

#include "avertine/advisory_generator.h"
#include "avertine/avertine.h"

namespace avertine {

class AuralSequencer {
 public:
  void BeginFrame() { newTrafficAdvisory_ = false; }
  // An intruder became a traffic advisory this frame.
  void NoteTrafficAdvisoryStart() { newTrafficAdvisory_ = true; }

  // The code due this frame, given the resolution advisory's event and state after it and how many
  // traffic advisories were shown before this frame.
  kvr::AuralCode Decide(AdvisoryEvent event, const Advisory& advisory, int trafficAdvisoriesBefore) const;

  // The message that announces an advisory in its current state.
  static kvr::AuralCode AdvisoryMessage(const Advisory& advisory);

 private:
  bool newTrafficAdvisory_ = false;
};

}  // namespace avertine

// The host's side of the panel SDK: the PanelHost table a loaded module calls, and the state behind it —
// named variables, simulator variables, events, services and the generic gauge routines.
//
// The table's entries carry no context argument, so they reach the one active PanelServices of the
// process, as a simulator has one panel system. Everything runs on the panel thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "module/gauge/panel_sdk.h"

namespace kvr::host {

struct PublishedVariable {
  void* address = nullptr;
  uint32_t typeCode = 0;
};

struct SentEvent {
  uint32_t eventId;
  uint32_t parameter;
};

class PanelServices {
 public:
  PanelServices();   // becomes the active instance
  ~PanelServices();  // stops being active
  PanelServices(const PanelServices&) = delete;
  PanelServices& operator=(const PanelServices&) = delete;

  PanelHost* Table() { return &table_; }

  // ---- Named variables
  const std::map<std::string, PublishedVariable>& Published() const { return published_; }
  // Every publication ever made, in order, withdrawn ones included: what a panel log would show.
  const std::vector<std::string>& PublicationLog() const { return publicationLog_; }
  const PublishedVariable* Find(const std::string& name) const;

  // ---- Simulator variables, by number, in the units the module converts from.
  void SetSimVariable(uint32_t id, double value) { simVariables_[id] = value; }
  double SimVariable(uint32_t id) const;
  // Variables whose value is an integer in the record's low 32 bits (the transponder code).
  void SetSimInteger(uint32_t id, uint32_t value) { simIntegers_[id] = value; }
  uint32_t SimInteger(uint32_t id) const;

  // ---- Events: recorded, then handed to the handler if one is set.
  const std::vector<SentEvent>& Events() const { return events_; }
  std::function<void(uint32_t eventId, uint32_t parameter)> onEvent;

  // ---- Services by name (for example "ITrafficInfo").
  void RegisterService(const std::string& name, void* service) { services_[name] = service; }

  // ---- Generic gauge routines: how often each slot was called and with which element.
  struct RoutineCalls {
    int count = 0;
    ElementHeader* lastElement = nullptr;
    uintptr_t lastArgument = 0;
  };
  enum Routine { kQuery, kInstall, kInitialise, kUpdate, kGenerate, kDraw, kKill, kRoutineCount };
  const RoutineCalls& Calls(Routine r) const { return routineCalls_[r]; }

 private:
  static PanelServices* active_;
  static PanelServices& Active();

  static void KVR_FSAPI InitSimVariableEntry(VariableRecord* record);
  static void KVR_FSAPI RefreshVariableEntry(VariableRecord* record);
  static int32_t KVR_FSAPI PublishVariableEntry(void* address, uint32_t typeCode, const char* name);
  static void KVR_FSAPI WithdrawVariableEntry(const char* name);
  static void KVR_FSAPI BindVariableEntry(VariableRecord* record, const char* name);
  static int32_t KVR_FSAPI SendEventEntry(uint32_t eventId, uint32_t parameter);
  static void* KVR_FSAPI QueryServiceEntry(const char* name);
  template <Routine R>
  static int32_t KVR_FSAPI RoutineEntry(ElementHeader* element);
  template <Routine R>
  static int32_t KVR_FSAPI RoutineWithArgumentEntry(ElementHeader* element, uintptr_t argument);

  PanelHost table_{};
  std::map<std::string, PublishedVariable> published_;
  std::vector<std::string> publicationLog_;
  std::map<uint32_t, double> simVariables_;
  std::map<uint32_t, uint32_t> simIntegers_;
  std::vector<SentEvent> events_;
  std::map<std::string, void*> services_;
  RoutineCalls routineCalls_[kRoutineCount];
};

}  // namespace kvr::host

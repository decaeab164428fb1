// The host's side of the panel SDK: the PanelHost table a loaded module calls, laid out as the simulator
// lays out its own, and the state behind it — named variables, simulator variables, events, named host
// objects and the generic gauge routines.
//
// The host is as strict as the simulator: every word of the table it does not serve holds a trap that names
// the word and ends the program with exit code 3 (kTrapExitCode), so a module that calls the wrong word
// fails at once instead of meeting a forgiving stand-in.
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

// Exit code of a program whose module called what the host does not serve.
inline constexpr int kTrapExitCode = 3;

// Reports a call the host does not serve (`what` names it: a table word, a host object's operation) and
// ends the program with kTrapExitCode. Never returns: the caller's arguments are unknown, so its frame
// cannot be unwound in its own calling convention.
[[noreturn]] void Trap(const char* what);

// Which simulator's table to lay out. An FS2002 table ends before the named-object query (word 77): the
// words from 43 on then hold data that follows the table, not routines.
enum class TableEdition { kFs2004, kFs2002 };

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
  explicit PanelServices(TableEdition edition = TableEdition::kFs2004);  // becomes the active instance
  ~PanelServices();                                                      // stops being active
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

  // ---- Named host objects (for example "ITrafficInfo"), answered by word 77.
  void RegisterService(const std::string& name, ServiceObject* service) { services_[name] = service; }

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
  static void KVR_FSAPI PublishVariableEntry(void* address, uint32_t typeCode, const char* name);
  static void KVR_FSAPI WithdrawVariableEntry(const char* name);
  static void KVR_FSAPI BindVariableEntry(VariableRecord* record, const char* name);
  static int32_t KVR_FSAPI SendEventEntry(uint32_t eventId, uint32_t parameter);
  static ServiceObject* KVR_FSAPI QueryServiceEntry(const char* name);
  template <Routine R>
  static int32_t KVR_FSAPI RoutineEntry(ElementHeader* element);
  template <Routine R>
  static int32_t KVR_FSAPI RoutineWithArgumentEntry(ElementHeader* element, uintptr_t argument);

  PanelHost table_{};
  uint32_t pastTheTable_[8] = {};  // what an FS2002 table's missing words point at: data, not code
  std::map<std::string, PublishedVariable> published_;
  std::vector<std::string> publicationLog_;
  std::map<uint32_t, double> simVariables_;
  std::map<uint32_t, uint32_t> simIntegers_;
  std::vector<SentEvent> events_;
  std::map<std::string, ServiceObject*> services_;
  RoutineCalls routineCalls_[kRoutineCount];
};

}  // namespace kvr::host

#include "host/panel_services.h"

#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace kvr::host {

void Trap(const char* what) {
  std::fprintf(stderr, "kvr-panel: the module called %s, which this host does not serve\n", what);
  std::fflush(nullptr);
  std::_Exit(kTrapExitCode);
}

namespace {

// What the simulator keeps in each word the module has no business calling.
const char* WordRole(int word) {
  if (word <= 5) return "the table's header";
  if (word <= 23) return "panel windows, tooltips, reserved";
  if (word == 30) return "the element erase routine";
  if (word <= 34) return "the mouse-list routines";
  if (word == 35) return "the panel-window toggle";
  if (word == 42) return "withdraw all named variables";
  return "a service this module does not use";
}

template <int Word>
void KVR_FSAPI TrapWord() {
  char what[96];
  std::snprintf(what, sizeof what, "word %d of the panel-service table (%s)", Word, WordRole(Word));
  Trap(what);
}

template <int... Words>
constexpr HostRoutine kTraps[] = {TrapWord<Words>...};

template <int... Words>
constexpr const HostRoutine* TrapTable(std::integer_sequence<int, Words...>) {
  return kTraps<Words...>;
}

// Writes `routine` into word `word` of `table`, whatever the word's declared type.
void SetWord(PanelHost& table, int word, HostRoutine routine) {
  std::memcpy(reinterpret_cast<unsigned char*>(&table) + PanelHostWordOffset(word), &routine, sizeof routine);
}

constexpr uint32_t kTableVersion = 0x0900;

}  // namespace

PanelServices* PanelServices::active_ = nullptr;

PanelServices& PanelServices::Active() {
  assert(active_ != nullptr && "a module called the panel with no PanelServices alive");
  return *active_;
}

PanelServices::PanelServices(TableEdition edition) {
  // Traps first, in every routine word; then the header and the words this host serves.
  const HostRoutine* traps = TrapTable(std::make_integer_sequence<int, kPanelHostWords>());
  for (int word = 1; word < kPanelHostWords; ++word)
    if (word < 3 || word > 5) SetWord(table_, word, traps[word]);
  table_.tableId = kPanelServiceTableId;
  table_.version = kTableVersion;
  table_.InitSimVariable = InitSimVariableEntry;
  table_.RefreshVariable = RefreshVariableEntry;
  table_.PublishVariable = PublishVariableEntry;
  table_.WithdrawVariable = WithdrawVariableEntry;
  table_.BindVariable = BindVariableEntry;
  table_.SendEvent = SendEventEntry;
  table_.QueryService = QueryServiceEntry;
  table_.GaugeQuery = RoutineEntry<kQuery>;
  table_.GaugeInstall = RoutineWithArgumentEntry<kInstall>;
  table_.GaugeInitialise = RoutineEntry<kInitialise>;
  table_.GaugeUpdate = RoutineEntry<kUpdate>;
  table_.GaugeGenerate = RoutineWithArgumentEntry<kGenerate>;
  table_.GaugeDraw = RoutineEntry<kDraw>;
  table_.GaugeKill = RoutineEntry<kKill>;
  if (edition == TableEdition::kFs2002) {
    // The table ends after word 42; what follows is data.
    for (int word = 43; word < kPanelHostWords; ++word)
      SetWord(table_, word, reinterpret_cast<HostRoutine>(pastTheTable_));
  }
  active_ = this;
}

PanelServices::~PanelServices() {
  if (active_ == this) active_ = nullptr;
}

const PublishedVariable* PanelServices::Find(const std::string& name) const {
  auto it = published_.find(name);
  return it == published_.end() ? nullptr : &it->second;
}

double PanelServices::SimVariable(uint32_t id) const {
  auto it = simVariables_.find(id);
  return it == simVariables_.end() ? 0.0 : it->second;
}

uint32_t PanelServices::SimInteger(uint32_t id) const {
  auto it = simIntegers_.find(id);
  return it == simIntegers_.end() ? 0 : it->second;
}

// Prepares the record as the simulator does: the variable's own type code, then a first refresh.
void KVR_FSAPI PanelServices::InitSimVariableEntry(VariableRecord* record) {
  if (record == nullptr) return;
  record->typeCode = Active().simIntegers_.count(record->id) ? kTypeInt32 : kTypeFloat64;
  RefreshVariableEntry(record);
}

// As the simulator's refresh: the current value moves to `previous`, then the new one is written. Both are
// whole 8-byte values, so a record laid out too short shows as its neighbour overwritten.
void KVR_FSAPI PanelServices::RefreshVariableEntry(VariableRecord* record) {
  if (record == nullptr) return;
  PanelServices& self = Active();
  record->previous = record->value;
  VariableValue value{};
  if (auto it = self.simIntegers_.find(record->id); it != self.simIntegers_.end())
    value.u32 = it->second;  // the high half stays 0
  else value.f64 = self.SimVariable(record->id);
  record->value = value;
}

void KVR_FSAPI PanelServices::PublishVariableEntry(void* address, uint32_t typeCode, const char* name) {
  if (name == nullptr) return;
  PanelServices& self = Active();
  self.published_[name] = {address, typeCode};
  self.publicationLog_.emplace_back(name);
}

void KVR_FSAPI PanelServices::WithdrawVariableEntry(const char* name) {
  if (name != nullptr) Active().published_.erase(name);
}

void KVR_FSAPI PanelServices::BindVariableEntry(VariableRecord* record, const char* name) {
  if (record == nullptr || name == nullptr) return;
  if (const PublishedVariable* found = Active().Find(name)) {
    record->valuePointer = found->address;
    record->typeCode = found->typeCode;
  }
}

int32_t KVR_FSAPI PanelServices::SendEventEntry(uint32_t eventId, uint32_t parameter) {
  PanelServices& self = Active();
  self.events_.push_back({eventId, parameter});
  if (self.onEvent) self.onEvent(eventId, parameter);
  return 1;
}

ServiceObject* KVR_FSAPI PanelServices::QueryServiceEntry(const char* name) {
  if (name == nullptr) return nullptr;
  PanelServices& self = Active();
  auto it = self.services_.find(name);
  return it == self.services_.end() ? nullptr : it->second;
}

template <PanelServices::Routine R>
int32_t KVR_FSAPI PanelServices::RoutineEntry(ElementHeader* element) {
  RoutineCalls& calls = Active().routineCalls_[R];
  ++calls.count;
  calls.lastElement = element;
  return 1;
}

template <PanelServices::Routine R>
int32_t KVR_FSAPI PanelServices::RoutineWithArgumentEntry(ElementHeader* element, uintptr_t argument) {
  RoutineCalls& calls = Active().routineCalls_[R];
  ++calls.count;
  calls.lastElement = element;
  calls.lastArgument = argument;
  return 1;
}

}  // namespace kvr::host

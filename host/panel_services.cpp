#include "host/panel_services.h"

#include <cassert>

namespace kvr::host {

PanelServices* PanelServices::active_ = nullptr;

PanelServices& PanelServices::Active() {
  assert(active_ != nullptr && "a module called the panel with no PanelServices alive");
  return *active_;
}

PanelServices::PanelServices() {
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

void KVR_FSAPI PanelServices::InitSimVariableEntry(VariableRecord* record) {
  if (record == nullptr) return;
  record->typeCode = Active().simIntegers_.count(record->id) ? kTypeInt32 : kTypeSimFloat64;
  RefreshVariableEntry(record);
}

void KVR_FSAPI PanelServices::RefreshVariableEntry(VariableRecord* record) {
  if (record == nullptr) return;
  PanelServices& self = Active();
  if (auto it = self.simIntegers_.find(record->id); it != self.simIntegers_.end()) {
    record->value.f64 = 0;  // clears the high half
    record->value.u32 = it->second;
  } else {
    record->value.f64 = self.SimVariable(record->id);
  }
}

int32_t KVR_FSAPI PanelServices::PublishVariableEntry(void* address, uint32_t typeCode, const char* name) {
  if (name == nullptr) return 0;
  PanelServices& self = Active();
  self.published_[name] = {address, typeCode};
  self.publicationLog_.emplace_back(name);
  return 1;
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

void* KVR_FSAPI PanelServices::QueryServiceEntry(const char* name) {
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

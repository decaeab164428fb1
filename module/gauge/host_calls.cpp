// The ImportTable record, the guarded calls through it, and the option readers.
#include <cstdio>
#include <cstring>

#include "module/gauge/gauge.h"
#include "module/platform/platform.h"

// Exported by name; the host writes its table address into `panel.table` before any gauge runs.
extern "C" {
__attribute__((visibility("default"))) kvr::ImportTableRecord ImportTable = {
    {kvr::kPanelServiceTableId, nullptr},
    {0, nullptr},
};
}

namespace kvr {

PanelHost* Host() { return ImportTable.panel.table; }

void PublishVariable(void* address, uint32_t typeCode, const char* name) {
  if (PanelHost* host = Host(); host && host->PublishVariable) host->PublishVariable(address, typeCode, name);
}

void WithdrawVariable(const char* name) {
  if (PanelHost* host = Host(); host && host->WithdrawVariable) host->WithdrawVariable(name);
}

void BindVariable(VariableRecord* record, const char* name) {
  if (PanelHost* host = Host(); host && host->BindVariable) host->BindVariable(record, name);
}

void InitSimVariable(VariableRecord* record) {
  if (PanelHost* host = Host(); host && host->InitSimVariable) host->InitSimVariable(record);
}

void RefreshVariable(VariableRecord* record) {
  if (PanelHost* host = Host(); host && host->RefreshVariable) host->RefreshVariable(record);
}

void SendEvent(uint32_t eventId, uint32_t parameter) {
  if (PanelHost* host = Host(); host && host->SendEvent) host->SendEvent(eventId, parameter);
}

ServiceObject* QueryService(const char* name) {
  // The named-object query is the table's word 77. A simulator whose table ends before it leaves whatever
  // memory follows the table there, so the word is called only when it holds the address of loaded code:
  // otherwise the module goes without host objects (the traffic-service source then shows its failure).
  PanelHost* host = Host();
  if (host == nullptr) return nullptr;
  const void* routine = platform::CodeAddressAt(reinterpret_cast<const void* const*>(&host->QueryService));
  return routine != nullptr ? host->QueryService(name) : nullptr;
}

const char* OptionValue(const char* parameters, const char* name) {
  if (parameters == nullptr || name == nullptr) return nullptr;
  const char* found = std::strstr(parameters, name);
  if (found == nullptr) return nullptr;
  const char* afterName = found + std::strlen(name);
  return *afterName == '\0' ? afterName : afterName + 1;  // skip exactly one separator, never the end
}

bool SwitchOption(const char* parameters, const char* name, bool defaultValue) {
  const char* value = OptionValue(parameters, name);
  if (value == nullptr) return defaultValue;
  return *value == 'y' || *value == 'Y' || *value == '1';
}

int32_t IntegerOption(const char* parameters, const char* name, int32_t defaultValue) {
  const char* value = OptionValue(parameters, name);
  int parsed = 0;
  if (value == nullptr || std::sscanf(value, "%d", &parsed) != 1) return defaultValue;
  return parsed;
}

float FloatOption(const char* parameters, const char* name, float defaultValue) {
  const char* value = OptionValue(parameters, name);
  float parsed = 0;
  if (value == nullptr || std::sscanf(value, "%f", &parsed) != 1) return defaultValue;
  return parsed;
}

}  // namespace kvr

// What the module's subsystems use of the panel: the host's services through the ImportTable, guarded so
// that a host which never filled the table leaves the module without services instead of crashing; and
// the parameter-string options every gauge reads. The records themselves are in panel_sdk.h.
#pragma once

#include <cstdint>

#include "module/gauge/panel_sdk.h"

namespace kvr {

// The host's table, or null before the host wrote it.
PanelHost* Host();

// [panel thread] The services; each does nothing (or answers null) while there is no host table.
void PublishVariable(void* address, uint32_t typeCode, const char* name);
void WithdrawVariable(const char* name);
void BindVariable(VariableRecord* record, const char* name);
void InitSimVariable(VariableRecord* record);
void RefreshVariable(VariableRecord* record);
void SendEvent(uint32_t eventId, uint32_t parameter);
ServiceObject* QueryService(const char* name);

// Options in a gauge's parameter string. An option is the first case-sensitive occurrence of its name;
// its value starts one character after the name (any one separator: "pic=n", "pic n", "pic:n" read alike).
// A missing option, or one whose value does not parse, keeps the default.

// Switch: on for 'y', 'Y' or '1'; the end of the string counts as another character (off).
bool SwitchOption(const char* parameters, const char* name, bool defaultValue);
// Decimal integer read as "%d".
int32_t IntegerOption(const char* parameters, const char* name, int32_t defaultValue);
// Decimal floating point read as "%f".
float FloatOption(const char* parameters, const char* name, float defaultValue);
// Start of the option's value (one character after the name, or the string's end), or null when absent.
const char* OptionValue(const char* parameters, const char* name);

}  // namespace kvr

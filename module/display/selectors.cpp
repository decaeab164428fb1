// The module-wide selector variables: storage, names, publication and the selected range.
#include "module/display/display.h"
#include "module/gauge/gauge.h"

namespace kvr {

constinit SelectorVariables selectors;
constinit float selectedRangeNm = kRangeTableNm[0];

namespace {

struct SelectorInfo {
  const char* name;
  uint32_t typeCode;
  int32_t SelectorVariables::*field;
};

constexpr SelectorInfo kSelectors[kSelectorCount] = {
    {kRedrawVariable, kTypeFlag32, &SelectorVariables::redraw},
    {"KVR_TCAS!IVSI.power", kTypeFlag32, &SelectorVariables::power},
    {"KVR_TCAS!IVSI.lit", kTypeFlag32, &SelectorVariables::lit},
    {"KVR_TCAS!IVSI.vsi_flag", kTypeFlag32, &SelectorVariables::vsiFlag},
    {kRangeIndexVariable, kTypeInt32, &SelectorVariables::rangeIndex},
    {kModeIndexVariable, kTypeInt32, &SelectorVariables::modeIndex},
    {kAboveBelowVariable, kTypeInt32, &SelectorVariables::aboveBelow},
    {kAbsoluteRelativeVariable, kTypeInt32, &SelectorVariables::absoluteRelative},
};

bool ValidIndex(int index) { return index >= 0 && index < kSelectorCount; }

}  // namespace

const char* SelectorName(int index) { return ValidIndex(index) ? kSelectors[index].name : nullptr; }

uint32_t SelectorTypeCode(int index) { return ValidIndex(index) ? kSelectors[index].typeCode : 0; }

int32_t* SelectorStorage(int index) { return ValidIndex(index) ? &(selectors.*kSelectors[index].field) : nullptr; }

float UpdateSelectedRange() {
  if (selectors.rangeIndex < 0) selectors.rangeIndex = 0;
  if (selectors.rangeIndex > 4) selectors.rangeIndex = 4;
  selectedRangeNm = kRangeTableNm[selectors.rangeIndex];
  return selectedRangeNm;
}

void PublishSelectorVariables() {
  for (int i = 0; i < kSelectorCount; ++i)
    PublishVariable(SelectorStorage(i), kSelectors[i].typeCode, kSelectors[i].name);
}

void WithdrawSelectorVariables() {
  for (const SelectorInfo& selector : kSelectors) WithdrawVariable(selector.name);
}

}  // namespace kvr

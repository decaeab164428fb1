// The module's exported Linkage and its eight gauge headers with their element trees and mouse areas,
// the seven routines every header shares, and each gauge's callback with its service-code dispatch.
//
// Positions are relative to the gauge, in pixels of its design. The records are templates: a host copies
// a header and its tree for every placed instance and works on the copies.
#include "module/display/display.h"
#include "module/gauge/gauge.h"
#include "module/logic/logic.h"
#include "module/transponder/transponder.h"

namespace kvr {
namespace {

// ---- The seven shared routines --------------------------------------------------------------------------
// Whichever gauge they are called for, they hand the host the top element of the first gauge ("IVSI") and
// pass its answer back unchanged.

ElementHeader* TopElementOfFirstGauge() {
  GaugeHeader* first = Linkage.gauges[0];
  return first != nullptr && first->elementList != nullptr ? first->elementList[0] : nullptr;
}

template <auto Slot>
int32_t KVR_FSAPI Forward() {
  PanelHost* host = Host();
  return host != nullptr && host->*Slot != nullptr ? (host->*Slot)(TopElementOfFirstGauge()) : 0;
}

template <auto Slot>
int32_t KVR_FSAPI ForwardWithArgument(uintptr_t argument) {
  PanelHost* host = Host();
  return host != nullptr && host->*Slot != nullptr ? (host->*Slot)(TopElementOfFirstGauge(), argument) : 0;
}

constexpr GaugeRoutine kQuery = Forward<&PanelHost::GaugeQuery>;
constexpr GaugeRoutineWithArgument kInstall = ForwardWithArgument<&PanelHost::GaugeInstall>;
constexpr GaugeRoutine kInitialise = Forward<&PanelHost::GaugeInitialise>;
constexpr GaugeRoutine kUpdate = Forward<&PanelHost::GaugeUpdate>;
constexpr GaugeRoutineWithArgument kGenerate = ForwardWithArgument<&PanelHost::GaugeGenerate>;
constexpr GaugeRoutine kDraw = Forward<&PanelHost::GaugeDraw>;
constexpr GaugeRoutine kKill = Forward<&PanelHost::GaugeKill>;

void KVR_FSAPI ModuleInit() {}
void KVR_FSAPI ModuleDeinit() {}

// ---- Callbacks --------------------------------------------------------------------------------------------

void KVR_FSAPI IvsiCallback(GaugeHeader* gauge, int32_t code, uintptr_t) {
  if (gauge == nullptr || code < kServicePostInstall || code > kServiceDisconnect) return;
  if (code == kServiceConnect) {
    // A second connection without disconnection replaces the controller rather than losing it.
    if (IvsiHasController(gauge)) IvsiDisconnect(gauge);
    IvsiConnect(gauge);
    return;
  }
  if (!IvsiHasController(gauge)) return;
  switch (code) {
    case kServicePostInstall: IvsiInstall(gauge); break;
    case kServiceDraw: IvsiDrawFrame(gauge); break;
    case kServiceRemove: IvsiTeardown(gauge); break;
    case kServiceDisconnect: IvsiDisconnect(gauge); break;
    default: break;
  }
}

void KVR_FSAPI TransponderCallback(GaugeHeader* gauge, int32_t code, uintptr_t) {
  switch (code) {
    case kServiceConnect: TransponderConnect(gauge); break;
    case kServicePostInstall: TransponderInstall(gauge); break;
    case kServiceUpdate: TransponderUpdate(gauge); break;
    case kServiceDraw:
      if (gauge != nullptr && gauge->elementList != nullptr && gauge->elementList[0] != nullptr) TransponderDraw(gauge);
      break;
    case kServiceDisconnect: TransponderDisconnect(gauge); break;
    default: break;
  }
}

void KVR_FSAPI LogicCallback(GaugeHeader* gauge, int32_t code, uintptr_t extra) {
  if (gauge == nullptr) return;
  switch (code) {
    case kServiceConnect: LogicConnect(gauge); break;
    case kServiceInstall: LogicInstall(gauge, extra); break;
    case kServiceUpdate: LogicUpdate(gauge); break;
    case kServiceDisconnect: LogicDisconnect(gauge); break;
    default: break;
  }
}

// ---- Record builders -------------------------------------------------------------------------------------

constexpr ElementHeader Static(uint32_t imageId, int32_t x, int32_t y, uint32_t flags, GaugeHeader* gauge,
                               ElementHeader** children = nullptr) {
  ElementHeader e{};
  e.type = kElementStatic;
  e.imageId = imageId;
  e.x = x;
  e.y = y;
  e.gauge = gauge;
  e.children = children;
  e.flags = flags;
  return e;
}

constexpr IconElement Icon(uint32_t firstImageId, int32_t x, int32_t y, uint32_t flags, GaugeHeader* gauge,
                           IconCallback callback) {
  IconElement icon{};
  icon.element = Static(firstImageId, x, y, flags, gauge);
  icon.element.type = kElementIcon;
  icon.iconKind = kIconKind;
  icon.callback = callback;
  return icon;
}

constexpr MouseArea ListStart() { return {kMouseListStart, 0, 0, 0, 0, kCursorNone, 0, 0, 0, nullptr, 0}; }
constexpr MouseArea ListEnd() { return {kMouseListEnd, 0, 0, 0, 0, kCursorNone, 0, 0, 0, nullptr, 0}; }
// Closes a list after its end record, as the simulator's own lists do; a host that stops at the end record
// never reads it.
constexpr MouseArea ListClose() { return {kMouseListClose, 0, 0, 0, 0, 0, 0, 0, 0, nullptr, 0}; }
constexpr MouseArea Area(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t flags, MouseHandler handler) {
  return {kMouseArea, x, y, w, h, kCursorHand, 0, flags, 0, handler, 0};
}

constexpr uint32_t kLeftAndRight = kMouseLeftSingle | kMouseRightSingle;

constexpr GaugeHeader Header(const char* name, ElementHeader** elements, uint32_t designWidth, MouseArea* mouseAreas,
                             GaugeCallback callback) {
  GaugeHeader h{};
  h.headerVersion = kGaugeHeaderVersion;
  h.name = name;
  h.elementList = elements;
  h.query = kQuery;
  h.install = kInstall;
  h.initialise = kInitialise;
  h.update = kUpdate;
  h.generate = kGenerate;
  h.draw = kDraw;
  h.kill = kKill;
  h.designWidth = designWidth;
  h.mouseAreas = mouseAreas;
  h.callback = callback;
  return h;
}

// ---- IVSI: six headers over one tree shape ----------------------------------------------------------------

constexpr uint32_t kImageDrawingSurface = 0x1000;
constexpr uint32_t kImageBezel = 0x1100;
constexpr uint32_t kImageLitOverlay = 0x1200;
constexpr uint32_t kImageBlankFace = 0x1300;

MouseArea ivsiMouseAreas[] = {
    ListStart(),
    Area(0, 0, 52, 52, kLeftAndRight, IvsiModeArea),
    Area(106, 0, 52, 52, kLeftAndRight, IvsiRangeArea),
    Area(0, 106, 52, 52, kLeftAndRight, IvsiAboveBelowArea),
    Area(106, 106, 52, 52, kLeftAndRight, IvsiAbsoluteRelativeArea),
    ListEnd(),
    ListClose(),
};

// Root (blank face) > drawing surface > {bezel, lit overlay}.
struct IvsiGaugeRecords {
  GaugeHeader header;
  ElementHeader root, drawing, bezel, litOverlay;
  ElementHeader* elementList[2];
  ElementHeader* rootChildren[2];
  ElementHeader* drawingChildren[3];
};

// `records` names the variable the macro defines, so its arguments cannot stand in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define KVR_IVSI_GAUGE(records, gaugeName, bezelId, litId)                                                    \
  IvsiGaugeRecords records = {                                                                                \
      Header(gaugeName, records.elementList, 158, ivsiMouseAreas, IvsiCallback),                              \
      Static(kImageBlankFace, 0, 0, 0x01, &records.header, records.rootChildren),                             \
      Static(kImageDrawingSurface, 14, 14, kElementDrawingSurface, &records.header, records.drawingChildren), \
      Static(bezelId, 0, 0, 0x03, &records.header),                                                           \
      Static(litId, 0, 0, 0x07, &records.header),                                                             \
      {&records.root, nullptr},                                                                               \
      {&records.drawing, nullptr},                                                                            \
      {&records.bezel, &records.litOverlay, nullptr},                                                         \
  }
// NOLINTEND(bugprone-macro-parentheses)

KVR_IVSI_GAUGE(ivsi1, "IVSI", kImageBezel, kImageLitOverlay);
KVR_IVSI_GAUGE(ivsi2, "IVSI2", kImageBezel, kImageLitOverlay);
KVR_IVSI_GAUGE(ivsi3, "IVSI3", kImageBezel, kImageLitOverlay);
KVR_IVSI_GAUGE(ivsi1b, "IVSIb", kImageBlankFace, kImageBlankFace);
KVR_IVSI_GAUGE(ivsi2b, "IVSI2b", kImageBlankFace, kImageBlankFace);
KVR_IVSI_GAUGE(ivsi3b, "IVSI3b", kImageBlankFace, kImageBlankFace);

// ---- Transponder -----------------------------------------------------------------------------------------

MouseArea transponderMouseAreas[] = {
    ListStart(),
    Area(92, 33, 12, 30, kLeftAndRight, TransponderDigitArea0),
    Area(104, 33, 12, 30, kLeftAndRight, TransponderDigitArea1),
    Area(116, 33, 12, 30, kLeftAndRight, TransponderDigitArea2),
    Area(128, 33, 12, 30, kLeftAndRight, TransponderDigitArea3),
    Area(159, 51, 28, 25, kLeftAndRight, TransponderRangeKnob),
    Area(43, 51, 28, 25, kLeftAndRight, TransponderModeKnob),
    Area(27, 3, 15, 29, kLeftAndRight, TransponderAboveBelowSwitch),
    Area(65, 3, 15, 29, kLeftAndRight, TransponderAbsoluteRelativeSwitch),
    Area(133, 64, 20, 20, kMouseLeftSingle, TransponderIdentButton),
    ListEnd(),
    ListClose(),
};

// Background, parent of: backlight, code window, reply light, four selector pictures, two fixed switches.
struct TransponderRecords {
  GaugeHeader header;
  ElementHeader base, backlight, codeWindow, replyLight;
  IconElement rangeKnob, modeKnob, aboveBelow, absoluteRelative;
  ElementHeader fixedSwitchA, fixedSwitchB;
  ElementHeader* elementList[2];
  ElementHeader* baseChildren[10];
};

TransponderRecords transponderGauge = {
    Header("Transponder", transponderGauge.elementList, 228, transponderMouseAreas, TransponderCallback),
    Static(0x2000, 0, 0, 0x01, &transponderGauge.header, transponderGauge.baseChildren),
    Static(0x2100, 0, 0, 0x05, &transponderGauge.header),
    Static(0x2200, 91, 13, kElementDrawingSurface, &transponderGauge.header),
    Static(0x2500, 139, 71, 0x05, &transponderGauge.header),
    Icon(0x2300, 159, 50, 0x03, &transponderGauge.header, ReadRangeSelector),
    Icon(0x2300, 42, 50, 0x03, &transponderGauge.header, ReadModeSelector),
    Icon(0x2400, 30, 8, 0x03, &transponderGauge.header, ReadAboveBelowSelector),
    Icon(0x2400, 60, 8, 0x03, &transponderGauge.header, ReadAbsoluteRelativeSelector),
    Static(0x2401, 161, 8, 0x03, &transponderGauge.header),
    Static(0x2402, 191, 8, 0x03, &transponderGauge.header),
    {&transponderGauge.base, nullptr},
    {&transponderGauge.backlight, &transponderGauge.codeWindow, &transponderGauge.replyLight,
     &transponderGauge.rangeKnob.element, &transponderGauge.modeKnob.element, &transponderGauge.aboveBelow.element,
     &transponderGauge.absoluteRelative.element, &transponderGauge.fixedSwitchA, &transponderGauge.fixedSwitchB,
     nullptr},
};

// ---- Logic -----------------------------------------------------------------------------------------------

struct LogicRecords {
  GaugeHeader header;
  ElementHeader only;
  ElementHeader* elementList[2];
};

LogicRecords logicGauge = {
    Header("Logic", logicGauge.elementList, 1, nullptr, LogicCallback),
    Static(kImageDrawingSurface, 0, 0, 0x01, &logicGauge.header),
    {&logicGauge.only, nullptr},
};

}  // namespace
}  // namespace kvr

extern "C" {
__attribute__((visibility("default"))) kvr::LinkageRecord Linkage = {
    kvr::kLinkageModuleId,
    kvr::ModuleInit,
    kvr::ModuleDeinit,
    0,
    0,
    kvr::kLinkageVersion,
    {&kvr::ivsi1.header, &kvr::ivsi2.header, &kvr::ivsi3.header, &kvr::ivsi1b.header, &kvr::ivsi2b.header,
     &kvr::ivsi3b.header, &kvr::transponderGauge.header, &kvr::logicGauge.header, nullptr},
};
}

// The panel SDK: every record that crosses the boundary between a panel host (the simulator, or
// kvr-panel) and a gauge module, and the host's service table. The module defines `ImportTable` and
// `Linkage`; a host reads both by name from the loaded file, writes its `PanelHost` table into
// `ImportTable`, and from then on drives the gauges through their callbacks.
//
// All fields are 32-bit little-endian words or addresses, and every record is laid out with 4-byte packing,
// as the simulator lays out its own. On the 32-bit target that changes only the variable record (its
// 64-bit value at +12, not at its natural +16); on a 64-bit target it keeps the 32-bit words between the
// widened addresses where the simulator's 64-bit builds have them. Both layouts are asserted below.
//
// Threading: every call in either direction is made on the host's panel thread, one at a time.
#pragma once

#include <cstddef>
#include <cstdint>

// The table's routines, the gauge callbacks, mouse handlers and icon callbacks.
#if defined(_WIN32) && !defined(_WIN64)
#define KVR_FSAPI __stdcall
#else
#define KVR_FSAPI
#endif

// The operations of host objects (the named objects of word 77 and the interfaces they hand out), built by
// the simulator's C++ compiler: on 32-bit Windows the object travels in ECX and the callee pops the rest.
// A 64-bit target has one convention, object first.
#if defined(_WIN32) && !defined(_WIN64)
#define KVR_HOST_OBJECT_CALL __attribute__((thiscall))
#else
#define KVR_HOST_OBJECT_CALL
#endif

#pragma pack(push, 4)

namespace kvr {

struct ElementHeader;
struct GaugeHeader;
struct MouseArea;
struct PanelHost;
struct VariableRecord;

struct PixelPoint {
  int32_t x;
  int32_t y;
};

// ---- Service codes a host passes to a gauge callback ---------------------------------------------------
// The module acts on 2, 3, 6, 10, 12, 14 and 15. A simulator also sends the others, each just before or
// after the step it names; a gauge ignores them.
enum ServiceCode : int32_t {
  kServicePreQuery = 0,        // before the gauge's query routine
  kServicePostQuery = 1,       // after it
  kServiceInstall = 2,         // installation, parameter string available; extra = the module handle
  kServicePostInstall = 3,     // installation, after code 2
  kServicePreInitialise = 4,   // before the initialise routine
  kServicePostInitialise = 5,  // after it
  kServiceUpdate = 6,          // once per simulator frame
  kServicePostUpdate = 7,      // after code 6
  kServicePreGenerate = 8,     // before the frame's picture is generated
  kServicePostGenerate = 9,    // after it; extra = the generation phase
  kServiceDraw = 10,           // once per simulator frame, before drawing
  kServicePostDraw = 11,       // after drawing
  kServiceRemove = 12,         // before the gauge is removed
  kServicePostRemove = 13,     // after the kill routine
  kServiceConnect = 14,        // connection to the panel window
  kServiceDisconnect = 15,     // disconnection from the panel window
  kServicePanelOpen = 16,      // the gauge's panel window was opened
  kServicePanelClose = 17,     // ... and closed
};

// ---- Callbacks a gauge module offers --------------------------------------------------------------------
// [panel thread] `extra` is one 32-bit argument on the 32-bit target; a handle where the code says so.
using GaugeCallback = void(KVR_FSAPI*)(GaugeHeader* gauge, int32_t serviceCode, uintptr_t extra);
// [panel thread, after install] Click at `relative` (pixels inside the area); answers 1 when handled.
using MouseHandler = int32_t(KVR_FSAPI*)(PixelPoint* relative, uint32_t mouseFlags);
// [panel thread, after install] Image index of an icon: the image shown is the first id + this value.
using IconCallback = double(KVR_FSAPI*)(ElementHeader* element);
// The seven routines of a gauge header; install and generate take one argument of their own.
using GaugeRoutine = int32_t(KVR_FSAPI*)();
using GaugeRoutineWithArgument = int32_t(KVR_FSAPI*)(uintptr_t argument);
using ModuleRoutine = void(KVR_FSAPI*)();

// ---- Records the module exports -------------------------------------------------------------------------

// One requested service table: the module names it by id, the host writes its address.
struct ImportEntry {
  uint32_t tableId;  // 0x0F: the panel-service table; 0 ends the list
  PanelHost* table;  // written by the host before any gauge runs
};

struct ImportTableRecord {
  ImportEntry panel;  // {0x0F, host table}
  ImportEntry end;    // {0, null}
};

inline constexpr uint32_t kPanelServiceTableId = 0x0F;
inline constexpr uint32_t kLinkageModuleId = 0x13;
inline constexpr uint32_t kLinkageVersion = 0x900;
inline constexpr int kLinkageGaugeSlots = 8;

struct LinkageRecord {
  uint32_t moduleId;           // 0x13
  ModuleRoutine moduleInit;    // called by the host after loading; does nothing here
  ModuleRoutine moduleDeinit;  // called by the host before unloading; does nothing here
  uint32_t reserved12;
  uint32_t reserved16;
  uint32_t version;                             // 0x900
  GaugeHeader* gauges[kLinkageGaugeSlots + 1];  // in table order, closed by null
};

// ---- Gauge header -----------------------------------------------------------------------------------------
// The module's headers are templates: a host copies one per placed instance, fills the host fields of the
// copy (placement, parameter string) and passes the copy to the callback. The gauge keeps its per-instance
// state in `gaugeState`, the user-data word that is 0 in the module's templates; every other field that
// the module leaves 0 belongs to the host. A simulator reads a header of version 0x320 as its first 196
// bytes and fills the fields marked "host" where they are declared here.
inline constexpr uint32_t kGaugeHeaderVersion = 0x320;
inline constexpr int kGaugeUserAreaWords = 10;

struct GaugeHeader {
  uint32_t headerVersion;       // 0x320
  const char* name;             // gauge name, as panel.cfg writes it after "Module!"
  ElementHeader** elementList;  // null-terminated; one top element per gauge here
  GaugeRoutine query;
  GaugeRoutineWithArgument install;
  GaugeRoutine initialise;
  GaugeRoutine update;
  GaugeRoutineWithArgument generate;
  GaugeRoutine draw;
  GaugeRoutine kill;
  void* reserved40;
  uint32_t designWidth;        // pixels of the design the panel scales from
  uint32_t designHeight;       // 0: the host derives it from the top element's image
  float xAdjust;               // host: scale from design to panel pixels, across
  float yAdjust;               // host: ... and down
  uint32_t hostReserved60[2];  // host
  int32_t x;                   // host: the instance's position on its panel window, panel pixels
  int32_t y;
  uint32_t reserved76;
  MouseArea* mouseAreas;  // list from kind 1 to kind 3, then a kind-0 record; or null
  GaugeCallback callback;
  void* gaugeState;             // user data: 0 in the module; the instance's state, owned by the gauge
  const char* parameters;       // the instance's parameter string, filled by the host; never null then
  uint32_t usage;               // host
  uint32_t hostReserved100[2];  // host
  int32_t width;                // host: the instance's size on its panel window, panel pixels
  int32_t height;
  uint32_t userArea[kGaugeUserAreaWords];  // host
  uint32_t hostReserved156[13];
};

// ---- Elements -------------------------------------------------------------------------------------------
inline constexpr uint32_t kElementStatic = 0;
inline constexpr uint32_t kElementIcon = 4;

// Flags word bits. The module stores the low flag values; at run time the gauges set and clear
// kElementHidden and clear kElementOnScreen to have the host draw the element again.
inline constexpr uint32_t kElementDrawingSurface = 0x26;  // the host creates a drawing surface
inline constexpr uint32_t kElementHidden = 0x40000000;
inline constexpr uint32_t kElementOnScreen = 0x80000000;
inline constexpr uint32_t kIconKind = 5;

// What the host gives an element with flags 0x26: the surface's size at +4 and +8.
struct SurfaceInfo {
  uint32_t reserved0;
  int32_t width;
  int32_t height;
  uint32_t reserved12;
};

// What a POSIX host hands an element with flags 0x26 as its drawing context: a 32-bit top-down pixel
// surface (each pixel a little-endian word 0x00RRGGBB) that the host owns and shows. On Windows the
// context is the device context (HDC) of the host's own bitmap.
inline constexpr uint32_t kHostSurfaceMagic = 0x4B565253;  // "SRVK"
struct HostSurface {
  uint32_t magic;       // kHostSurfaceMagic
  int32_t width;        // pixels
  int32_t height;       // pixels
  int32_t strideBytes;  // bytes from one row to the next
  uint32_t* pixels;     // row 0 first
};

struct ElementHeader {
  uint32_t type;     // kElementStatic or kElementIcon
  uint32_t imageId;  // bitmap resource; for an icon the first of consecutive ids
  int32_t x;         // position relative to the gauge, pixels of the design
  int32_t y;
  uint32_t reserved16[4];
  GaugeHeader* gauge;  // owning gauge header (the instance's copy once a host placed it)
  uint32_t reserved36;
  ElementHeader** children;  // null-terminated list, or null
  uint32_t reserved44;
  uint32_t flags;
  uint32_t reserved52[2];
  SurfaceInfo* surfaceInfo;  // host: drawing surface size, for flags 0x26
  uint32_t reserved64[4];
  void* deviceContext;  // host: the drawing surface's context, for flags 0x26
  uint32_t reserved84[3];
};

struct IconElement {
  ElementHeader element;  // type kElementIcon
  uint32_t reserved96[4];
  uint32_t iconKind;  // 5
  uint32_t reserved116[4];
  IconCallback callback;  // returns the image index
  uint32_t reserved136[2];
};

// ---- Mouse areas ----------------------------------------------------------------------------------------
inline constexpr uint32_t kMouseListClose = 0;  // after the list end, as the simulator's own lists close
inline constexpr uint32_t kMouseListStart = 1;
inline constexpr uint32_t kMouseArea = 2;
inline constexpr uint32_t kMouseListEnd = 3;
inline constexpr uint32_t kMouseLeftSingle = 0x20000000;
inline constexpr uint32_t kMouseRightSingle = 0x80000000;
inline constexpr int32_t kCursorNone = -1;
inline constexpr int32_t kCursorHand = 5;

struct MouseArea {
  uint32_t kind;  // kMouseListStart, kMouseArea, kMouseListEnd, kMouseListClose
  int32_t x;      // box relative to the gauge, pixels of the design
  int32_t y;
  int32_t width;
  int32_t height;
  int32_t cursor;
  uint32_t helpId;
  uint32_t acceptedFlags;  // the mouse flags that reach the handler
  uint32_t eventId;
  MouseHandler handler;
  uint32_t handlerData;
};

// ---- Variables --------------------------------------------------------------------------------------------
// The simulator's type codes. A host may write any of them into a simulator-variable record it prepares:
// nothing in the module depends on which.
inline constexpr uint32_t kTypeFlag32 = 17;   // a 32-bit flag
inline constexpr uint32_t kTypeInt32 = 19;    // a 32-bit integer (the simulator's unsigned one)
inline constexpr uint32_t kTypeSInt32 = 20;   // a 32-bit signed integer
inline constexpr uint32_t kTypeFlags32 = 23;  // 32-bit flags
inline constexpr uint32_t kTypeFloat64 = 33;  // a float64
inline constexpr uint32_t kTypeObject = 38;   // a pointer to an object

// Simulator variable numbers used by this module.
inline constexpr uint32_t kSimTickCount18Hz = 1;
inline constexpr uint32_t kSimTransponderCode = 38;  // BCD digits in the low 16 bits of value.u32

union VariableValue {
  double f64;    // simulator variables
  uint32_t u32;  // the transponder code: low 32 bits
};

// A simulator-variable record. The host's refresh first copies `value` into `previous`, then writes the
// new value: a record must be its full size, or the refresh writes into whatever follows it.
struct VariableRecord {
  uint32_t id;             // simulator variable number; 0 for a named binding
  void* valuePointer;      // a named variable's storage, or null while unbound
  uint32_t typeCode;       // written by the host when it prepares or binds the record
  VariableValue value;     // current value
  VariableValue previous;  // host: the value before the last refresh
};

// A record for simulator variable `id`, everything else zero: not yet prepared, refreshed or bound.
constexpr VariableRecord SimVariableRecord(uint32_t id) {
  VariableRecord record{};
  record.id = id;
  return record;
}

// ---- Host objects -------------------------------------------------------------------------------------------
// A host object is a pointer to a table of operations (0 AddRef, 1 Release, 2 QueryInterface(name), then the
// interface's own), each called with the object first in the host-object convention. Word 77 of the panel
// table, asked for "ITrafficInfo", answers a named object whose operation 2, given the same name, answers
// the ITrafficInfo interface itself (or null).
struct ServiceObject {
  void* const* operations;
};

inline constexpr char kTrafficInfoServiceName[] = "ITrafficInfo";
inline constexpr int kServiceQueryInterface = 2;      // (name) -> ServiceObject*
inline constexpr int kTrafficGetVariableHandle = 8;   // (name) -> handle
inline constexpr int kTrafficGetUnitHandle = 9;       // (name) -> handle
inline constexpr int kTrafficGetTrafficInRange = 10;  // (radius m, max count, int32 ids[]) -> count
inline constexpr int kTrafficGetTrafficValue = 12;    // (id, variable, unit, double* value, index) -> ok
inline constexpr int kTrafficInfoOperationCount = 13;

using ServiceQueryInterface = ServiceObject*(KVR_HOST_OBJECT_CALL*)(ServiceObject* self, const char* name);
using TrafficGetHandle = int32_t(KVR_HOST_OBJECT_CALL*)(ServiceObject* self, const char* name);
using TrafficGetTrafficInRange = int32_t(KVR_HOST_OBJECT_CALL*)(ServiceObject* self, double radiusM, int32_t maxCount,
                                                                int32_t* identifiers);
using TrafficGetTrafficValue = int32_t(KVR_HOST_OBJECT_CALL*)(ServiceObject* self, int32_t identifier, int32_t variable,
                                                              int32_t unit, double* value, int32_t index);

// Operation `position` of a host object, as the function type `F`.
template <typename F>
F ServiceOperation(const ServiceObject* object, int position) {
  return reinterpret_cast<F>(object->operations[position]);
}

// ---- The host's service table -------------------------------------------------------------------------------
// The simulator's panel-service table: a header of six words, then one routine per word. The module calls
// words 24 to 29 and 31 (through its headers' routines), 36 to 41 and 77, nothing else. In a 64-bit build
// the header is 32 bytes (an identifier, two routine addresses, three 32-bit words), so routine word k
// (k >= 6) lies at byte 8k - 16; on 32 bits every word is 4 bytes and word k lies at byte 4k.
using HostRoutine = void(KVR_FSAPI*)();  // a word the module never calls

inline constexpr int kPanelHostWords = 78;  // words 0 to 77

struct PanelHost {
  uint32_t tableId;               // 0: the table's identifier (0x0F, as ImportTable asks)
  HostRoutine headerRoutines[2];  // 1, 2
  uint32_t flags;                 // 3
  uint32_t priority;              // 4
  uint32_t version;               // 5
  HostRoutine services6[18];      // 6-23: panel windows, tooltips, reserved
  // [panel thread] The generic element routines, each given an element of the module and passing back its
  // result; the gauge headers' routines forward to them.
  int32_t(KVR_FSAPI* GaugeQuery)(ElementHeader* element);                         // 24
  int32_t(KVR_FSAPI* GaugeInstall)(ElementHeader* element, uintptr_t argument);   // 25
  int32_t(KVR_FSAPI* GaugeInitialise)(ElementHeader* element);                    // 26
  int32_t(KVR_FSAPI* GaugeUpdate)(ElementHeader* element);                        // 27
  int32_t(KVR_FSAPI* GaugeGenerate)(ElementHeader* element, uintptr_t argument);  // 28
  int32_t(KVR_FSAPI* GaugeDraw)(ElementHeader* element);                          // 29
  HostRoutine GaugeErase;                                                         // 30
  int32_t(KVR_FSAPI* GaugeKill)(ElementHeader* element);                          // 31
  HostRoutine mouseRoutines[3];                                                   // 32-34
  HostRoutine panelWindowToggle;                                                  // 35
  // [panel thread] Sends a simulator event (0x10000 + n) with its parameter; answers whether it was taken.
  int32_t(KVR_FSAPI* SendEvent)(uint32_t eventId, uint32_t parameter);  // 36
  // [panel thread] Makes `address` readable by every gauge under `name`.
  void(KVR_FSAPI* PublishVariable)(void* address, uint32_t typeCode, const char* name);  // 37
  // [panel thread] Prepares a record whose id is set, before its first refresh.
  void(KVR_FSAPI* InitSimVariable)(VariableRecord* record);  // 38
  // [panel thread] Sets record's value pointer and type code, or leaves the pointer null.
  void(KVR_FSAPI* BindVariable)(VariableRecord* record, const char* name);  // 39
  // [panel thread] Moves record->value to record->previous and reads simulator variable record->id into
  // record->value.
  void(KVR_FSAPI* RefreshVariable)(VariableRecord* record);  // 40
  // [panel thread] Withdraws a name; records bound before keep their pointer.
  void(KVR_FSAPI* WithdrawVariable)(const char* name);  // 41
  HostRoutine withdrawAllVariables;                     // 42
  HostRoutine services43[34];                           // 43-76
  // [panel thread] The named host object, or null. A simulator without it ends its table before this word.
  ServiceObject*(KVR_FSAPI* QueryService)(const char* name);  // 77
};

// Byte offset of word `k` of the table.
constexpr size_t PanelHostWordOffset(int k) {
  constexpr size_t kHeader[] = {offsetof(PanelHost, tableId),
                                offsetof(PanelHost, headerRoutines),
                                offsetof(PanelHost, headerRoutines) + sizeof(HostRoutine),
                                offsetof(PanelHost, flags),
                                offsetof(PanelHost, priority),
                                offsetof(PanelHost, version)};
  return k < 6 ? kHeader[k] : offsetof(PanelHost, services6) + static_cast<size_t>(k - 6) * sizeof(HostRoutine);
}

// ---- Layout checks --------------------------------------------------------------------------------------
static_assert(sizeof(PanelHost) == PanelHostWordOffset(kPanelHostWords));
static_assert(offsetof(PanelHost, GaugeQuery) == PanelHostWordOffset(24));
static_assert(offsetof(PanelHost, GaugeKill) == PanelHostWordOffset(31));
static_assert(offsetof(PanelHost, SendEvent) == PanelHostWordOffset(36));
static_assert(offsetof(PanelHost, PublishVariable) == PanelHostWordOffset(37));
static_assert(offsetof(PanelHost, InitSimVariable) == PanelHostWordOffset(38));
static_assert(offsetof(PanelHost, BindVariable) == PanelHostWordOffset(39));
static_assert(offsetof(PanelHost, RefreshVariable) == PanelHostWordOffset(40));
static_assert(offsetof(PanelHost, WithdrawVariable) == PanelHostWordOffset(41));
static_assert(offsetof(PanelHost, QueryService) == PanelHostWordOffset(77));

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(PanelHostWordOffset(24) == 96 && PanelHostWordOffset(36) == 144 && PanelHostWordOffset(77) == 308);
static_assert(sizeof(ImportTableRecord) == 16);
static_assert(sizeof(LinkageRecord) == 60);
static_assert(offsetof(LinkageRecord, version) == 20);
static_assert(offsetof(LinkageRecord, gauges) == 24);
static_assert(sizeof(GaugeHeader) == 208);
static_assert(offsetof(GaugeHeader, elementList) == 8);
static_assert(offsetof(GaugeHeader, query) == 12);
static_assert(offsetof(GaugeHeader, kill) == 36);
static_assert(offsetof(GaugeHeader, designWidth) == 44);
static_assert(offsetof(GaugeHeader, xAdjust) == 52 && offsetof(GaugeHeader, yAdjust) == 56);
static_assert(offsetof(GaugeHeader, hostReserved60) == 60);
static_assert(offsetof(GaugeHeader, x) == 68 && offsetof(GaugeHeader, y) == 72);
static_assert(offsetof(GaugeHeader, mouseAreas) == 80);
static_assert(offsetof(GaugeHeader, callback) == 84);
static_assert(offsetof(GaugeHeader, gaugeState) == 88);
static_assert(offsetof(GaugeHeader, parameters) == 92);
static_assert(offsetof(GaugeHeader, usage) == 96);
static_assert(offsetof(GaugeHeader, width) == 108 && offsetof(GaugeHeader, height) == 112);
static_assert(offsetof(GaugeHeader, userArea) == 116);
static_assert(sizeof(ElementHeader) == 96);
static_assert(offsetof(ElementHeader, imageId) == 4);
static_assert(offsetof(ElementHeader, x) == 8);
static_assert(offsetof(ElementHeader, y) == 12);
static_assert(offsetof(ElementHeader, gauge) == 32);
static_assert(offsetof(ElementHeader, children) == 40);
static_assert(offsetof(ElementHeader, flags) == 48);
static_assert(offsetof(ElementHeader, surfaceInfo) == 60);
static_assert(offsetof(ElementHeader, deviceContext) == 80);
static_assert(sizeof(IconElement) == 144);
static_assert(offsetof(IconElement, iconKind) == 112);
static_assert(offsetof(IconElement, callback) == 132);
static_assert(sizeof(MouseArea) == 44);
static_assert(offsetof(MouseArea, cursor) == 20);
static_assert(offsetof(MouseArea, acceptedFlags) == 28);
static_assert(offsetof(MouseArea, handler) == 36);
static_assert(offsetof(SurfaceInfo, width) == 4 && offsetof(SurfaceInfo, height) == 8);
static_assert(sizeof(VariableRecord) == 28);
static_assert(offsetof(VariableRecord, valuePointer) == 4);
static_assert(offsetof(VariableRecord, typeCode) == 8);
static_assert(offsetof(VariableRecord, value) == 12);
static_assert(offsetof(VariableRecord, previous) == 20);
#else
// 64-bit: the same fields in the same order with 4-byte packing, address fields widened to 8 bytes.
static_assert(PanelHostWordOffset(6) == 32 && PanelHostWordOffset(24) == 176);
static_assert(PanelHostWordOffset(36) == 272 && PanelHostWordOffset(77) == 600);
static_assert(sizeof(ImportEntry) == 12 && offsetof(ImportEntry, table) == 4);
static_assert(sizeof(ImportTableRecord) == 24);
static_assert(offsetof(LinkageRecord, version) == 28);
static_assert(offsetof(GaugeHeader, designWidth) == 84);
static_assert(offsetof(ElementHeader, flags) == 56);
static_assert(offsetof(MouseArea, handler) == 36);
static_assert(sizeof(VariableRecord) == 32);
static_assert(offsetof(VariableRecord, valuePointer) == 4);
static_assert(offsetof(VariableRecord, typeCode) == 12);
static_assert(offsetof(VariableRecord, value) == 16);
static_assert(offsetof(VariableRecord, previous) == 24);
#endif

}  // namespace kvr

#pragma pack(pop)

// The two records the module exports by name. A host finds them with dlsym / GetProcAddress.
extern "C" {
extern kvr::ImportTableRecord ImportTable;
extern kvr::LinkageRecord Linkage;
}

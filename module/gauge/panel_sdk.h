// The panel SDK: every record that crosses the boundary between a panel host (the simulator, or
// kvr-panel) and a gauge module, and the host's service table. The module defines `ImportTable` and
// `Linkage`; a host reads both by name from the loaded file, writes its `PanelHost` table into
// `ImportTable`, and from then on drives the gauges through their callbacks.
//
// All fields are 32-bit little-endian words or addresses. On a 32-bit target every size and offset is
// asserted below; on a 64-bit target the address fields widen to 64 bits and nothing else changes size.
//
// Threading: every call in either direction is made on the host's panel thread, one at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define KVR_FSAPI __stdcall
#else
#define KVR_FSAPI
#endif

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
enum ServiceCode : int32_t {
  kServiceInstall = 2,      // installation, parameter string available; extra = the module handle
  kServicePostInstall = 3,  // installation, after code 2
  kServiceUpdate = 6,       // once per simulator frame
  kServiceDraw = 10,        // once per simulator frame, before drawing
  kServiceRemove = 12,      // before the gauge is removed
  kServiceConnect = 14,     // connection to the panel window
  kServiceDisconnect = 15,  // disconnection from the panel window
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
  uint32_t moduleId;          // 0x13
  ModuleRoutine moduleInit;   // called by the host after loading; does nothing here
  ModuleRoutine moduleDeinit; // called by the host before unloading; does nothing here
  uint32_t reserved12;
  uint32_t reserved16;
  uint32_t version;           // 0x900
  GaugeHeader* gauges[kLinkageGaugeSlots + 1];  // in table order, closed by null
};

// ---- Gauge header -----------------------------------------------------------------------------------------
// The module's headers are templates: a host copies one per placed instance, fills the host fields of the
// copy (placement, parameter string) and passes the copy to the callback. The gauge keeps its per-instance
// state in `gaugeState`, the user-data word that is 0 in the module's templates; every other field that
// the module leaves 0 belongs to the host.
inline constexpr uint32_t kGaugeHeaderVersion = 0x320;

struct GaugeHeader {
  uint32_t headerVersion;        // 0x320
  const char* name;              // gauge name, as panel.cfg writes it after "Module!"
  ElementHeader** elementList;   // null-terminated; one top element per gauge here
  GaugeRoutine query;
  GaugeRoutineWithArgument install;
  GaugeRoutine initialise;
  GaugeRoutine update;
  GaugeRoutineWithArgument generate;
  GaugeRoutine draw;
  GaugeRoutine kill;
  void* reserved40;
  uint32_t designWidth;          // pixels of the design the panel scales from
  uint32_t designHeight;         // 0: the host derives it from the top element's image
  // Host fields: the instance's placement on its panel window, in panel pixels.
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  void* hostInstance;            // the host's own record of this instance
  uint32_t reserved72[2];
  MouseArea* mouseAreas;         // list from kind 1 to kind 3, or null
  GaugeCallback callback;
  void* gaugeState;              // user data: 0 in the module; the instance's state, owned by the gauge
  const char* parameters;        // the instance's parameter string, filled by the host; never null then
  void* hostReserved96;
  uint32_t hostReserved[27];
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
  uint32_t magic;        // kHostSurfaceMagic
  int32_t width;         // pixels
  int32_t height;        // pixels
  int32_t strideBytes;   // bytes from one row to the next
  uint32_t* pixels;      // row 0 first
};

struct ElementHeader {
  uint32_t type;                // kElementStatic or kElementIcon
  uint32_t imageId;             // bitmap resource; for an icon the first of consecutive ids
  int32_t x;                    // position relative to the gauge, pixels of the design
  int32_t y;
  uint32_t reserved16[4];
  GaugeHeader* gauge;           // owning gauge header (the instance's copy once a host placed it)
  uint32_t reserved36;
  ElementHeader** children;     // null-terminated list, or null
  uint32_t reserved44;
  uint32_t flags;
  uint32_t reserved52[2];
  SurfaceInfo* surfaceInfo;     // host: drawing surface size, for flags 0x26
  uint32_t reserved64[4];
  void* deviceContext;          // host: the drawing surface's context, for flags 0x26
  uint32_t reserved84[3];
};

struct IconElement {
  ElementHeader element;        // type kElementIcon
  uint32_t reserved96[4];
  uint32_t iconKind;            // 5
  uint32_t reserved116[4];
  IconCallback callback;        // returns the image index
  uint32_t reserved136[2];
};

// ---- Mouse areas ----------------------------------------------------------------------------------------
inline constexpr uint32_t kMouseListStart = 1;
inline constexpr uint32_t kMouseArea = 2;
inline constexpr uint32_t kMouseListEnd = 3;
inline constexpr uint32_t kMouseLeftSingle = 0x20000000;
inline constexpr uint32_t kMouseRightSingle = 0x80000000;
inline constexpr int32_t kCursorNone = -1;
inline constexpr int32_t kCursorHand = 5;

struct MouseArea {
  uint32_t kind;        // kMouseListStart, kMouseArea, kMouseListEnd
  int32_t x;            // box relative to the gauge, pixels of the design
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
inline constexpr uint32_t kTypeFlag32 = 17;     // a 32-bit flag
inline constexpr uint32_t kTypeInt32 = 19;      // a 32-bit integer
inline constexpr uint32_t kTypeObject = 38;     // a pointer to an object
inline constexpr uint32_t kTypeSimFloat64 = 64; // a simulator variable prepared by InitSimVariable

// Simulator variable numbers used by this module.
inline constexpr uint32_t kSimTickCount18Hz = 1;
inline constexpr uint32_t kSimTransponderCode = 38;  // BCD digits in the low 16 bits of value.u32

struct VariableRecord {
  uint32_t id;            // simulator variable number; 0 for a named binding
  void* valuePointer;     // a named variable's storage, or null while unbound
  uint32_t typeCode;      // 0 until prepared or bound
  union {
    double f64;           // simulator variables
    uint32_t u32;         // the transponder code: low 32 bits
  } value;
};

// ---- Host service objects -------------------------------------------------------------------------------
// A service object is a pointer to a table of operations, each called with the object first, as a COM
// interface is. QueryService("ITrafficInfo") answers a provider whose operation 2, given the interface
// name, answers the ITrafficInfo interface itself (or null).
struct ServiceObject {
  void* const* operations;
};

inline constexpr char kTrafficInfoServiceName[] = "ITrafficInfo";
inline constexpr int kServiceQueryInterface = 2;        // (name) -> ServiceObject*
inline constexpr int kTrafficGetVariableHandle = 8;     // (name) -> handle
inline constexpr int kTrafficGetUnitHandle = 9;         // (name) -> handle
inline constexpr int kTrafficGetTrafficInRange = 10;    // (radius m, max count, int32 ids[]) -> count
inline constexpr int kTrafficGetTrafficValue = 12;      // (id, variable, unit, double* value, index) -> ok
inline constexpr int kTrafficInfoOperationCount = 13;

using ServiceQueryInterface = ServiceObject*(KVR_FSAPI*)(ServiceObject* self, const char* name);
using TrafficGetHandle = int32_t(KVR_FSAPI*)(ServiceObject* self, const char* name);
using TrafficGetTrafficInRange = int32_t(KVR_FSAPI*)(ServiceObject* self, double radiusM, int32_t maxCount,
                                                     int32_t* identifiers);
using TrafficGetTrafficValue = int32_t(KVR_FSAPI*)(ServiceObject* self, int32_t identifier, int32_t variable,
                                                   int32_t unit, double* value, int32_t index);

// Operation `position` of a service object, as the function type `F`.
template <typename F>
F ServiceOperation(const ServiceObject* object, int position) {
  return reinterpret_cast<F>(object->operations[position]);
}

// ---- The host's service table -------------------------------------------------------------------------
// Slot positions are fixed; the gauge headers' routines reach slots 24 to 29 and 31.
struct PanelHost {
  void* reserved0;
  // [panel thread] Prepares a record whose id is set, before its first refresh.
  void(KVR_FSAPI* InitSimVariable)(VariableRecord* record);                                  // 1
  // [panel thread] Updates record->value from the simulator variable record->id.
  void(KVR_FSAPI* RefreshVariable)(VariableRecord* record);                                  // 2
  // [panel thread] Makes `address` readable by every gauge under `name`. Result not used.
  int32_t(KVR_FSAPI* PublishVariable)(void* address, uint32_t typeCode, const char* name);   // 3
  // [panel thread] Withdraws a name; records bound before keep their pointer.
  void(KVR_FSAPI* WithdrawVariable)(const char* name);                                       // 4
  // [panel thread] Sets record's value pointer and type code, or leaves the pointer null.
  void(KVR_FSAPI* BindVariable)(VariableRecord* record, const char* name);                   // 5
  // [panel thread] Sends a simulator event (0x10000 + n) with its parameter.
  int32_t(KVR_FSAPI* SendEvent)(uint32_t eventId, uint32_t parameter);                       // 6
  // [panel thread] A host service object, or null.
  void*(KVR_FSAPI* QueryService)(const char* name);                                          // 7
  void* reserved8[16];
  // The generic gauge routines, each given an element of the module and passing back its result.
  int32_t(KVR_FSAPI* GaugeQuery)(ElementHeader* element);                                    // 24
  int32_t(KVR_FSAPI* GaugeInstall)(ElementHeader* element, uintptr_t argument);              // 25
  int32_t(KVR_FSAPI* GaugeInitialise)(ElementHeader* element);                               // 26
  int32_t(KVR_FSAPI* GaugeUpdate)(ElementHeader* element);                                   // 27
  int32_t(KVR_FSAPI* GaugeGenerate)(ElementHeader* element, uintptr_t argument);             // 28
  int32_t(KVR_FSAPI* GaugeDraw)(ElementHeader* element);                                     // 29
  void* reserved30;
  int32_t(KVR_FSAPI* GaugeKill)(ElementHeader* element);                                     // 31
  void* end;                                                                                 // 32
};

// ---- Layout checks --------------------------------------------------------------------------------------
inline constexpr size_t kWord = sizeof(void*);
static_assert(offsetof(PanelHost, GaugeQuery) == 24 * kWord);
static_assert(offsetof(PanelHost, GaugeDraw) == 29 * kWord);
static_assert(offsetof(PanelHost, GaugeKill) == 31 * kWord);

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ImportTableRecord) == 16);
static_assert(sizeof(LinkageRecord) == 60);
static_assert(offsetof(LinkageRecord, version) == 20);
static_assert(offsetof(LinkageRecord, gauges) == 24);
static_assert(sizeof(GaugeHeader) == 208);
static_assert(offsetof(GaugeHeader, elementList) == 8);
static_assert(offsetof(GaugeHeader, query) == 12);
static_assert(offsetof(GaugeHeader, kill) == 36);
static_assert(offsetof(GaugeHeader, designWidth) == 44);
static_assert(offsetof(GaugeHeader, mouseAreas) == 80);
static_assert(offsetof(GaugeHeader, callback) == 84);
static_assert(offsetof(GaugeHeader, gaugeState) == 88);
static_assert(offsetof(GaugeHeader, parameters) == 92);
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
// The 64-bit value sits at its natural alignment, as the platform's compiler lays it out for the host.
static_assert(sizeof(VariableRecord) == 24);
static_assert(offsetof(VariableRecord, valuePointer) == 4);
static_assert(offsetof(VariableRecord, typeCode) == 8);
static_assert(offsetof(VariableRecord, value) == 16);
#else
// 64-bit: the same fields in the same order, address fields widened. The words that sit between address
// fields keep their 32-bit size; nothing but the addresses grows.
static_assert(sizeof(ImportEntry) == 16);
static_assert(offsetof(LinkageRecord, version) == 32);
static_assert(offsetof(ElementHeader, flags) == 60);
static_assert(offsetof(MouseArea, handler) == 40);
#endif

}  // namespace kvr

// The two records the module exports by name. A host finds them with dlsym / GetProcAddress.
extern "C" {
extern kvr::ImportTableRecord ImportTable;
extern kvr::LinkageRecord Linkage;
}

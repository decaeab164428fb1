// The records behind the drawing handles on Windows. Private to module/platform/win32/drawing_*.cpp.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "module/platform/drawing.h"
#include "module/platform/drawing_objects.h"

namespace kvr::platform {

inline COLORREF ColourRef(Rgb colour) { return RGB(colour.red, colour.green, colour.blue); }

// Pens, brushes and fonts are counted (drawing_objects.h), so that a handle released while selected is
// deleted only once no device context holds it. Stock records wrap GDI's stock objects (or the module's
// default font) and are never freed.

struct PenRecord {
  int32_t refs;
  bool stock;
  HPEN handle;
  bool null;        // draws nothing
  int32_t widthPx;  // 0 and 1: the cosmetic one-pixel pen
  Rgb colour;
  LineCap cap;
};

struct BrushRecord {
  int32_t refs;
  bool stock;
  HBRUSH handle;
};

struct FontRecord {
  int32_t refs;
  bool stock;
  HFONT handle;
  std::string family;  // the face GDI really gave
};

struct SurfaceRecord {
  HBITMAP bitmap;    // a 32-bit top-down DIB section, or a host's bitmap (not owned)
  uint32_t* pixels;  // row 0; null for a host bitmap that is not a 32-bit DIB
  int32_t width;
  int32_t height;
  int32_t strideBytes;  // negative for a host's bottom-up DIB
  bool host;
  ContextRecord* selectedIn;  // the one context it is selected into, or null
};

struct ContextRecord {
  HDC dc;
  bool host;               // made by ContextFromHost: the HDC is borrowed, its state restored at release
  int savedState;          // SaveDC's level for a host HDC
  HGDIOBJ initialBitmap;   // what a new memory DC had selected: "no surface"
  SurfaceRecord* surface;  // selected surface or null
  PenRecord* pen;
  BrushRecord* brush;
  FontRecord* font;
  TextSettings text;  // kept in the DC too (ApplyTextSettings)
  Point current;      // kept here: a GDI move or line inside an open path would join the path
  enum PathState { NoPath, PathOpen, PathDone } pathState;
};

// ---- The hooks of drawing_objects.h ------------------------------------------------------------------

// Pens, brushes and fonts alike: the GDI object goes with the record.
template <typename Record>
void FreeObject(Record* record) {
  DeleteObject(record->handle);
  delete record;
}

template <typename Record>
void SelectIn(ContextRecord* context, Record* record) {
  SelectObject(context->dc, record->handle);
}

}  // namespace kvr::platform

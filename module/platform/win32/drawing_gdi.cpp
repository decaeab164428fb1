// Drawing on Windows with GDI: memory device contexts, 32-bit top-down DIB sections, cosmetic and
// geometric pens, solid brushes, shapes, clip paths and block copies. Fonts and text are in
// drawing_text.cpp. Leaves out raster operations other than copy, pattern brushes, dashed pens and world
// transforms.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "module/platform/block_span.h"
#include "module/platform/drawing.h"
#include "module/platform/win32/dib_section.h"
#include "module/platform/win32/drawing_records.h"

namespace kvr::platform {

namespace {

constexpr int32_t kMaxSurfaceSide = 16384;

PenRecord* StockPen(bool null) {
  static PenRecord nullPen{1, true, static_cast<HPEN>(GetStockObject(NULL_PEN)), true, 0, {0, 0, 0}, LineCap::Flat};
  static PenRecord blackPen{1, true, static_cast<HPEN>(GetStockObject(BLACK_PEN)), false, 1, {0, 0, 0}, LineCap::Flat};
  return null ? &nullPen : &blackPen;
}

BrushRecord* StockBrush(bool null) {
  static BrushRecord nullBrush{1, true, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))};
  static BrushRecord whiteBrush{1, true, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))};
  return null ? &nullBrush : &whiteBrush;
}

void Order(int32_t& low, int32_t& high) {
  if (low > high) std::swap(low, high);
}

bool Drawable(const ContextRecord* context) {
  return context != nullptr && context->surface != nullptr && context->pathState != ContextRecord::PathOpen;
}

void FillSolid(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom, Rgb colour) {
  HBRUSH brush = CreateSolidBrush(ColourRef(colour));
  if (brush == nullptr) return;
  const RECT box{left, top, right, bottom};
  FillRect(dc, &box, brush);
  DeleteObject(brush);
}

// Puts the context in the state a new context starts with (the objects are the caller's to record).
void ResetState(ContextRecord* context) {
  HDC dc = context->dc;
  SelectObject(dc, context->pen->handle);
  SelectObject(dc, context->brush->handle);
  if (context->font != nullptr) SelectObject(dc, context->font->handle);
  SetMapMode(dc, MM_TEXT);
  SetViewportOrgEx(dc, 0, 0, nullptr);
  SetWindowOrgEx(dc, 0, 0, nullptr);
  SetROP2(dc, R2_COPYPEN);
  SetPolyFillMode(dc, ALTERNATE);
  SetArcDirection(dc, AD_COUNTERCLOCKWISE);
  ApplyTextSettings(context);
  SelectClipRgn(dc, nullptr);
}

ContextRecord* NewContext(HDC dc, bool host) {
  auto* context = new (std::nothrow) ContextRecord{};
  if (context == nullptr) return nullptr;
  context->dc = dc;
  context->host = host;
  context->pen = StockPen(false);
  context->brush = StockBrush(false);
  context->font = DefaultFont();
  context->pathState = ContextRecord::NoPath;
  ResetState(context);
  return context;
}

// GDI does not tell which way a DIB section's rows run (it reports every height as positive): a pixel set
// through GDI at (0, 0) shows whether row 0 comes first in memory. Both candidate words are put back.
bool TopRowFirst(HDC dc, uint32_t* bits, int32_t height, int32_t strideBytes) {
  GdiFlush();
  uint32_t* first = bits;
  uint32_t* last =
      reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(bits) + ptrdiff_t{height - 1} * strideBytes);
  const uint32_t savedFirst = *first, savedLast = *last;
  *first = 0;
  SetPixelV(dc, 0, 0, RGB(1, 2, 3));
  GdiFlush();
  const bool topDown = *first == 0x00010203u;
  *last = savedLast;
  *first = savedFirst;
  return topDown;
}

// The bitmap selected in a host's DC as a surface: its size always, its pixels when it is a 32-bit DIB.
// Called with the DC in the context's starting state (no clip, no offsets).
SurfaceRecord* HostSurfaceOf(HDC dc) {
  auto* bitmap = static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP));
  DIBSECTION dib{};
  const int size = bitmap == nullptr ? 0 : GetObject(bitmap, sizeof(dib), &dib);
  if (size < static_cast<int>(sizeof(BITMAP)) || dib.dsBm.bmWidth <= 0 || dib.dsBm.bmHeight <= 0) return nullptr;
  auto* surface =
      new (std::nothrow) SurfaceRecord{bitmap, nullptr, dib.dsBm.bmWidth, dib.dsBm.bmHeight, 0, true, nullptr};
  if (surface == nullptr) return nullptr;
  if (size == sizeof(DIBSECTION) && dib.dsBm.bmBitsPixel == 32 && dib.dsBm.bmBits != nullptr) {
    auto* bits = static_cast<unsigned char*>(dib.dsBm.bmBits);
    surface->strideBytes = dib.dsBm.bmWidthBytes;
    if (!TopRowFirst(dc, reinterpret_cast<uint32_t*>(bits), surface->height, surface->strideBytes)) {
      bits += ptrdiff_t{surface->height - 1} * surface->strideBytes;  // bottom-up: row 0 is last in memory
      surface->strideBytes = -surface->strideBytes;
    }
    surface->pixels = reinterpret_cast<uint32_t*>(bits);
  }
  return surface;
}

}  // namespace

// ---- Contexts ------------------------------------------------------------------------------------------

DrawContext MakeCompatibleContext(DrawContext templateContext) {
  HDC dc = CreateCompatibleDC(templateContext != nullptr ? templateContext->dc : nullptr);
  if (dc == nullptr) return nullptr;
  const HGDIOBJ initialBitmap = GetCurrentObject(dc, OBJ_BITMAP);
  ContextRecord* context = NewContext(dc, false);
  if (context == nullptr) {
    DeleteDC(dc);
    return nullptr;
  }
  context->initialBitmap = initialBitmap;
  return context;
}

DrawContext ContextFromHost(void* deviceContext) {
  auto* dc = static_cast<HDC>(deviceContext);
  if (dc == nullptr || GetObjectType(dc) != OBJ_MEMDC) return nullptr;
  const int saved = SaveDC(dc);
  if (saved == 0) return nullptr;
  ContextRecord* context = NewContext(dc, true);
  if (context == nullptr) {
    RestoreDC(dc, saved);
    return nullptr;
  }
  context->savedState = saved;
  SurfaceRecord* surface = HostSurfaceOf(dc);
  if (surface == nullptr) {
    ReleaseContext(context);
    return nullptr;
  }
  context->surface = surface;
  surface->selectedIn = context;
  return context;
}

void ReleaseContext(DrawContext context) {
  if (context == nullptr) return;
  if (context->host) {
    // The host's objects, clip and settings come back; its bitmap was never ours.
    RestoreDC(context->dc, context->savedState);
    delete context->surface;
  } else {
    DeleteDC(context->dc);
    if (context->surface != nullptr) context->surface->selectedIn = nullptr;
  }
  DropSelected(context);
  delete context;
}

void SelectDefaultObjects(DrawContext context) {
  if (context == nullptr) return;
  SelectStartingObjects(context, StockPen(false), StockBrush(false));
  if (!context->host) UseSurface(context, nullptr);
}

// ---- Surfaces ------------------------------------------------------------------------------------------

Surface MakeSurface(DrawContext context, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) return nullptr;
  void* bits = nullptr;
  HBITMAP bitmap = MakeDibSection(context != nullptr ? context->dc : nullptr, width, height, bits);
  if (bitmap == nullptr) return nullptr;
  std::memset(bits, 0, size_t(width) * size_t(height) * 4);
  auto* surface =
      new (std::nothrow) SurfaceRecord{bitmap, static_cast<uint32_t*>(bits), width, height, width * 4, false, nullptr};
  if (surface == nullptr) DeleteObject(bitmap);
  return surface;
}

bool ReleaseSurface(Surface surface) {
  if (surface == nullptr) return true;
  if (surface->selectedIn != nullptr) return false;
  DeleteObject(surface->bitmap);
  delete surface;
  return true;
}

bool UseSurface(DrawContext context, Surface surface) {
  if (context == nullptr || context->host) return false;
  if (surface == context->surface) return true;
  if (surface != nullptr && surface->selectedIn != nullptr) return false;
  // The clip belongs to the context: it is put back whatever selecting a bitmap does to it.
  HDC dc = context->dc;
  HRGN clip = CreateRectRgn(0, 0, 0, 0);
  const bool clipped = clip != nullptr && GetClipRgn(dc, clip) == 1;
  const bool selected = SelectObject(dc, surface != nullptr ? surface->bitmap : context->initialBitmap) != nullptr;
  if (selected) {
    SelectClipRgn(dc, clipped ? clip : nullptr);
    if (context->surface != nullptr) context->surface->selectedIn = nullptr;
    context->surface = surface;
    if (surface != nullptr) surface->selectedIn = context;
  }
  if (clip != nullptr) DeleteObject(clip);
  return selected;
}

PixelView SurfacePixels(Surface surface) {
  if (surface == nullptr) return {nullptr, 0, 0, 0};
  GdiFlush();  // GDI may batch calls; the pixels must show them
  return {surface->pixels, surface->width, surface->height, surface->strideBytes};
}

// GDI reads a DIB section's memory directly and keeps no copy of it: nothing to tell it.
void MarkPixelsChanged(Surface /*surface*/) {}

Surface SelectedSurface(DrawContext context) { return context == nullptr ? nullptr : context->surface; }

// ---- Pens and brushes ----------------------------------------------------------------------------------

Pen MakePen(int32_t widthPx, Rgb colour, LineCap cap, LineJoin join) {
  if (widthPx < 0) return nullptr;
  const LOGBRUSH solid{BS_SOLID, ColourRef(colour), 0};
  HPEN handle = nullptr;
  if (widthPx <= 1) {
    handle = ExtCreatePen(PS_COSMETIC | PS_SOLID, 1, &solid, 0, nullptr);
  } else {
    const DWORD capStyle = cap == LineCap::Round  ? PS_ENDCAP_ROUND
                           : cap == LineCap::Flat ? PS_ENDCAP_FLAT
                                                  : PS_ENDCAP_SQUARE;
    const DWORD joinStyle = join == LineJoin::Round   ? PS_JOIN_ROUND
                            : join == LineJoin::Bevel ? PS_JOIN_BEVEL
                                                      : PS_JOIN_MITER;
    handle = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | capStyle | joinStyle, DWORD(widthPx), &solid, 0, nullptr);
  }
  if (handle == nullptr) return nullptr;
  auto* pen = new (std::nothrow) PenRecord{1, false, handle, false, widthPx, colour, cap};
  if (pen == nullptr) DeleteObject(handle);
  return pen;
}

void ReleasePen(Pen pen) { Drop(pen); }

Brush MakeSolidBrush(Rgb colour) {
  HBRUSH handle = CreateSolidBrush(ColourRef(colour));
  if (handle == nullptr) return nullptr;
  auto* brush = new (std::nothrow) BrushRecord{1, false, handle};
  if (brush == nullptr) DeleteObject(handle);
  return brush;
}

void ReleaseBrush(Brush brush) { Drop(brush); }

Pen NullPen() { return StockPen(true); }

Brush NullBrush() { return StockBrush(true); }

Pen UsePen(DrawContext context, Pen pen) { return UseCounted(context, &ContextRecord::pen, pen); }

Brush UseBrush(DrawContext context, Brush brush) { return UseCounted(context, &ContextRecord::brush, brush); }

// ---- Shapes --------------------------------------------------------------------------------------------

void FillBox(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom, Brush brush) {
  if (!Drawable(context) || brush == nullptr) return;
  Order(left, right);
  Order(top, bottom);
  const RECT box{left, top, right, bottom};
  FillRect(context->dc, &box, brush->handle);
}

void DrawRectangle(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (context == nullptr) return;
  Order(left, right);
  Order(top, bottom);
  if (context->pathState == ContextRecord::PathOpen) {
    // GDI's own rectangle would enter the path one pixel short on the right and at the bottom; a path
    // covers what FillBox would.
    const POINT corners[] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    Polygon(context->dc, corners, 4);
    return;
  }
  if (Drawable(context) && left != right && top != bottom) Rectangle(context->dc, left, top, right, bottom);
}

void DrawEllipse(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (context == nullptr) return;
  Order(left, right);
  Order(top, bottom);
  const bool inPath = context->pathState == ContextRecord::PathOpen;
  if ((inPath || Drawable(context)) && left != right && top != bottom) {
    Ellipse(context->dc, left, top, right, bottom);
  }
}

void DrawPie(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t x1, int32_t y1,
             int32_t x2, int32_t y2) {
  if (!Drawable(context)) return;
  Order(left, right);
  Order(top, bottom);
  if (right - left > 1 && bottom - top > 1) Pie(context->dc, left, top, right, bottom, x1, y1, x2, y2);
}

void DrawPolygon(DrawContext context, const Point* points, int32_t count) {
  if (context == nullptr || points == nullptr || count < 2) return;
  if (context->pathState != ContextRecord::PathOpen && !Drawable(context)) return;
  std::vector<POINT> corners(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) corners[size_t(i)] = {points[i].x, points[i].y};
  Polygon(context->dc, corners.data(), count);
}

void MoveTo(DrawContext context, int32_t x, int32_t y) {
  if (context != nullptr) MoveCurrent(context, x, y);
}

void DrawLineTo(DrawContext context, int32_t x, int32_t y) {
  if (context == nullptr) return;
  const Point from = MoveCurrent(context, x, y);
  const PenRecord* pen = context->pen;
  if (!Drawable(context) || pen->null) return;
  HDC dc = context->dc;
  if (from.x == x && from.y == y && pen->widthPx > 1 && pen->cap == LineCap::Square) {
    // GDI gives a zero-length line no square caps; a square pen's dot is its square.
    const int32_t left = x - pen->widthPx / 2, top = y - pen->widthPx / 2;
    FillSolid(dc, left, top, left + pen->widthPx, top + pen->widthPx, pen->colour);
    return;
  }
  MoveToEx(dc, from.x, from.y, nullptr);
  LineTo(dc, x, y);
  // The cosmetic pen leaves out the last pixel, as a flat cap does; a square or round cap reaches it.
  if (pen->widthPx <= 1 && pen->cap != LineCap::Flat) SetPixelV(dc, x, y, ColourRef(pen->colour));
}

// ---- Paths and clipping --------------------------------------------------------------------------------

void StartPath(DrawContext context) {
  if (context == nullptr) return;
  BeginPath(context->dc);
  context->pathState = ContextRecord::PathOpen;
}

void FinishPath(DrawContext context) {
  if (context == nullptr || context->pathState != ContextRecord::PathOpen) return;
  EndPath(context->dc);
  context->pathState = ContextRecord::PathDone;
}

bool ClipToPath(DrawContext context, ClipCombine combine) {
  if (context == nullptr || context->pathState != ContextRecord::PathDone) return false;
  context->pathState = ContextRecord::NoPath;
  HDC dc = context->dc;
  if (combine == ClipCombine::Difference) {
    // Without a clip GDI would subtract from whatever it takes for the surface; the seam subtracts from
    // all of any surface.
    HRGN clip = CreateRectRgn(0, 0, 0, 0);
    if (clip != nullptr && GetClipRgn(dc, clip) == 0) SetClipBox(context, 0, 0, kMaxSurfaceSide, kMaxSurfaceSide);
    if (clip != nullptr) DeleteObject(clip);
  }
  if (!SelectClipPath(dc, combine == ClipCombine::Copy ? RGN_COPY : RGN_DIFF)) {
    // GDI refuses a path without an area: nothing is kept, or nothing is taken away.
    AbortPath(dc);
    if (combine == ClipCombine::Copy) SetClipBox(context, 0, 0, 0, 0);
  }
  return true;
}

void SetClipBox(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (context == nullptr) return;
  Order(left, right);
  Order(top, bottom);
  HRGN box = CreateRectRgn(left, top, right, bottom);
  if (box == nullptr) return;
  SelectClipRgn(context->dc, box);  // GDI copies the region
  DeleteObject(box);
}

void ClearClip(DrawContext context) {
  if (context != nullptr) SelectClipRgn(context->dc, nullptr);
}

// ---- Block copy ----------------------------------------------------------------------------------------

bool CopyBlock(DrawContext target, int32_t x, int32_t y, int32_t width, int32_t height, DrawContext source,
               int32_t sourceX, int32_t sourceY) {
  if (target == nullptr || source == nullptr || target->surface == nullptr || source->surface == nullptr) {
    return false;
  }
  // Leave out what lies outside the source; the target's edges and clip are GDI's.
  int64_t sx = sourceX, sy = sourceY, tx = x, ty = y, w = width, h = height;
  CutSpan(sx, tx, w, source->surface->width);
  CutSpan(sy, ty, h, source->surface->height);
  if (w <= 0 || h <= 0 || tx > INT32_MAX || ty > INT32_MAX) return true;
  return BitBlt(target->dc, int(tx), int(ty), int(w), int(h), source->dc, int(sx), int(sy), SRCCOPY) != FALSE;
}

bool WriteSurfacePng(Surface /*surface*/, const char* /*path*/) { return false; }

}  // namespace kvr::platform

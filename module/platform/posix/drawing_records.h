// The records behind the drawing handles on POSIX and the helpers that the shape code and the text code
// share. Private to module/platform/posix/drawing_*.cpp.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "module/platform/drawing.h"
#include "module/platform/drawing_objects.h"

namespace kvr::platform {

// Pens, brushes and fonts are counted (drawing_objects.h): `refs` and `stock`.

struct PenRecord {
  int32_t refs;
  bool stock;
  bool null;        // draws nothing
  int32_t widthPx;  // 0 and 1: the thinnest line
  Rgb colour;
  LineCap cap;
  LineJoin join;
};

struct BrushRecord {
  int32_t refs;
  bool stock;
  bool null;
  Rgb colour;
};

// The pixels a string's glyphs, or their stroked outlines, cover, as a one-byte-a-pixel mask (non-zero:
// covered) whose top-left pixel lies at (left, top) from the top-left corner of the text's cell.
struct TextMask {
  int32_t left = 0, top = 0, width = 0, height = 0;
  std::vector<uint8_t> bits;
  // The covered pixels as runs along the rows: row, first and last column (mask coordinates). Made by
  // FinishMask from `bits`; painting goes by them.
  struct Run {
    int32_t row, first, last;
  };
  std::vector<Run> runs;
  TextExtent extent{0, 0, 0};  // of a string's glyph mask: its cell
};

// Finds the runs of a mask whose bits are set.
void FinishMask(TextMask& mask);

// Takes a mask's bits from the A8 `image` that `cairo` drew it into (mask.width x mask.height), finds its
// runs, and destroys both; false when Cairo failed.
bool TakeMask(cairo_t* cairo, cairo_surface_t* image, TextMask& mask);

// Appends the bytes of a value to a cache key.
template <typename Value>
void AppendKey(std::string& key, const Value& value) {
  key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

struct FontRecord {
  int32_t refs;
  bool stock;
  cairo_scaled_font_t* scaled;  // em size chosen so that ascent + descent = heightPx
  int32_t heightPx;             // cell height
  int32_t ascentPx;             // rows above the baseline; heightPx - ascentPx below it
  std::string family;           // the family actually loaded
  // Masks of strings drawn before, by what they depend on (text, spacing, and the pen of an outline):
  // a string is rasterised once, then only its pixels are written (see drawing_text.cpp). Shared by all
  // fonts of one face, size and width, and kept for the module's life, so that a font made anew for each
  // drawing finds them too.
  std::unordered_map<std::string, TextMask>* masks;
};

struct SurfaceRecord {
  cairo_surface_t* cairo;  // CAIRO_FORMAT_RGB24 over `pixels`
  uint32_t* pixels;
  int32_t width;
  int32_t height;
  int32_t strideBytes;
  bool ownsPixels;            // false for a host's surface
  ContextRecord* selectedIn;  // the one context it is selected into, or null
};

// A shape of a path, in pixel-centre coordinates as the caller gave them.
struct PathShape {
  enum Kind { Box, Ellipse, Polygon } kind;
  int32_t left, top, right, bottom;  // Box and Ellipse, already in order
  std::vector<Point> points;         // Polygon
};

struct ClipStep {
  std::vector<PathShape> shapes;
  bool subtract;  // false: intersect with the shapes; true: intersect with everything outside them
};

struct ContextRecord {
  bool host;               // made by ContextFromHost: owns its SurfaceRecord, cannot change it
  SurfaceRecord* surface;  // selected surface or null
  cairo_t* cairo;          // drawing state on `surface`; null without a surface
  PenRecord* pen;
  BrushRecord* brush;
  FontRecord* font;
  TextSettings text;  // read when text is drawn
  Point current;
  enum PathState { NoPath, PathOpen, PathDone } pathState;
  std::vector<PathShape> path;
  std::vector<ClipStep> clip;  // applied in order; empty = no clip
  // A clip that is not one rectangle, as pixels (see ApplyClip): per row the first and last kept pixel,
  // and whether every pixel between them is kept; `clipMask` has a byte per pixel, non-zero where kept.
  // Cairo itself clips only to the kept pixels' bounding box; SoftClipGuard keeps the rest.
  // The mask is kept while the clip and the surface's size stay as they are, so switching between
  // surfaces of one size does not find it again; clipMaskWidth 0 means there is none.
  bool softClip = false;
  int32_t clipMaskWidth = 0, clipMaskHeight = 0;
  int32_t keptLeft = 0, keptTop = 0, keptRight = -1, keptBottom = -1;  // kept pixels' box; right < 0: none
  std::vector<uint8_t> clipMask;
  std::vector<int32_t> clipRowFirst, clipRowLast;
  std::vector<uint8_t> clipRowSolid;
  // Clips found as pixels before, by their shapes and the surface's size: a face drawn anew sets the same
  // few clips each time. Each holds clipMask, the three row tables and the kept box.
  struct FoundClip {
    std::vector<uint8_t> mask;
    std::vector<int32_t> rowFirst, rowLast;
    std::vector<uint8_t> rowSolid;
    int32_t left, top, right, bottom;
  };
  std::unordered_map<std::string, FoundClip> foundClips;
  // Shapes drawn more than once at whole-pixel offsets of each other (drawing_masks.cpp): how often each
  // was seen, and the fill and outline masks of those seen twice or more.
  std::unordered_map<std::string, int32_t> shapesSeen;
  std::unordered_map<std::string, std::pair<TextMask, TextMask>> shapeMasks;
  // SoftClipGuard's buffers, kept between drawing calls so that a guard does not allocate.
  std::vector<uint32_t> spareSpanStarts, spareSpanLengths, spareSaved;
};

// Saves the pixels in a box about to be drawn that the context's clip excludes, and puts them back when
// it goes out of scope; nothing for a context without a soft clip. Coordinates in pixels, inclusive.
class SoftClipGuard {
 public:
  SoftClipGuard(ContextRecord* context, double x1, double y1, double x2, double y2);
  ~SoftClipGuard();
  SoftClipGuard(const SoftClipGuard&) = delete;
  SoftClipGuard& operator=(const SoftClipGuard&) = delete;

 private:
  void Save(int32_t y, int32_t from, int32_t to);  // pixels from..to (inclusive) of row y
  ContextRecord* context_ = nullptr;
  int32_t left_ = 0, top_ = 0, right_ = -1, bottom_ = -1;
  // Runs of saved pixels: the word index of the first, how many, and their values one after the other.
  std::vector<uint32_t> spanStarts_, spanLengths_, saved_;
};

// ---- Shared helpers ------------------------------------------------------------------------------------

// Pixel-centre coordinates map to Cairo's pixel-edge coordinates by these offsets. They are a little
// under one half, so that a pixel centre never falls exactly on the edge of a shape with whole-number
// corners: a pixel is covered when its centre is inside, the left and top edges count as inside and the
// right and bottom ones as outside, as in GDI. The two differ so that diagonal edges do not meet centres
// exactly either.
inline constexpr double kCentreOffsetX = 0.5 - 1.0 / 64;
inline constexpr double kCentreOffsetY = 0.5 - 1.0 / 32;

// drawing_cairo.cpp

void SetSourceColour(cairo_t* cairo, Rgb colour);

// Adds a shape of a path as a region: a box as the pixels FillBox covers, an ellipse and a polygon as
// their fill.
void AddShapeRegion(cairo_t* cairo, const PathShape& shape);

// Fills Cairo's current path (kept) with `colour`, even-odd or winding.
void FillCurrentPath(ContextRecord* context, Rgb colour, bool evenOdd);

// Cairo's image backend writes 0xFF into the unused top byte of each pixel it draws; the surface's
// contract is 0x00RRGGBB. Clears that byte in the box (Cairo coordinates, widened to whole pixels).
void SettlePixels(ContextRecord* context, double x1, double y1, double x2, double y2);

// drawing_strokes.cpp

// Sets the line width, caps, joins and mitre limit of a wide pen on `cairo`.
void SetStrokeStyle(cairo_t* cairo, const PenRecord* pen);

// Strokes Cairo's current path (then cleared) with `pen`: a wide pen through Cairo, the thinnest pen
// pixel by pixel along the flattened path.
void StrokeCurrentPath(ContextRecord* context, const PenRecord* pen);

// A box round everything a wide pen's stroke of Cairo's current path covers (Cairo coordinates).
void StrokeBounds(cairo_t* cairo, const PenRecord* pen, double& x1, double& y1, double& x2, double& y2);

// drawing_masks.cpp

// Sets the context's clip on its Cairo state (after a new Cairo state or surface).
void ApplyClip(ContextRecord* context);

// Sets a changed clip: what was found as pixels for the old one no longer holds.
void ReplaceClip(ContextRecord* context);

// The pixels the context's clip keeps, one byte a pixel (non-zero: kept) over the whole selected surface
// (rows `width` bytes apart); null when there is no clip.
const uint8_t* KeptPixels(ContextRecord* context);

// Adds a shape's path to a Cairo state, moved by (dx, dy) from where it is drawn. Refers to the caller's
// callable without owning it: valid for the call it is passed to.
class AddPathRef {
 public:
  template <typename AddPath>
  AddPathRef(const AddPath& addPath)  // implicit, so that a lambda is passed as it is
      : callable_(&addPath), call_([](const void* callable, cairo_t* cairo, int32_t dx, int32_t dy) {
          (*static_cast<const AddPath*>(callable))(cairo, dx, dy);
        }) {}
  void operator()(cairo_t* cairo, int32_t dx, int32_t dy) const { call_(callable_, cairo, dx, dy); }

 private:
  const void* callable_;
  void (*call_)(const void* callable, cairo_t* cairo, int32_t dx, int32_t dy);
};

// Draws a shape through its fill and outline masks when it has been seen before: `key` names its geometry
// relative to (originX, originY), `addPath` adds it moved by (dx, dy) from there. False when it is to be
// drawn through Cairo (first sight, the thinnest pen, or no masks could be made).
bool DrawShapeByMask(ContextRecord* context, std::string key, int32_t originX, int32_t originY, bool fill,
                     AddPathRef addPath);

// Writes `colour` into every pixel of the surface that `mask` covers, placed with its (0, 0) at (x, y),
// within the surface and the context's clip.
void PaintMask(ContextRecord* context, const TextMask& mask, int32_t x, int32_t y, Rgb colour);

// ---- The hooks of drawing_objects.h ------------------------------------------------------------------

inline void FreeObject(PenRecord* pen) { delete pen; }
inline void FreeObject(BrushRecord* brush) { delete brush; }
inline void FreeObject(FontRecord* font) {
  cairo_scaled_font_destroy(font->scaled);
  delete font;
}

// Cairo has no selected objects: the context's record is read when it draws.
template <typename Record>
void SelectIn(ContextRecord* /*context*/, Record* /*record*/) {}

}  // namespace kvr::platform

// The module's seam to the platform's 2D drawing, in the model of a Windows GDI device context: a context
// holds one selected surface, pen, brush and font, the text settings, a current position, a path and a
// clip region; drawing calls use what is selected. Coordinates are whole pixels of the selected surface,
// x to the right and y downward; a pixel is addressed by its centre, so a one-pixel line from (0, 0) to
// (9, 0) lights the top-left pixel first. Shapes cover the pixels GDI covers (right and bottom edges of a
// bounding box are exclusive), and nothing is anti-aliased: every pixel drawn has exactly the colour of
// the pen, brush or text that drew it.
//
// Every function is called on the simulator's panel thread only. Null handles are accepted everywhere
// and do nothing (a null pen or brush draws no outline or fill; a call on a null context is ignored).
#pragma once

#include <cstdint>

namespace kvr::platform {

// ---- Colours and geometry ------------------------------------------------------------------------------

struct Rgb {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};

// The surface word of a colour: 0x00RRGGBB (little-endian bytes blue, green, red, zero).
constexpr uint32_t PixelWord(Rgb colour) {
  return (uint32_t{colour.red} << 16) | (uint32_t{colour.green} << 8) | uint32_t{colour.blue};
}

struct Point {
  int32_t x;
  int32_t y;
};

// ---- Handles -------------------------------------------------------------------------------------------
// Opaque; each platform defines the records. Objects made by Make* are freed by their Release*; a pen,
// brush or font released while still selected lives on until it is deselected.

struct ContextRecord;
struct SurfaceRecord;
struct PenRecord;
struct BrushRecord;
struct FontRecord;
using DrawContext = ContextRecord*;
using Surface = SurfaceRecord*;
using Pen = PenRecord*;
using Brush = BrushRecord*;
using Font = FontRecord*;

// ---- Contexts ------------------------------------------------------------------------------------------

// A new off-screen context with no surface selected, compatible with `templateContext` (null: with the
// screen). Starts with a black one-pixel pen, a white brush, a default font, black text on an opaque white
// background, left/top alignment, no extra spacing, no clip, current position (0, 0).
DrawContext MakeCompatibleContext(DrawContext templateContext);

// The context of a drawing surface that the host hands an element: on Windows the element's HDC, on
// POSIX a HostSurface (module/gauge/panel_sdk.h) whose pixels the host owns. Its surface is fixed (it
// cannot select another) and taken as the record says when the context is made: make the context where
// it is used (each frame) rather than keep it. Null when `deviceContext` is not such a thing.
DrawContext ContextFromHost(void* deviceContext);

// Frees a context from either maker. Whatever is selected is deselected first; the host's pixels stay.
void ReleaseContext(DrawContext context);

// Selects the defaults a new context starts with (and no surface), so that none of the caller's objects
// stays selected.
void SelectDefaultObjects(DrawContext context);

// ---- Surfaces ------------------------------------------------------------------------------------------

// A 32-bit top-down surface of width x height pixels for `context`, all pixels 0. Null when the size is
// not positive or too large (either side above 16384).
Surface MakeSurface(DrawContext context, int32_t width, int32_t height);

// Frees a surface; refused (false) while it is selected into a context.
bool ReleaseSurface(Surface surface);

// Selects `surface` into a context made by MakeCompatibleContext (null selects none). Refused (false) for
// a host context and for a surface selected into another context. The clip region stays with the
// context across surfaces.
bool UseSurface(DrawContext context, Surface surface);

// Direct access to the pixels: row 0 first, each pixel a word 0x00RRGGBB, rows `strideBytes` apart
// (for surfaces made here strideBytes is width x 4: the rows follow each other without a gap). Any drawing
// still pending is finished first. {null, 0, 0, 0} for a null surface.
struct PixelView {
  uint32_t* pixels;
  int32_t width;
  int32_t height;
  int32_t strideBytes;
};
PixelView SurfacePixels(Surface surface);

// Says that the pixels were written directly since SurfacePixels; drawing and copies then see them.
void MarkPixelsChanged(Surface surface);

// The surface selected into a context (a host context's own), or null.
Surface SelectedSurface(DrawContext context);

// ---- Pens and brushes ----------------------------------------------------------------------------------

enum class LineCap { Square, Round, Flat };
enum class LineJoin { Mitre, Round, Bevel };

// A solid geometric pen `widthPx` pixels wide, centred on the line (0 and 1 both give the thinnest line,
// one pixel wide, drawn pixel by pixel). A Square cap reaches half the width beyond each end, a Round cap
// is a half disc, a Flat cap ends at the end point; a one-pixel line with a Flat cap leaves out its last
// pixel, as GDI's LineTo does. Null when the width is negative.
Pen MakePen(int32_t widthPx, Rgb colour, LineCap cap, LineJoin join);
void ReleasePen(Pen pen);
Brush MakeSolidBrush(Rgb colour);
void ReleaseBrush(Brush brush);

// Stock objects: draw no outline, no fill. Never released.
Pen NullPen();
Brush NullBrush();

// Select into a context; each returns the object selected before (to be selected back later).
Pen UsePen(DrawContext context, Pen pen);
Brush UseBrush(DrawContext context, Brush brush);

// ---- Shapes --------------------------------------------------------------------------------------------
// Outlines use the selected pen, fills the selected brush. Boxes are (left, top) to (right, bottom) with
// the right column and bottom row left out; a reversed box is put in order first.

// Fills columns left..right-1 and rows top..bottom-1 with `brush` (not the selected one). No pen.
void FillBox(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom, Brush brush);

// GDI's Rectangle: the outline runs through the pixels left, right-1, top and bottom-1 (centred on them
// when wider), the inside is filled. With the null pen the fill covers left..right-2 x top..bottom-2.
void DrawRectangle(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom);

// The ellipse inscribed in the box, outlined and filled.
void DrawEllipse(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom);

// A sector of the ellipse inscribed in the box, from its centre: the arc runs counter-clockwise (as seen
// on the screen) from where the radial toward (x1, y1) meets the ellipse to where the radial toward
// (x2, y2) does; both radials are drawn. The same radial twice gives the whole ellipse.
void DrawPie(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t x1, int32_t y1,
             int32_t x2, int32_t y2);

// A closed polygon through `count` points (at least 2), filled (even-odd rule) and outlined with joins.
void DrawPolygon(DrawContext context, const Point* points, int32_t count);

// MoveTo sets the current position; DrawLineTo draws from it to (x, y) with the selected pen and moves it
// there. A zero-length line with a Round cap is a dot: a filled disc the pen's width across.
void MoveTo(DrawContext context, int32_t x, int32_t y);
void DrawLineTo(DrawContext context, int32_t x, int32_t y);

// ---- Text ----------------------------------------------------------------------------------------------

// A font by face name and cell height (ascent + descent) in pixels, GDI weight (400 normal, 700 bold),
// default width. `outlinePrecision` asks for an outline face (needed for StrokeTextOutline on Windows).
// Faces this platform lacks are mapped to ones with the same layout ("Lucida Console" -> a monospaced
// face, "Quartz" -> a seven-segment face); a face that cannot be found at all gives the monospaced face,
// never a proportional one. Null when the height is not positive or no face can be loaded.
struct FontSpec {
  const char* faceName;
  int32_t cellHeightPx;
  int32_t weight;
  bool outlinePrecision;
};
Font MakeFont(const FontSpec& spec);
void ReleaseFont(Font font);
Font UseFont(DrawContext context, Font font);  // returns the font selected before

// The family name of the face the font really uses (for checks and reports). Empty for null.
const char* FontFaceName(Font font);

enum class TextAlignX { Left, Centre, Right };
enum class TextAlignY { Top, Baseline, Bottom };

void SetTextColour(DrawContext context, Rgb colour);
void SetBackgroundColour(DrawContext context, Rgb colour);
// Opaque: text fills its cell (the text extent, placed as the alignment says) with the background colour
// before the glyphs are drawn. Transparent: only the glyphs are drawn.
void SetBackgroundOpaque(DrawContext context, bool opaque);
// Where the reference point of WriteText lies on the text's cell: its left edge, centre or right edge;
// its top row, its baseline (the row below the last ascent row) or just below its bottom row.
void SetTextAlignment(DrawContext context, TextAlignX x, TextAlignY y);
// Extra pixels added after every character (may be negative); returns the previous value.
int32_t SetCharacterSpacing(DrawContext context, int32_t extraPx);

// The cell of a string in the selected font with the extra spacing: width = sum of the characters'
// advances + length x spacing, height = the font's cell height, ascent = rows above the baseline.
struct TextExtent {
  int32_t width;
  int32_t height;
  int32_t ascent;
};
TextExtent MeasureText(DrawContext context, const char* text);

// Draws a NUL-terminated string (one byte a character, Latin-1) at the reference point (x, y).
void WriteText(DrawContext context, int32_t x, int32_t y, const char* text);

// Strokes the outlines of the glyphs that WriteText would draw at (x, y) with the selected pen (for dark
// rims around lettering). Draws no fill and no background.
void StrokeTextOutline(DrawContext context, int32_t x, int32_t y, const char* text);

// ---- Paths and clipping --------------------------------------------------------------------------------
// Between StartPath and FinishPath, DrawRectangle, DrawEllipse and DrawPolygon add their shape to the
// context's path instead of drawing (a rectangle as the pixels FillBox would cover, an ellipse and a
// polygon as their fill); other drawing calls are ignored. The finished path is used by ClipToPath and
// then discarded; StartPath discards any earlier path.

enum class ClipCombine {
  Copy,        // the clip becomes the path
  Difference,  // the clip becomes the current clip (the whole surface if none) minus the path
};

void StartPath(DrawContext context);
void FinishPath(DrawContext context);
// False (and no change) when no finished path is waiting.
bool ClipToPath(DrawContext context, ClipCombine combine);
// The clip becomes columns left..right-1 x rows top..bottom-1.
void SetClipBox(DrawContext context, int32_t left, int32_t top, int32_t right, int32_t bottom);
void ClearClip(DrawContext context);

// ---- Block copy ----------------------------------------------------------------------------------------

// GDI's BitBlt with SRCCOPY: copies width x height pixels from (sourceX, sourceY) of the surface selected
// in `source` to (x, y) of the surface selected in `target`, within the target's clip. Parts outside
// either surface are left out. The two may be the same context. False when a surface is missing.
bool CopyBlock(DrawContext target, int32_t x, int32_t y, int32_t width, int32_t height, DrawContext source,
               int32_t sourceX, int32_t sourceY);

// Writes a surface to a PNG file (for reviewing pictures); false where unsupported or on failure.
bool WriteSurfacePng(Surface surface, const char* path);

}  // namespace kvr::platform

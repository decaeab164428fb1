// Fonts and text on Windows: GDI fonts drawn without anti-aliasing, each sized so that its cell (ascent +
// descent) is the height asked for; GDI's own alignment, letter spacing, opaque cell and text extents;
// glyph outlines stroked through a GDI path. Leaves out anything beyond one byte a character (Latin-1).
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>

#include "module/platform/drawing.h"
#include "module/platform/font_aliases.h"
#include "module/platform/win32/drawing_records.h"

namespace kvr::platform {

namespace {

// What a face that cannot be found becomes, in this order: monospaced, so that text laid out for a fixed
// pitch still fits; the empty name at the end takes any fixed-pitch face GDI offers.
constexpr const char* kFallbackFaces[] = {"Lucida Console", "DejaVu Sans Mono", "Courier New", ""};
constexpr int32_t kMaxFontHeightPx = 4096;

HFONT CreateFace(const char* face, int32_t heightPx, int32_t widthPx, const FontSpec& spec) {
  LOGFONTA font{};
  font.lfHeight = heightPx;  // positive: the cell height
  font.lfWidth = widthPx;    // 0: the face's own proportions
  font.lfWeight = spec.weight;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfOutPrecision = spec.outlinePrecision ? OUT_OUTLINE_PRECIS : OUT_DEFAULT_PRECIS;
  font.lfQuality = NONANTIALIASED_QUALITY;  // every glyph pixel in the text's colour
  font.lfPitchAndFamily = face[0] == '\0' ? FIXED_PITCH | FF_MODERN : DEFAULT_PITCH;
  lstrcpynA(font.lfFaceName, face, LF_FACESIZE);
  return CreateFontIndirectA(&font);
}

struct FaceMetrics {
  char face[LF_FACESIZE];
  int32_t cellPx;
  int32_t averagePx;  // GDI's average character width, which lfWidth sets
  int32_t digitPx;    // the advance of "0"
  bool fixedPitch;
};

bool Measure(HDC dc, HFONT font, FaceMetrics& metrics) {
  const HGDIOBJ previous = SelectObject(dc, font);
  TEXTMETRICA text{};
  SIZE digit{};
  metrics.face[0] = '\0';
  const bool ok = GetTextFaceA(dc, LF_FACESIZE, metrics.face) > 0 && GetTextMetricsA(dc, &text) &&
                  GetTextExtentPoint32A(dc, "0", 1, &digit);
  SelectObject(dc, previous);
  metrics.cellPx = text.tmHeight;
  metrics.averagePx = text.tmAveCharWidth;
  metrics.digitPx = digit.cx;
  metrics.fixedPitch = (text.tmPitchAndFamily & TMPF_FIXED_PITCH) == 0;  // the bit is set for variable pitch
  return ok;
}

// `face` when GDI gives that face itself (for "": any fixed-pitch face), else null. GDI sizes a face in
// whole pixels per em and rounds ascent and descent apart, so the cell can come out a pixel off the
// height asked: the height is corrected until the cell is exact or, where the face has no such size, the
// nearest, the smaller of two equally near (text then stays inside boxes laid out for the height asked).
FontRecord* LoadFace(HDC dc, const char* face, double advancePerCell, const FontSpec& spec) {
  FaceMetrics best{};
  int32_t bestHeight = 0, bestMiss = INT32_MAX;
  int32_t height = spec.cellHeightPx;
  for (int attempt = 0; attempt < 3; ++attempt) {
    FaceMetrics metrics{};
    HFONT probe = CreateFace(face, height, 0, spec);
    const bool measured = probe != nullptr && Measure(dc, probe, metrics);
    if (probe != nullptr) DeleteObject(probe);
    if (!measured) return nullptr;
    if (face[0] == '\0' ? !metrics.fixedPitch : lstrcmpiA(metrics.face, face) != 0) return nullptr;
    const int32_t miss = metrics.cellPx - spec.cellHeightPx;
    if (std::abs(miss) < std::abs(bestMiss) || (std::abs(miss) == std::abs(bestMiss) && miss < bestMiss)) {
      best = metrics;
      bestHeight = height;
      bestMiss = miss;
    }
    if (miss == 0 || height - miss <= 0) break;
    height -= miss;
  }
  int32_t width = 0;
  if (advancePerCell > 0 && best.digitPx > 0 && best.averagePx > 0) {
    const double digitWanted = advancePerCell * spec.cellHeightPx;
    width = std::max(1, static_cast<int32_t>(std::lround(best.averagePx * digitWanted / best.digitPx)));
  }
  HFONT handle = CreateFace(face, bestHeight, width, spec);
  if (handle == nullptr) return nullptr;
  auto* font = new (std::nothrow) FontRecord{1, false, handle, best.face};
  if (font == nullptr) DeleteObject(handle);
  return font;
}

std::wstring WideOfLatin1(const char* text) {
  std::wstring wide;
  for (const char* c = text; c != nullptr && *c != '\0'; ++c) wide.push_back(static_cast<unsigned char>(*c));
  return wide;
}

bool CanDraw(const ContextRecord* context) {
  return context != nullptr && context->surface != nullptr && context->pathState != ContextRecord::PathOpen &&
         context->font != nullptr;
}

StockFont<FontRecord> gDefaultFont;

}  // namespace

// ---- Fonts ---------------------------------------------------------------------------------------------

Font MakeFont(const FontSpec& spec) {
  if (spec.cellHeightPx <= 0 || spec.cellHeightPx > kMaxFontHeightPx) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return nullptr;
  const char* asked = spec.faceName != nullptr ? spec.faceName : "";
  FontRecord* font = asked[0] != '\0' ? LoadFace(dc, asked, 0.0, spec) : nullptr;
  for (const FaceAlias& alias : kFaceAliases) {
    if (font == nullptr && lstrcmpiA(alias.requested, asked) == 0)
      font = LoadFace(dc, alias.family, alias.advancePerCell, spec);
  }
  for (const char* face : kFallbackFaces) {
    if (font == nullptr) font = LoadFace(dc, face, 0.0, spec);
  }
  DeleteDC(dc);
  return font;
}

void ReleaseFont(Font font) { Drop(font); }

// The empty face: any fixed-pitch face GDI offers.
FontRecord* DefaultFont() { return gDefaultFont.Get(""); }

Font UseFont(DrawContext context, Font font) { return UseCounted(context, &ContextRecord::font, font); }

const char* FontFaceName(Font font) { return font == nullptr ? "" : font->family.c_str(); }

// ---- Text settings -------------------------------------------------------------------------------------

TextSettings* TextSettingsOf(DrawContext context) { return context == nullptr ? nullptr : &context->text; }

// GDI draws text by the device context's own settings: they follow the record's, all of them each time.
void ApplyTextSettings(DrawContext context) {
  const TextSettings& text = context->text;
  HDC dc = context->dc;
  SetTextColor(dc, ColourRef(text.colour));
  SetBkColor(dc, ColourRef(text.backColour));
  SetBkMode(dc, text.opaque ? OPAQUE : TRANSPARENT);
  const UINT horizontal = text.alignX == TextAlignX::Centre  ? TA_CENTER
                          : text.alignX == TextAlignX::Right ? TA_RIGHT
                                                             : TA_LEFT;
  const UINT vertical = text.alignY == TextAlignY::Baseline ? TA_BASELINE
                        : text.alignY == TextAlignY::Bottom ? TA_BOTTOM
                                                            : TA_TOP;
  SetTextAlign(dc, horizontal | vertical | TA_NOUPDATECP);
  SetTextCharacterExtra(dc, text.spacingPx);
}

// ---- Text ----------------------------------------------------------------------------------------------

TextExtent MeasureText(DrawContext context, const char* text) {
  if (context == nullptr || context->font == nullptr) return {0, 0, 0};
  TEXTMETRICW metrics{};
  if (!GetTextMetricsW(context->dc, &metrics)) return {0, 0, 0};
  const std::wstring wide = WideOfLatin1(text);
  SIZE size{};
  if (!wide.empty() && !GetTextExtentPoint32W(context->dc, wide.data(), int(wide.size()), &size)) size.cx = 0;
  return {size.cx, metrics.tmHeight, metrics.tmAscent};
}

void WriteText(DrawContext context, int32_t x, int32_t y, const char* text) {
  if (!CanDraw(context)) return;
  const std::wstring wide = WideOfLatin1(text);
  if (!wide.empty()) ExtTextOutW(context->dc, x, y, 0, nullptr, wide.data(), UINT(wide.size()), nullptr);
}

void StrokeTextOutline(DrawContext context, int32_t x, int32_t y, const char* text) {
  if (!CanDraw(context)) return;
  const std::wstring wide = WideOfLatin1(text);
  if (wide.empty()) return;
  HDC dc = context->dc;
  // A device context has one path: a finished one still waiting for ClipToPath is given up here.
  context->pathState = ContextRecord::NoPath;
  const int backgroundMode = SetBkMode(dc, TRANSPARENT);  // the outlines alone, no cell
  BeginPath(dc);
  ExtTextOutW(dc, x, y, 0, nullptr, wide.data(), UINT(wide.size()), nullptr);
  EndPath(dc);
  StrokePath(dc);
  SetBkMode(dc, backgroundMode);
}

}  // namespace kvr::platform

// Fonts and text on POSIX: faces found through fontconfig and drawn by Cairo's FreeType backend without
// anti-aliasing, each sized so that its cell (ascent + descent) is the height asked for; GDI's text
// settings, text extents and stroked glyph outlines. Leaves out kerning, shaping and anything beyond one
// byte a character (Latin-1).
#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "module/platform/drawing.h"
#include "module/platform/font_aliases.h"
#include "module/platform/posix/drawing_records.h"

namespace kvr::platform {

namespace {

// What a face that cannot be found becomes: monospaced, so that text laid out for a fixed pitch still fits.
constexpr FaceAlias kFallback{"", "DejaVu Sans Mono", 0.0};
constexpr const char* kFallbackFamily = kFallback.family;
constexpr int32_t kMaxFontHeightPx = 4096;

// The stand-in of a face, chosen before fontconfig is asked: fontconfig itself would hand "Lucida
// Console" a proportional face.
FaceAlias AliasFor(const char* faceName) {
  if (faceName == nullptr || faceName[0] == '\0') return kFallback;
  for (const FaceAlias& alias : kFaceAliases) {
    if (FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(alias.requested),
                           reinterpret_cast<const FcChar8*>(faceName)) == 0) {
      return alias;
    }
  }
  return FaceAlias{faceName, faceName, 0.0};
}

// fontconfig's best match for `family`, only when it really is that family (fontconfig always answers
// with something). The caller destroys the pattern. `resolved` receives the family name as installed.
FcPattern* MatchFamily(const char* family, int32_t weight, std::string& resolved) {
  FcPattern* wanted = FcPatternCreate();
  if (wanted == nullptr) return nullptr;
  FcPatternAddString(wanted, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddInteger(wanted, FC_WEIGHT, FcWeightFromOpenType(std::clamp(weight == 0 ? 400 : weight, 1, 1000)));
  FcPatternAddInteger(wanted, FC_SLANT, FC_SLANT_ROMAN);
  FcPatternAddBool(wanted, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, wanted, FcMatchPattern);
  FcDefaultSubstitute(wanted);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, wanted, &result);
  FcPatternDestroy(wanted);
  if (match == nullptr) return nullptr;
  FcChar8* name = nullptr;
  for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
    if (FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family)) == 0) {
      resolved = reinterpret_cast<const char*>(name);
      // Glyphs are drawn as one-bit masks whatever the system's font settings say.
      FcPatternDel(match, FC_ANTIALIAS);
      FcPatternAddBool(match, FC_ANTIALIAS, FcFalse);
      return match;
    }
  }
  FcPatternDestroy(match);
  return nullptr;
}

cairo_scaled_font_t* ScaledFont(cairo_font_face_t* face, double emPx, double widthScale = 1.0) {
  cairo_matrix_t fontMatrix;
  cairo_matrix_t identity;
  cairo_matrix_init_scale(&fontMatrix, emPx * widthScale, emPx);
  cairo_matrix_init_identity(&identity);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);  // whole-pixel advances, as GDI's
  cairo_scaled_font_t* scaled = cairo_scaled_font_create(face, &fontMatrix, &identity, options);
  cairo_font_options_destroy(options);
  if (cairo_scaled_font_status(scaled) != CAIRO_STATUS_SUCCESS) {
    cairo_scaled_font_destroy(scaled);
    return nullptr;
  }
  return scaled;
}

// The face's cell in font units as GDI takes it: the Windows ascent and descent of the OS/2 table (the
// horizontal header's when there is none), the units per em, and the advance of the digit "0".
struct CellUnits {
  double ascent;
  double descent;
  double unitsPerEm;
  double digitAdvance;  // 0 when the face has no "0"
};

bool ReadCellUnits(cairo_font_face_t* face, CellUnits& units) {
  cairo_scaled_font_t* probe = ScaledFont(face, kDefaultFontHeightPx);
  if (probe == nullptr) return false;
  FT_Face ft = cairo_ft_scaled_font_lock_face(probe);
  bool ok = false;
  if (ft != nullptr && ft->units_per_EM > 0) {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
      units = {double(os2->usWinAscent), double(os2->usWinDescent), double(ft->units_per_EM), 0.0};
    } else {
      units = {double(ft->ascender), double(-ft->descender), double(ft->units_per_EM), 0.0};
    }
    units.digitAdvance = 0;
    if (FT_Load_Char(ft, '0', FT_LOAD_NO_SCALE) == 0) units.digitAdvance = double(ft->glyph->metrics.horiAdvance);
    ok = units.ascent + units.descent > 0;
  }
  if (ft != nullptr) cairo_ft_scaled_font_unlock_face(probe);
  cairo_scaled_font_destroy(probe);
  return ok;
}

// A face as fontconfig found it, with its cell metrics: looked up once per family and weight for the life
// of the module, since the match costs far more than drawing the text that uses it.
struct LoadedFace {
  cairo_font_face_t* face = nullptr;  // null: the family is not installed
  std::string family;                 // as installed
  CellUnits units{};
  // The string masks of its fonts, by cell height and width scale (see FontRecord::masks).
  std::map<std::pair<int32_t, double>, std::unordered_map<std::string, TextMask>> masks;
};

struct FaceCache {
  std::map<std::string, LoadedFace> faces;
  ~FaceCache() {
    for (auto& entry : faces)
      if (entry.second.face != nullptr) cairo_font_face_destroy(entry.second.face);
  }
} gFaceCache;

LoadedFace* FindFace(const char* family, int32_t weight) {
  const std::string key = std::string(family) + "|" + std::to_string(weight);
  if (const auto found = gFaceCache.faces.find(key); found != gFaceCache.faces.end())
    return found->second.face != nullptr ? &found->second : nullptr;
  LoadedFace loaded;
  std::string resolved;
  if (FcPattern* pattern = MatchFamily(family, weight, resolved)) {
    cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(pattern);
    FcPatternDestroy(pattern);
    if (cairo_font_face_status(face) == CAIRO_STATUS_SUCCESS && ReadCellUnits(face, loaded.units)) {
      loaded.face = face;
      loaded.family = resolved;
    } else {
      cairo_font_face_destroy(face);
    }
  }
  LoadedFace& stored = gFaceCache.faces.emplace(key, std::move(loaded)).first->second;
  return stored.face != nullptr ? &stored : nullptr;
}

FontRecord* FontFromFace(LoadedFace& loaded, double advancePerCell, int32_t heightPx) {
  const CellUnits& units = loaded.units;
  const double cellUnits = units.ascent + units.descent;
  double widthScale = 1.0;
  if (advancePerCell > 0 && units.digitAdvance > 0) widthScale = advancePerCell * cellUnits / units.digitAdvance;
  cairo_scaled_font_t* scaled = ScaledFont(loaded.face, heightPx * units.unitsPerEm / cellUnits, widthScale);
  if (scaled == nullptr) return nullptr;
  const auto ascentPx = static_cast<int32_t>(std::lround(heightPx * units.ascent / cellUnits));
  auto* font = new (std::nothrow)
      FontRecord{1, false, scaled, heightPx, ascentPx, loaded.family, &loaded.masks[{heightPx, widthScale}]};
  if (font == nullptr) cairo_scaled_font_destroy(scaled);
  return font;
}

std::string Utf8OfLatin1(const char* text) {
  std::string utf8;
  for (const char* c = text; *c != '\0'; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (byte < 0x80) {
      utf8.push_back(static_cast<char>(byte));
    } else {
      utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return utf8;
}

// A string placed on its cell: glyph origins in Cairo's pixel-edge coordinates.
struct TextLayout {
  std::vector<cairo_glyph_t> glyphs;
  TextExtent extent;
  int32_t left;  // the cell's first column and row
  int32_t top;
};

// The glyphs of `text` in `font` with their advances (whole pixels) plus the extra spacing after each.
bool ShapeText(const FontRecord* font, const char* text, int32_t spacingPx, TextLayout& layout) {
  layout = TextLayout{{}, {0, font->heightPx, font->ascentPx}, 0, 0};
  if (text == nullptr || text[0] == '\0') return true;
  const std::string utf8 = Utf8OfLatin1(text);
  cairo_glyph_t* glyphs = nullptr;
  int count = 0;
  if (cairo_scaled_font_text_to_glyphs(font->scaled, 0, 0, utf8.data(), static_cast<int>(utf8.size()), &glyphs, &count,
                                       nullptr, nullptr, nullptr) != CAIRO_STATUS_SUCCESS) {
    return false;
  }
  layout.glyphs.assign(glyphs, glyphs + count);
  cairo_glyph_free(glyphs);
  int32_t penX = 0;
  for (cairo_glyph_t& glyph : layout.glyphs) {
    cairo_text_extents_t metrics;
    cairo_scaled_font_glyph_extents(font->scaled, &glyph, 1, &metrics);
    glyph.x = penX;
    glyph.y = 0;
    penX += static_cast<int32_t>(std::lround(metrics.x_advance)) + spacingPx;
  }
  layout.extent.width = penX;
  return true;
}

// Places the shaped text so that (x, y) is the reference point the context's alignment names.
void PlaceText(const ContextRecord* context, int32_t x, int32_t y, TextLayout& layout) {
  const TextExtent& e = layout.extent;
  switch (context->text.alignX) {
    case TextAlignX::Left: layout.left = x; break;
    case TextAlignX::Centre: layout.left = x - e.width / 2; break;
    case TextAlignX::Right: layout.left = x - e.width; break;
  }
  switch (context->text.alignY) {
    case TextAlignY::Top: layout.top = y; break;
    case TextAlignY::Baseline: layout.top = y - e.ascent; break;
    case TextAlignY::Bottom: layout.top = y - e.height; break;
  }
  for (cairo_glyph_t& glyph : layout.glyphs) {
    glyph.x += layout.left;
    glyph.y = layout.top + e.ascent;
  }
}

bool LayOut(const ContextRecord* context, int32_t x, int32_t y, const char* text, TextLayout& layout) {
  if (context->font == nullptr || !ShapeText(context->font, text, context->text.spacingPx, layout)) return false;
  PlaceText(context, x, y, layout);
  return true;
}

bool CanDraw(const ContextRecord* context) {
  return context != nullptr && context->cairo != nullptr && context->pathState != ContextRecord::PathOpen &&
         context->font != nullptr;
}

// ---- Text as masks -------------------------------------------------------------------------------------
// A tag is drawn again and again with the same text: its glyphs and its stroked outline are rasterised
// once, without clip, into masks kept for the font's face and size, and each drawing writes the masks' pixels. Cairo
// places glyphs and strokes on whole-pixel origins the same way wherever they are, so a mask moved by
// whole pixels covers exactly the pixels that drawing the string there covers.

constexpr size_t kMaxMasksPerFont = 1024;  // beyond this a font size's masks are dropped and made anew

std::string MaskKey(const char* text, int32_t spacingPx, const PenRecord* pen) {
  std::string key(1, pen == nullptr ? 'g' : 'o');
  AppendKey(key, spacingPx);
  if (pen != nullptr) {
    AppendKey(key, pen->widthPx);
    AppendKey(key, static_cast<uint8_t>(pen->cap));
    AppendKey(key, static_cast<uint8_t>(pen->join));
  }
  key.append(text);
  return key;
}

// Rasterises the glyphs (pen null) or their outlines stroked with `pen` of a string whose glyph origins
// are given from the top-left corner of its cell.
bool RasteriseMask(const FontRecord* font, std::vector<cairo_glyph_t> glyphs, const PenRecord* pen, TextMask& mask) {
  const int count = static_cast<int>(glyphs.size());
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  {
    cairo_surface_t* probe = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cairo = cairo_create(probe);
    cairo_set_antialias(cairo, CAIRO_ANTIALIAS_NONE);
    cairo_set_scaled_font(cairo, font->scaled);
    if (pen != nullptr) {
      cairo_glyph_path(cairo, glyphs.data(), count);
      SetStrokeStyle(cairo, pen);
      cairo_stroke_extents(cairo, &x1, &y1, &x2, &y2);
    } else {
      cairo_text_extents_t ink;
      cairo_glyph_extents(cairo, glyphs.data(), count, &ink);
      x1 = glyphs[0].x + ink.x_bearing;
      y1 = glyphs[0].y + ink.y_bearing;
      x2 = x1 + ink.width;
      y2 = y1 + ink.height;
    }
    const bool ok = cairo_status(cairo) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cairo);
    cairo_surface_destroy(probe);
    if (!ok || !(x1 <= x2) || !(y1 <= y2)) return false;
  }
  // A margin of two pixels round the extents covers the rounding of glyph images and strokes.
  const double limit = 1e5;
  mask.left = static_cast<int32_t>(std::floor(std::clamp(x1, -limit, limit))) - 2;
  mask.top = static_cast<int32_t>(std::floor(std::clamp(y1, -limit, limit))) - 2;
  mask.width = static_cast<int32_t>(std::ceil(std::clamp(x2, -limit, limit))) + 2 - mask.left;
  mask.height = static_cast<int32_t>(std::ceil(std::clamp(y2, -limit, limit))) + 2 - mask.top;
  if (mask.width > 4096 || mask.height > 4096) return false;
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_A8, mask.width, mask.height);
  cairo_t* cairo = cairo_create(image);
  cairo_set_antialias(cairo, CAIRO_ANTIALIAS_NONE);
  cairo_set_scaled_font(cairo, font->scaled);
  cairo_set_source_rgba(cairo, 0, 0, 0, 1);
  for (cairo_glyph_t& glyph : glyphs) {
    glyph.x -= mask.left;
    glyph.y -= mask.top;
  }
  if (pen != nullptr) {
    cairo_glyph_path(cairo, glyphs.data(), count);
    SetStrokeStyle(cairo, pen);
    cairo_stroke(cairo);
  } else {
    cairo_show_glyphs(cairo, glyphs.data(), count);
  }
  return TakeMask(cairo, image, mask);
}

// The mask of a string in the context's font and spacing, made when first asked for; null when there is
// nothing to draw.
const TextMask* MaskOf(const ContextRecord* context, const char* text, const PenRecord* pen) {
  FontRecord* font = context->font;
  const std::string key = MaskKey(text, context->text.spacingPx, pen);
  if (const auto found = font->masks->find(key); found != font->masks->end()) return &found->second;
  TextLayout layout;
  if (!ShapeText(font, text, context->text.spacingPx, layout) || layout.glyphs.empty()) return nullptr;
  for (cairo_glyph_t& glyph : layout.glyphs) glyph.y = layout.extent.ascent;
  TextMask mask;
  mask.extent = layout.extent;
  if (!RasteriseMask(font, std::move(layout.glyphs), pen, mask)) return nullptr;
  if (font->masks->size() >= kMaxMasksPerFont) font->masks->clear();
  return &font->masks->emplace(key, std::move(mask)).first->second;
}

StockFont<FontRecord> gDefaultFont;

}  // namespace

// ---- Fonts ---------------------------------------------------------------------------------------------

Font MakeFont(const FontSpec& spec) {
  if (spec.cellHeightPx <= 0 || spec.cellHeightPx > kMaxFontHeightPx) return nullptr;
  FaceAlias alias = AliasFor(spec.faceName);
  LoadedFace* face = FindFace(alias.family, spec.weight);
  if (face == nullptr) {
    alias = kFallback;
    face = FindFace(alias.family, spec.weight);
  }
  if (face == nullptr) return nullptr;
  return FontFromFace(*face, alias.advancePerCell, spec.cellHeightPx);
}

void ReleaseFont(Font font) { Drop(font); }

FontRecord* DefaultFont() { return gDefaultFont.Get(kFallbackFamily); }

Font UseFont(DrawContext context, Font font) { return UseCounted(context, &ContextRecord::font, font); }

const char* FontFaceName(Font font) { return font == nullptr ? "" : font->family.c_str(); }

// ---- Text settings -------------------------------------------------------------------------------------

TextSettings* TextSettingsOf(DrawContext context) { return context == nullptr ? nullptr : &context->text; }

// Cairo reads the settings when it draws.
void ApplyTextSettings(DrawContext /*context*/) {}

// ---- Text ----------------------------------------------------------------------------------------------

TextExtent MeasureText(DrawContext context, const char* text) {
  if (context == nullptr || context->font == nullptr) return {0, 0, 0};
  TextLayout layout;
  if (!ShapeText(context->font, text, context->text.spacingPx, layout)) return {0, 0, 0};
  return layout.extent;
}

void WriteText(DrawContext context, int32_t x, int32_t y, const char* text) {
  if (!CanDraw(context) || text == nullptr) return;
  // A string drawn before is placed by the cell kept with its mask, without shaping it again.
  const TextMask* mask = text[0] == '\0' ? nullptr : MaskOf(context, text, nullptr);
  TextLayout layout;
  if (mask != nullptr) {
    layout.extent = mask->extent;
    PlaceText(context, x, y, layout);
  } else if (!LayOut(context, x, y, text, layout)) {
    return;
  }
  const TextExtent& e = layout.extent;
  if (context->text.opaque && e.width > 0) {
    cairo_t* cairo = context->cairo;
    cairo_new_path(cairo);
    cairo_rectangle(cairo, layout.left, layout.top, e.width, e.height);
    FillCurrentPath(context, context->text.backColour, false);
    cairo_new_path(cairo);
  }
  if (mask != nullptr)
    PaintMask(context, *mask, layout.left + mask->left, layout.top + mask->top, context->text.colour);
}

void StrokeTextOutline(DrawContext context, int32_t x, int32_t y, const char* text) {
  if (!CanDraw(context) || text == nullptr || text[0] == '\0') return;
  const PenRecord* pen = context->pen;
  if (pen == nullptr || pen->null) return;
  if (pen->widthPx > 1) {
    const TextMask* outline = MaskOf(context, text, pen);
    const TextMask* glyphs = outline == nullptr ? nullptr : MaskOf(context, text, nullptr);
    if (glyphs == nullptr) return;
    TextLayout layout;
    layout.extent = glyphs->extent;
    PlaceText(context, x, y, layout);
    PaintMask(context, *outline, layout.left + outline->left, layout.top + outline->top, pen->colour);
    return;
  }
  TextLayout layout;
  if (!LayOut(context, x, y, text, layout) || layout.glyphs.empty()) return;
  cairo_t* cairo = context->cairo;
  cairo_new_path(cairo);
  cairo_set_scaled_font(cairo, context->font->scaled);
  cairo_glyph_path(cairo, layout.glyphs.data(), static_cast<int>(layout.glyphs.size()));
  StrokeCurrentPath(context, context->pen);
}

}  // namespace kvr::platform

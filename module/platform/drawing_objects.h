// What the drawing seam's platforms share about their objects and text settings, so that each rule is
// written once: pens, brushes and fonts are counted, the default font lives as long as the module, and
// the text setters keep a context's settings. Private to module/platform/*/drawing_*.cpp; each platform's
// drawing_records.h gives the records and the three hooks named below (FreeObject, SelectIn,
// ApplyTextSettings).
#pragma once

#include <cstdint>

#include "module/platform/drawing.h"

namespace kvr::platform {

// ---- Counted objects -----------------------------------------------------------------------------------
// A pen, brush or font record has `refs`, the owner's reference plus one per context that selects it, so
// that one released while selected is freed only once no context holds it, and `stock`: stock records
// are never counted nor freed. The platform frees a record and what it holds with FreeObject(record).

template <typename Record>
void Retain(Record* record) {
  if (record != nullptr && !record->stock) ++record->refs;
}

// Gives up one reference; the last one frees the record (by then no context has it selected).
template <typename Record>
void Drop(Record* record) {
  if (record == nullptr || record->stock || --record->refs > 0) return;
  FreeObject(record);
}

// Selects `record` into a context's `slot` (its pen, brush or font), SelectIn(context, record) doing what
// the platform does on selection: the context takes a reference to the new record and gives up the one it
// held, and the previous record is returned. Null, and nothing changed, for a null context or record.
template <typename Context, typename Record>
Record* UseCounted(Context* context, Record* Context::*slot, Record* record) {
  if (context == nullptr || record == nullptr) return nullptr;
  Record* previous = context->*slot;
  Retain(record);
  SelectIn(context, record);
  context->*slot = record;
  Drop(previous);
  return previous;
}

// Gives up the references a context being released holds to its pen, brush and font.
template <typename Context>
void DropSelected(Context* context) {
  Drop(context->pen);
  Drop(context->brush);
  Drop(context->font);
}

// The font every context starts with; made by each platform's drawing_text.cpp with a StockFont below.
FontRecord* DefaultFont();

// Selects the objects a context starts with: the platform's stock `pen` and `brush`, and the default font
// where there is one.
template <typename Context>
void SelectStartingObjects(Context* context, PenRecord* pen, BrushRecord* brush) {
  UseCounted(context, &Context::pen, pen);
  UseCounted(context, &Context::brush, brush);
  if (FontRecord* font = DefaultFont()) UseCounted(context, &Context::font, font);
}

// ---- The default font ----------------------------------------------------------------------------------

inline constexpr int32_t kDefaultFontHeightPx = 16;

// The font every context starts with: made when first asked for, stock so that no release frees it, and
// freed with the module's statics when the module is unloaded.
template <typename Record>
class StockFont {
 public:
  constexpr StockFont() = default;
  ~StockFont() {
    if (record_ == nullptr) return;
    FreeObject(record_);
    record_ = nullptr;
  }
  StockFont(const StockFont&) = delete;
  StockFont& operator=(const StockFont&) = delete;

  // The font of `face` (its platform's name for the default face) at the default height; null while it
  // cannot be made.
  Record* Get(const char* face) {
    if (record_ == nullptr) {
      record_ = MakeFont(FontSpec{face, kDefaultFontHeightPx, 400, true});
      if (record_ != nullptr) record_->stock = true;
    }
    return record_;
  }

 private:
  Record* record_ = nullptr;
};

// ---- The current position ------------------------------------------------------------------------------

// MoveTo and DrawLineTo keep a context's position in its record on every platform: moves the position to
// (x, y) and gives back where it was, the start of a line drawn to (x, y).
template <typename Context>
Point MoveCurrent(Context* context, int32_t x, int32_t y) {
  const Point from = context->current;
  context->current = {x, y};
  return from;
}

// ---- Text settings -------------------------------------------------------------------------------------

// A context's text settings as the setters leave them; a new context starts with these.
struct TextSettings {
  Rgb colour{0, 0, 0};
  Rgb backColour{255, 255, 255};
  bool opaque = true;  // the cell behind the text filled with backColour
  TextAlignX alignX = TextAlignX::Left;
  TextAlignY alignY = TextAlignY::Top;
  int32_t spacingPx = 0;  // extra advance after each character
};

// The settings of `context`; null for a null context. Each platform defines it.
TextSettings* TextSettingsOf(DrawContext context);

// Makes the platform's own state follow the context's settings after one changed (GDI keeps them in the
// device context; Cairo reads them from the record when it draws). Each platform defines it.
void ApplyTextSettings(DrawContext context);

}  // namespace kvr::platform

// Fonts and text of the drawing seam: which face a name gives, the cell and extent of a string, where
// the ink lands for each alignment, extra spacing, the opaque cell and stroked glyph outlines.
#include <gtest/gtest.h>

#include <cstring>

#include "module/platform/drawing.h"
#include "tests/drawing/canvas.h"

// fontconfig loses a few hundred bytes while it parses its configuration, once per process; that is its
// own and not the drawing seam's, so the leak check of sanitizer builds leaves it out.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the sanitizer's own hook name
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace kvr::platform::testing {
namespace {

// Selects a font for one test and releases it after.
class ScopedFont {
 public:
  ScopedFont(DrawContext context, const char* face, int32_t heightPx) : context_(context) {
    font_ = MakeFont(FontSpec{face, heightPx, 400, true});
    previous_ = UseFont(context, font_);
  }
  ~ScopedFont() {
    UseFont(context_, previous_);
    ReleaseFont(font_);
  }
  Font get() const { return font_; }

 private:
  DrawContext context_;
  Font font_;
  Font previous_;
};

TEST(DrawingFonts, FacesMapToInstalledFacesOfTheSameKind) {
  struct Case {
    const char* asked;
    const char* expected;
  };
  const Case cases[] = {
      {"Lucida Console", "DejaVu Sans Mono"},
      {"lucida console", "DejaVu Sans Mono"},
      {"Quartz", "DSEG7 Classic"},
      {"No Such Face At All", "DejaVu Sans Mono"},  // never a proportional face
      {"", "DejaVu Sans Mono"},
  };
  for (const Case& c : cases) {
    Font font = MakeFont(FontSpec{c.asked, 12, 400, true});
    ASSERT_NE(font, nullptr) << c.asked;
    EXPECT_STREQ(FontFaceName(font), c.expected) << c.asked;
    ReleaseFont(font);
  }
  EXPECT_EQ(MakeFont(FontSpec{"Quartz", 0, 400, true}), nullptr);
  EXPECT_STREQ(FontFaceName(nullptr), "");
}

// GDI sizes a face in whole pixels per em: a stand-in face may have no size whose cell is exactly the
// height asked for, and then takes the one a pixel smaller.
#ifdef _WIN32
constexpr int32_t kCellShortfallPx = 1;
#else
constexpr int32_t kCellShortfallPx = 0;
#endif

TEST(DrawingFonts, CellHeightIsTheHeightAskedFor) {
  Canvas canvas(8, 8);
  for (const char* face : {"Lucida Console", "Quartz"}) {
    for (int32_t height : {10, 17, 20}) {
      ScopedFont font(canvas.context(), face, height);
      const TextExtent one = MeasureText(canvas.context(), "8");
      const TextExtent four = MeasureText(canvas.context(), "8888");
      EXPECT_LE(four.height, height) << face;
      EXPECT_GE(four.height, height - kCellShortfallPx) << face;
      EXPECT_GT(four.ascent, height / 2) << face;
      EXPECT_LE(four.ascent, height) << face;
      EXPECT_EQ(four.width, 4 * one.width) << face;  // both faces are monospaced
      EXPECT_GE(one.width, height / 3) << face;
      EXPECT_LE(one.width, height) << face;
    }
  }
  // The code window's digits: four seven-segment characters at 17 pixels fit its 50 columns with the
  // 3 pixels of extra spacing after each.
  ScopedFont quartz(canvas.context(), "Quartz", 17);
  SetCharacterSpacing(canvas.context(), 3);
  const TextExtent digits = MeasureText(canvas.context(), "8888");
  EXPECT_GE(digits.width, 4 * 8);
  EXPECT_LE(digits.width, 50);
}

TEST(DrawingText, ExtraSpacingFollowsEveryCharacter) {
  Canvas canvas(120, 30);
  ScopedFont font(canvas.context(), "Lucida Console", 12);
  DrawContext dc = canvas.context();
  const TextExtent plain = MeasureText(dc, "TCAS OFF");
  EXPECT_EQ(SetCharacterSpacing(dc, 3), 0);
  EXPECT_EQ(MeasureText(dc, "TCAS OFF").width, plain.width + 8 * 3);
  EXPECT_EQ(SetCharacterSpacing(dc, -1), 3);
  EXPECT_EQ(MeasureText(dc, "TCAS OFF").width, plain.width - 8);

  // The drawn glyphs move apart by the same amount: the ink of "8888" grows by 3 pixels per gap.
  SetBackgroundOpaque(dc, false);
  SetTextColour(dc, kWhite);
  SetCharacterSpacing(dc, 0);
  WriteText(dc, 2, 2, "8888");
  const Extent tight = canvas.ExtentOf(kWhite);
  SetTextColour(dc, kYellow);
  SetCharacterSpacing(dc, 3);
  WriteText(dc, 2, 16, "8888");
  const Extent spaced = canvas.ExtentOf(kYellow);
  EXPECT_EQ(spaced.width(), tight.width() + 3 * 3);
  canvas.ExpectOnly({kWhite, kYellow});
}

TEST(DrawingText, AlignmentPutsTheCellWhereTheReferencePointSays) {
  struct Case {
    TextAlignX x;
    TextAlignY y;
    Point at;
  };
  const Case cases[] = {
      {TextAlignX::Left, TextAlignY::Top, {10, 5}},
      {TextAlignX::Centre, TextAlignY::Bottom, {60, 40}},
      {TextAlignX::Right, TextAlignY::Baseline, {100, 30}},
  };
  for (const Case& c : cases) {
    Canvas canvas(120, 60);
    DrawContext dc = canvas.context();
    ScopedFont font(dc, "Lucida Console", 20);
    SetTextAlignment(dc, c.x, c.y);
    SetBackgroundOpaque(dc, false);
    SetTextColour(dc, kWhite);
    const TextExtent cell = MeasureText(dc, "TCAS");
    WriteText(dc, c.at.x, c.at.y, "TCAS");
    const Extent ink = canvas.ExtentOf(kWhite);
    ASSERT_FALSE(ink.empty());
    const int32_t cellLeft = c.x == TextAlignX::Left     ? c.at.x
                             : c.x == TextAlignX::Centre ? c.at.x - cell.width / 2
                                                         : c.at.x - cell.width;
    const int32_t cellTop = c.y == TextAlignY::Top      ? c.at.y
                            : c.y == TextAlignY::Bottom ? c.at.y - cell.height
                                                        : c.at.y - cell.ascent;
    // Capitals stand on the baseline inside the cell, the ink a little inside its left and right edges.
    EXPECT_GE(ink.left, cellLeft);
    EXPECT_LE(ink.left, cellLeft + 3);
    EXPECT_LE(ink.right, cellLeft + cell.width - 1);
    EXPECT_GE(ink.right, cellLeft + cell.width - 4);
    EXPECT_GE(ink.top, cellTop);
    EXPECT_EQ(ink.bottom, cellTop + cell.ascent - 1);
    canvas.ExpectOnly({kWhite});
  }
}

TEST(DrawingText, OpaqueBackgroundFillsTheCell) {
  // The transponder's code window: light digits on their own background, centred on the bottom edge.
  constexpr Rgb kBack{0x18, 0x08, 0x28};
  constexpr Rgb kDigits{0xF8, 0xF8, 0xF8};
  Canvas canvas(50, 17);
  DrawContext dc = canvas.context();
  ScopedFont font(dc, "Quartz", 17);
  SetCharacterSpacing(dc, 3);
  SetTextAlignment(dc, TextAlignX::Centre, TextAlignY::Bottom);
  SetTextColour(dc, kDigits);
  SetBackgroundColour(dc, kBack);
  SetBackgroundOpaque(dc, true);
  const TextExtent cell = MeasureText(dc, "1200");
  WriteText(dc, 25, 17, "1200");
  const int32_t left = 25 - cell.width / 2;
  for (int32_t y = 0; y < 17; ++y) {
    for (int32_t x = 0; x < 50; ++x) {
      const bool inCell = x >= left && x < left + cell.width;
      const uint32_t p = canvas.At(x, y);
      if (inCell) {
        EXPECT_TRUE(p == PixelWord(kBack) || p == PixelWord(kDigits)) << x << ", " << y;
      } else {
        EXPECT_EQ(p, 0u) << x << ", " << y;
      }
    }
  }
  EXPECT_GT(canvas.Count(kDigits), 20);
  canvas.Save("drawing_code_window");

  // Transparent: the glyphs alone.
  Canvas clear(50, 17);
  ScopedFont again(clear.context(), "Quartz", 17);
  SetBackgroundOpaque(clear.context(), false);
  SetTextColour(clear.context(), kDigits);
  WriteText(clear.context(), 0, 0, "1200");
  EXPECT_EQ(clear.Count(kBack), 0);
  EXPECT_GT(clear.Count(kDigits), 20);
  clear.ExpectOnly({kDigits});
}

TEST(DrawingText, GlyphOutlinesAreStrokedWithThePen) {
  Canvas canvas(80, 40);
  DrawContext dc = canvas.context();
  ScopedFont font(dc, "Lucida Console", 20);
  SetTextAlignment(dc, TextAlignX::Centre, TextAlignY::Top);
  SetBackgroundOpaque(dc, false);
  SetTextColour(dc, kYellow);
  canvas.Pen(5, kDark);  // a dark rim two pixels wide round the lettering
  StrokeTextOutline(dc, 40, 10, "-02");
  const Extent rim = canvas.ExtentOf(kDark);
  WriteText(dc, 40, 10, "-02");
  const Extent letters = canvas.ExtentOf(kYellow);
  ASSERT_FALSE(letters.empty());
  EXPECT_LE(rim.left, letters.left - 2);
  EXPECT_GE(rim.right, letters.right + 2);
  EXPECT_LE(rim.top, letters.top - 2);
  EXPECT_GE(rim.bottom, letters.bottom + 2);
  canvas.ExpectOnly({kDark, kYellow});
  canvas.Save("drawing_outlined_tag");

  // Nothing but the pen's colour when outlined with the thinnest pen; no fill, no background.
  Canvas thin(80, 40);
  ScopedFont same(thin.context(), "Lucida Console", 20);
  SetBackgroundOpaque(thin.context(), true);
  thin.Pen(0, kRed);
  StrokeTextOutline(thin.context(), 10, 10, "TA");
  EXPECT_GT(thin.Count(kRed), 20);
  thin.ExpectOnly({kRed});
}

}  // namespace
}  // namespace kvr::platform::testing

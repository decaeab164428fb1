// Decoding the module's bitmap formats against bitmaps made by hand: the palette, the row order, the
// 4-bit nibbles, every RLE8 code, and the refusals.
#include <gtest/gtest.h>

#include "host/render/bitmap.h"
#include "tests/render/bitmap_builder.h"

namespace kvr::host {
namespace {

using testing::MakeBitmap;
using testing::Rgb;

const std::vector<Rgb> kPalette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};

std::vector<uint32_t> Rows(const Image& image) { return image.pixels; }

TEST(BitmapDecoding, EightBitRowsAreStoredBottomUpPaddedToFourBytesAndLookedUpInThePalette) {
  // 3 x 2: rows of 3 bytes padded to 4; the bottom row comes first in the file.
  const auto bytes = MakeBitmap(3, 2, 8, 0, kPalette, {1, 2, 3, 0xEE, 4, 0, 1, 0xEE});
  const Image image = DecodeBitmap(bytes);
  ASSERT_EQ(image.width, 3);
  ASSERT_EQ(image.height, 2);
  EXPECT_EQ(Rows(image), (std::vector<uint32_t>{0x0A141E, 0x000000, 0xFF0000,     // top row
                                                0xFF0000, 0x00FF00, 0x0000FF}));  // bottom row
  // Stored top-down (negative height), the same bytes give the rows the other way round.
  const Image topDown = DecodeBitmap(MakeBitmap(3, -2, 8, 0, kPalette, {1, 2, 3, 0xEE, 4, 0, 1, 0xEE}));
  EXPECT_EQ(topDown.At(0, 0), 0xFF0000u);
  EXPECT_EQ(topDown.At(0, 1), 0x0A141Eu);
}

TEST(BitmapDecoding, IndicesPastAShortPaletteAreBlack) {
  // Two colours used; index 3 names none of them.
  const Image image = DecodeBitmap(MakeBitmap(2, 1, 8, 0, {{0, 0, 0}, {1, 2, 3}}, {1, 3, 0, 0}, 2));
  EXPECT_EQ(image.At(0, 0), 0x010203u);
  EXPECT_EQ(image.At(1, 0), 0u);
}

TEST(BitmapDecoding, FourBitPixelsTakeTheHighNibbleFirstAndRowsArePadded) {
  // 5 x 2: three bytes of nibbles a row, padded to 4.
  const Image image = DecodeBitmap(MakeBitmap(5, 2, 4, 0, kPalette,
                                              {0x12, 0x34, 0x0F, 0xAA,     // bottom
                                               0x41, 0x00, 0x2E, 0xAA}));  // top
  ASSERT_EQ(image.width, 5);
  EXPECT_EQ(image.At(0, 1), 0xFF0000u);  // 1
  EXPECT_EQ(image.At(1, 1), 0x00FF00u);  // 2
  EXPECT_EQ(image.At(2, 1), 0x0000FFu);  // 3
  EXPECT_EQ(image.At(3, 1), 0x0A141Eu);  // 4
  EXPECT_EQ(image.At(4, 1), 0x000000u);  // 0; the low nibble F is padding
  EXPECT_EQ(image.At(0, 0), 0x0A141Eu);
  EXPECT_EQ(image.At(1, 0), 0xFF0000u);
  EXPECT_EQ(image.At(4, 0), 0x00FF00u);
}

TEST(BitmapDecoding, Rle8RunsAbsoluteRunsEndsOfLineAndDeltas) {
  // 6 x 4, bottom row first:
  //   row 3 (bottom): a run of 2 red, an absolute run of 3 (green blue red, padded), 1 red, end of line
  //   row 2: a run of 2 blue, then end of line early: the rest is palette entry 0
  //   row 1: delta right 4 and up 1, landing on row 0 at x 4
  //   row 0 (top): from x 4 a run of 5 green, cut at the row's end; end of bitmap
  const std::vector<Rgb> palette = {{9, 9, 9}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  const std::vector<uint8_t> stream = {2, 1, 0, 3, 2, 3, 1, 0, 1, 1, 0, 0,  // row 3
                                       2, 3, 0, 0,                          // row 2
                                       0, 2, 4, 1,                          // skip over row 1
                                       5, 2, 0, 1};
  const Image image = DecodeBitmap(MakeBitmap(6, 4, 8, 1, palette, stream));
  const uint32_t bg = 0x090909, r = 0xFF0000, g = 0x00FF00, b = 0x0000FF;
  EXPECT_EQ(Rows(image), (std::vector<uint32_t>{bg, bg, bg, bg, g,  g,     // row 0: delta landed at x 4
                                                bg, bg, bg, bg, bg, bg,    // row 1: skipped
                                                b,  b,  bg, bg, bg, bg,    // row 2: ended early
                                                r,  r,  g,  b,  r,  r}));  // row 3
}

TEST(BitmapDecoding, Rle8StreamWithoutItsEndMarkerKeepsWhatItDrew) {
  const Image image = DecodeBitmap(MakeBitmap(2, 2, 8, 1, kPalette, {2, 1, 0, 0}));
  EXPECT_EQ(image.At(0, 1), 0xFF0000u);
  EXPECT_EQ(image.At(0, 0), 0u);
}

TEST(BitmapDecoding, RefusesWhatItCannotDecodeSafely) {
  struct Case {
    std::vector<uint8_t> bytes;
    const char* reason;
  };
  std::vector<uint8_t> notAHeader(40, 0);
  const std::vector<Case> cases = {
      {{1, 2, 3}, "shorter than"},
      {notAHeader, "not a BITMAPINFOHEADER"},
      {MakeBitmap(2, 2, 24, 0, {}, std::vector<uint8_t>(16, 0), 1), "24 bits per pixel"},
      {MakeBitmap(2, 2, 4, 2, kPalette, {0x11, 0, 0, 0}), "compression 2"},            // RLE4
      {MakeBitmap(2, -2, 8, 1, kPalette, {2, 1, 0, 1}), "cannot be stored top-down"},  // RLE8 top-down
      {MakeBitmap(0, 2, 8, 0, kPalette, {}), "out of range"},
      {MakeBitmap(100000, 1, 8, 0, kPalette, {}), "larger than 4096 pixels a side"},
      {MakeBitmap(3, 2, 8, 0, kPalette, {1, 2, 3, 0, 1}), "its rows need 8"},  // a row short
      {MakeBitmap(4, 1, 8, 1, kPalette, {0, 4, 1, 2}), "cut inside an absolute run"},
      {MakeBitmap(4, 1, 8, 1, kPalette, {0, 2, 1}), "cut inside a delta"},
      {MakeBitmap(4, 1, 8, 1, kPalette, {2, 1, 3}), "cut inside a run"},
      {MakeBitmap(2, 1, 4, 0, kPalette, {0, 0, 0, 0}, 17), "palette of 17 colours"},
      // 46 bytes whose header claims 4096 x 4096: two bytes of stream paint 255 pixels at most.
      {MakeBitmap(4096, 4096, 8, 1, {{1, 2, 3}}, {0, 1}, 1), "cannot describe 4096x4096"},
      {MakeBitmap(32, 32, 8, 1, kPalette, {255, 1, 0, 1}), "cannot describe 32x32"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    try {
      DecodeBitmap(c.bytes);
      ADD_FAILURE() << "decoded";
    } catch (const BitmapError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
  }
  // A palette that runs past the data.
  auto cut = MakeBitmap(1, 1, 8, 0, kPalette, {1, 0, 0, 0});
  cut.resize(40 + 100);
  EXPECT_THROW(DecodeBitmap(cut), BitmapError);
}

TEST(BitmapDecoding, AFileWithItsFileHeaderDecodesAsTheResource) {
  const auto resource = MakeBitmap(2, 1, 8, 0, kPalette, {1, 3, 0, 0});
  std::vector<uint8_t> file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0};
  const uint32_t offset = 14 + 40 + 256 * 4;
  file.insert(file.end(), {uint8_t(offset), uint8_t(offset >> 8), 0, 0});
  file.insert(file.end(), resource.begin(), resource.end());
  EXPECT_EQ(DecodeBitmap(file).pixels, DecodeBitmap(resource).pixels);
}

}  // namespace
}  // namespace kvr::host

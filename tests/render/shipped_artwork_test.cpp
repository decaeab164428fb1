// The module's committed bitmaps: each keeps the size and pixel format the gauges are built around, and
// the IVSI bezel and its lit overlay leave the face window clear so the gauge's picture shows through.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "host/module_loader.h"
#include "host/render/bitmap.h"
#include "tests/gauge/module_fixture.h"

namespace kvr::host {
namespace {

std::vector<uint8_t> ReadArt(uint32_t id) {
  char name[16];
  std::snprintf(name, sizeof name, "%04X.bmp", id);
  std::ifstream in(kvr::testing::SourceDir() / "module" / "resources" / "bitmaps" / name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The resource form, as the module carries it: without the 14-byte file header.
  if (bytes.size() > 14) bytes.erase(bytes.begin(), bytes.begin() + 14);
  return bytes;
}

TEST(ShippedArtwork, EveryBitmapKeepsItsSizeAndPixelFormat) {
  struct Expected {
    uint32_t id;
    int32_t width, height;
    uint16_t bits;
    uint32_t compression;
  };
  std::vector<Expected> table = {{0x1000, 132, 132, 8, 1}, {0x1100, 158, 158, 8, 0}, {0x1200, 158, 158, 8, 0},
                                 {0x1300, 158, 158, 8, 1}, {0x2000, 228, 89, 8, 0},  {0x2100, 228, 89, 8, 0},
                                 {0x2200, 50, 17, 4, 0},   {0x2500, 8, 8, 8, 0}};
  for (uint32_t i = 0; i < 5; ++i) table.push_back({0x2300 + i, 27, 27, 8, 0});
  for (uint32_t i = 0; i < 3; ++i) table.push_back({0x2400 + i, 11, 21, 8, 0});
  for (const Expected& e : table) {
    SCOPED_TRACE(e.id);
    const std::vector<uint8_t> bytes = ReadArt(e.id);
    const BitmapInfo info = ReadBitmapInfo(bytes);
    EXPECT_EQ(info.width, e.width);
    EXPECT_EQ(info.height, e.height);
    EXPECT_EQ(info.bitsPerPixel, e.bits);
    EXPECT_EQ(info.compression, e.compression);
    const Image image = DecodeBitmap(bytes);
    EXPECT_EQ(image.width, e.width);
  }
  // The two blanks are one colour, pure black: transparent wherever they are placed.
  for (uint32_t id : {0x1000u, 0x1300u}) {
    const Image blank = DecodeBitmap(ReadArt(id));
    for (uint32_t pixel : blank.pixels) ASSERT_TRUE(IsTransparent(pixel)) << id;
  }
}

TEST(ShippedArtwork, IvsiBezelIsACaseAroundAClearFaceWindow) {
  const Image bezel = DecodeBitmap(ReadArt(0x1100));
  // The gauge's 132-pixel drawing surface lies at (14, 14): all of it shows through.
  for (int y = 14; y < 146; ++y)
    for (int x = 14; x < 146; ++x) ASSERT_TRUE(IsTransparent(bezel.At(x, y))) << x << "," << y;
  // Chamfered corners are cut away; the frame between them and the window is there.
  for (auto [x, y] : {std::pair{0, 0}, {157, 0}, {0, 157}, {157, 157}}) EXPECT_TRUE(IsTransparent(bezel.At(x, y)));
  int frame = 0, framePixels = 0;
  for (int y = 0; y < 158; ++y)
    for (int x = 0; x < 158; ++x) {
      if (x >= 14 && x < 146 && y >= 14 && y < 146) continue;
      if (x + y < 12 || (157 - x) + y < 12 || x + (157 - y) < 12 || (157 - x) + (157 - y) < 12) continue;
      ++framePixels;
      frame += IsTransparent(bezel.At(x, y)) ? 0 : 1;
    }
  EXPECT_EQ(frame, framePixels);
  // Dark grey metal, never brighter than light grey.
  for (uint32_t pixel : bezel.pixels) {
    const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    EXPECT_LT(std::max({r, g, b}) - std::min({r, g, b}), 24) << std::hex << pixel;
  }
}

TEST(ShippedArtwork, LitOverlayLightsOnlyTheBezel) {
  const Image bezel = DecodeBitmap(ReadArt(0x1100));
  const Image overlay = DecodeBitmap(ReadArt(0x1200));
  int lit = 0;
  for (int y = 0; y < 158; ++y)
    for (int x = 0; x < 158; ++x) {
      if (IsTransparent(overlay.At(x, y))) continue;
      ++lit;
      ASSERT_FALSE(IsTransparent(bezel.At(x, y))) << "overlay off the bezel at " << x << "," << y;
      const uint32_t p = overlay.At(x, y);
      EXPECT_GE((p >> 16) & 0xFF, p & 0xFF) << "not warm at " << x << "," << y;  // red at least blue
    }
  EXPECT_GT(lit, 100);
  EXPECT_LT(lit, 158 * 158 / 5);  // a glow and markings, not a second bezel
}

}  // namespace
}  // namespace kvr::host

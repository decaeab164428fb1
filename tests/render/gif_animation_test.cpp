// Animated GIFs written through giflib and read back with it: size, frame count, looping, delay, colours.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "host/render/gif_animation.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

class GifFile : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() /
                 ("kvr_gif_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  void SetUp() override {
    if (!GifSupported()) GTEST_SKIP() << "built without giflib (libgif-dev)";
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
};

int Distance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift : {16, 8, 0}) worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
  return worst;
}

TEST_F(GifFile, FramesReadBackWithTheirSizeCountLoopAndDelay) {
  const fs::path file = dir / "run.gif";
  {
    GifAnimation gif(file, 20, 10, 100);
    for (uint32_t colour : {0xFF0000u, 0x00FF00u, 0x333333u}) {
      Image frame(20, 10, colour);
      frame.At(19, 9) = 0xFFFFFF;
      gif.AddFrame(frame);
    }
    EXPECT_EQ(gif.FrameCount(), 3);
    gif.Close();
  }
  const GifSummary summary = ReadGifSummary(file);
  EXPECT_EQ(summary.width, 20);
  EXPECT_EQ(summary.height, 10);
  EXPECT_EQ(summary.frameCount, 3);
  EXPECT_EQ(summary.loopCount, 0);  // forever
  EXPECT_EQ(summary.firstDelayCs, 100);
  // Colours of the palette come back exactly, the others as the nearest of it.
  EXPECT_EQ(ReadGifFrame(file, 0).At(0, 0), 0xFF0000u);
  EXPECT_EQ(ReadGifFrame(file, 1).At(5, 5), 0x00FF00u);
  EXPECT_EQ(ReadGifFrame(file, 2).At(19, 9), 0xFFFFFFu);
  EXPECT_LE(Distance(ReadGifFrame(file, 2).At(0, 0), 0x333333), 4);
}

TEST_F(GifFile, LaterFramesStoreOnlyWhatChangedAndReadBackWhole) {
  Image face(200, 100, 0x333333);
  auto write = [&](const fs::path& file, int frames) {
    GifAnimation gif(file, face.width, face.height, 100);
    Image frame = face;
    for (int f = 0; f < frames; ++f) {
      if (f == 1)
        for (int y = 40; y < 44; ++y)
          for (int x = 120; x < 124; ++x) frame.At(x, y) = 0xFF0000;
      gif.AddFrame(frame);  // the third frame repeats the second
    }
    gif.Close();
  };
  write(dir / "one.gif", 1);
  write(dir / "three.gif", 3);
  // Two more frames of 20000 pixels cost little more than their headers and the changed 4x4 block.
  EXPECT_LT(fs::file_size(dir / "three.gif"), fs::file_size(dir / "one.gif") + 120);
  for (int f : {1, 2}) {
    const Image back = ReadGifFrame(dir / "three.gif", f);
    EXPECT_EQ(back.At(121, 42), 0xFF0000u) << f;
    EXPECT_EQ(back.At(0, 0), ReadGifFrame(dir / "one.gif", 0).At(0, 0)) << f;
    EXPECT_EQ(back.At(199, 99), back.At(0, 0)) << f;
  }
}

TEST_F(GifFile, PanelColoursStayCloseOnTheFixedPalette) {
  const fs::path file = dir / "colours.gif";
  // The IVSI's own colours: light blue, TA yellow, RA red, green, its black, bezel greys, amber.
  const std::vector<uint32_t> colours = {0x63B5E8, 0xFFFF00, 0xFF0000, 0x00C800, 0x000010,
                                         0x3A3B3F, 0x5C5E64, 0x2A2D31, 0xFFAC46, 0x969699};
  Image frame(int32_t(colours.size()), 1);
  frame.pixels = colours;
  GifAnimation gif(file, frame.width, 1, 50);
  gif.AddFrame(frame);
  gif.Close();
  const Image back = ReadGifFrame(file, 0);
  for (size_t i = 0; i < colours.size(); ++i)
    EXPECT_LE(Distance(back.pixels[i], colours[i]), 26) << std::hex << colours[i] << " came back " << back.pixels[i];
  // Greys keep their level closely (the bezel's shading must not band).
  for (size_t i : {5u, 6u, 7u, 9u}) EXPECT_LE(Distance(back.pixels[i], colours[i]), 8) << i;
}

TEST_F(GifFile, RefusesFramesOfAnotherSizeAndFilesItCannotMake) {
  GifAnimation gif(dir / "a.gif", 8, 8, 100);
  EXPECT_THROW(gif.AddFrame(Image(9, 8)), std::runtime_error);
  gif.AddFrame(Image(8, 8, 0x102030));
  gif.Close();
  EXPECT_EQ(ReadGifSummary(dir / "a.gif").frameCount, 1);  // the refused frame left nothing behind
  EXPECT_THROW(GifAnimation(dir / "missing folder" / "b.gif", 8, 8, 100), std::runtime_error);
  EXPECT_THROW(GifAnimation(dir / "c.gif", 0, 8, 100), std::runtime_error);
  EXPECT_THROW(ReadGifSummary(dir / "missing.gif"), std::runtime_error);
  EXPECT_THROW(ReadGifFrame(dir / "a.gif", 1), std::runtime_error);
}

}  // namespace
}  // namespace kvr::host

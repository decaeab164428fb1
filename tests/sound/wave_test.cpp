// ParseWave over hand-built images, each copied into a block of exactly its size.
#include <gtest/gtest.h>

#include "module/sound/sound.h"
#include "tests/sound/sound_test_support.h"

namespace kvr {
namespace {

using test::Bytes;
using test::Chunk;
using test::ExactCopy;
using test::FormatChunk;
using test::RiffWave;

const Bytes kSamples = {1, 2, 3, 4, 5, 6};

struct Parsed {
  bool ok = false;
  const uint8_t* format = nullptr;
  const uint8_t* data = nullptr;
  uint32_t dataBytes = 0;
  uint32_t formatBytes = 0;
  size_t formatOffset = 0;  // from the image's start, when found
  size_t dataOffset = 0;
};

Parsed Parse(const ExactCopy& image) {
  Parsed out;
  out.ok = ParseWave(image.data.get(), image.size, &out.format, &out.data, &out.dataBytes, &out.formatBytes);
  if (out.format != nullptr) out.formatOffset = static_cast<size_t>(out.format - image.data.get());
  if (out.data != nullptr) out.dataOffset = static_cast<size_t>(out.data - image.data.get());
  return out;
}

TEST(ParseWave, FindsFormatAndDataInEitherOrder) {
  const ExactCopy formatFirst(RiffWave({FormatChunk(), {"data", kSamples, {}}}));
  Parsed parsed = Parse(formatFirst);
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.formatOffset, 20u);
  EXPECT_EQ(parsed.formatBytes, 16u);
  EXPECT_EQ(parsed.dataOffset, 44u);
  EXPECT_EQ(parsed.dataBytes, 6u);

  const ExactCopy dataFirst(RiffWave({{"data", kSamples, {}}, FormatChunk()}));
  parsed = Parse(dataFirst);
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.dataOffset, 20u);
  EXPECT_EQ(parsed.dataBytes, 6u);
  EXPECT_EQ(parsed.formatOffset, 34u);
  EXPECT_EQ(std::memcmp(parsed.data, kSamples.data(), kSamples.size()), 0);
}

TEST(ParseWave, SkipsOtherChunksAndTheirPadBytes) {
  // An odd-length chunk is followed by one pad byte; reading the next header one byte early finds garbage.
  const ExactCopy oddBeforeData(RiffWave({{"LIST", {'a', 'b', 'c'}, {}}, FormatChunk(), {"data", kSamples, {}}}));
  Parsed parsed = Parse(oddBeforeData);
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.formatOffset, 32u);  // 12 + 8 + 3 + pad + 8
  EXPECT_EQ(parsed.dataBytes, 6u);

  // Odd-length samples first, then the format behind their pad byte.
  const ExactCopy oddData(RiffWave({{"data", {9, 8, 7}, {}}, FormatChunk()}));
  parsed = Parse(oddData);
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.dataBytes, 3u);
  EXPECT_EQ(parsed.formatOffset, 32u);

  // Anything behind the chunks that are needed is never read, even when it lies about its length.
  const ExactCopy listBehind(RiffWave({FormatChunk(), {"data", kSamples, {}}, {"LIST", {'x', 'y'}, 0xFFFFFFF0u}}));
  EXPECT_TRUE(Parse(listBehind).ok);
}

TEST(ParseWave, FormatRecordNeedsFourteenBytes) {
  EXPECT_FALSE(Parse(ExactCopy(RiffWave({FormatChunk(12), {"data", kSamples, {}}}))).ok);
  EXPECT_FALSE(Parse(ExactCopy(RiffWave({FormatChunk(13), {"data", kSamples, {}}}))).ok);
  const Parsed fourteen = Parse(ExactCopy(RiffWave({FormatChunk(14), {"data", kSamples, {}}})));
  EXPECT_TRUE(fourteen.ok);
  EXPECT_EQ(fourteen.formatBytes, 14u);
}

TEST(ParseWave, RefusesWhatIsNotAWaveOrLacksAChunk) {
  Bytes notRiff = RiffWave({FormatChunk(), {"data", kSamples, {}}});
  notRiff[0] = 'X';
  EXPECT_FALSE(Parse(ExactCopy(notRiff)).ok);
  Bytes notWave = RiffWave({FormatChunk(), {"data", kSamples, {}}});
  notWave[8] = 'A';
  EXPECT_FALSE(Parse(ExactCopy(notWave)).ok);
  EXPECT_FALSE(Parse(ExactCopy(RiffWave({FormatChunk()}))).ok);
  EXPECT_FALSE(Parse(ExactCopy(RiffWave({{"data", kSamples, {}}}))).ok);
  EXPECT_FALSE(Parse(ExactCopy(Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V'})).ok);
  EXPECT_FALSE(Parse(ExactCopy(Bytes{})).ok);
  EXPECT_FALSE(ParseWave(nullptr, 100, nullptr, nullptr, nullptr));
}

TEST(ParseWave, EmptyDataChunkIsReplacedByALaterOne) {
  const ExactCopy image(RiffWave({{"data", {}, {}}, {"data", kSamples, {}}, FormatChunk()}));
  const Parsed parsed = Parse(image);
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.dataOffset, 28u);
  EXPECT_EQ(parsed.dataBytes, 6u);
}

// Lengths claiming more than the image holds are cut at its real end; nothing past it is read.
TEST(ParseWave, NeverReadsPastTheRealEnd) {
  // A RIFF length far past the end, with the needed chunks inside the image: parses.
  EXPECT_TRUE(Parse(ExactCopy(RiffWave({FormatChunk(), {"data", kSamples, {}}}, 0xFFFFFFFFu))).ok);

  // Samples that claim more than there is: cut to what is there.
  Bytes longData = RiffWave({FormatChunk(), {"data", kSamples, 100000u}});
  Parsed parsed = Parse(ExactCopy(longData));
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.dataBytes, 6u);

  // A format record cut off under 14 bytes, and a chunk header cut off by the end: refused.
  Bytes shortFormat = RiffWave({{"data", kSamples, {}}, FormatChunk()});
  shortFormat.resize(shortFormat.size() - 4);
  EXPECT_FALSE(Parse(ExactCopy(shortFormat)).ok);
  Bytes cutHeader = RiffWave({{"data", kSamples, {}}, FormatChunk()});
  cutHeader.resize(26 + 5);  // five bytes of the format chunk's header
  EXPECT_FALSE(Parse(ExactCopy(cutHeader)).ok);

  // A skipped chunk whose length jumps past the end, with the wanted one never reached.
  EXPECT_FALSE(Parse(ExactCopy(RiffWave({{"junk", {1, 2}, 0xFFFFFFFEu}, FormatChunk(), {"data", kSamples, {}}}))).ok);

  // Every cut of a valid image either parses within bounds or is refused; AddressSanitizer watches.
  const Bytes whole = RiffWave({{"LIST", {'a', 'b', 'c'}, {}}, {"data", kSamples, {}}, FormatChunk()});
  for (size_t cut = 0; cut <= whole.size(); ++cut) {
    const ExactCopy image(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
    parsed = Parse(image);
    if (!parsed.ok) continue;
    EXPECT_LE(parsed.formatOffset + parsed.formatBytes, cut);
    EXPECT_LE(parsed.dataOffset + parsed.dataBytes, cut);
  }
}

}  // namespace
}  // namespace kvr

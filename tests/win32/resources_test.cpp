// The program's own resources through the Windows resource directory: the sixteen bitmaps by id with the
// sizes and formats the gauges draw, and the recordings by name without regard to case.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "module/platform/platform.h"
#include "tests/pe/module_facts.h"

namespace kvr::platform {
namespace {

int32_t Word(const uint8_t* bytes) {
  int32_t value;
  std::memcpy(&value, bytes, 4);
  return value;
}

TEST(Win32Resources, BitmapsAreFoundByIdWithTheirSizesAndFormats) {
  for (const module_facts::BitmapFact& fact : module_facts::kBitmaps) {
    const ResourceBytes bitmap = FindBitmapResource(fact.id);
    ASSERT_NE(bitmap.data, nullptr) << std::hex << fact.id;
    ASSERT_GE(bitmap.size, 40u);
    EXPECT_EQ(Word(bitmap.data + 4), fact.width) << std::hex << fact.id;
    EXPECT_EQ(Word(bitmap.data + 8), fact.height) << std::hex << fact.id;
    uint16_t bits;
    std::memcpy(&bits, bitmap.data + 14, 2);
    EXPECT_EQ(bits, fact.bits) << std::hex << fact.id;
    const int32_t compression = Word(bitmap.data + 16);
    EXPECT_EQ(compression != 0, fact.runLength) << std::hex << fact.id;
  }
  EXPECT_EQ(FindBitmapResource(0x2305).data, nullptr);
  EXPECT_EQ(FindBitmapResource(0).data, nullptr);
}

TEST(Win32Resources, RecordingsAreFoundByNameInAnyCase) {
  for (const char* name : module_facts::kVoices) EXPECT_NE(FindDataResource(name).data, nullptr) << name;
  for (const char* name : {"wav_climb", "WAV_CLIMB", "wav_TCASSYSTEMTESTFAIL"}) {
    const ResourceBytes wave = FindDataResource(name);
    ASSERT_NE(wave.data, nullptr) << name;
    ASSERT_GT(wave.size, 44u) << name;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(wave.data), 4), "RIFF") << name;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(wave.data) + 8, 4), "WAVE") << name;
  }
  EXPECT_EQ(FindDataResource("WAV_Climbing").data, nullptr);
  EXPECT_EQ(FindDataResource("").data, nullptr);
  EXPECT_EQ(FindDataResource(nullptr).data, nullptr);
}

}  // namespace
}  // namespace kvr::platform

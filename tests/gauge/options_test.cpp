// Parameter-string options: one separator character of any kind, first occurrence, case-sensitive.
#include <gtest/gtest.h>

#include "module/display/ivsi_gauge.h"
#include "module/gauge/gauge.h"

namespace kvr {
namespace {

TEST(SwitchOption, OnlyYOrOneAfterOneSeparatorTurnsItOn) {
  EXPECT_TRUE(SwitchOption("pic=y", "pic", false));
  EXPECT_TRUE(SwitchOption("pic Y", "pic", false));
  EXPECT_TRUE(SwitchOption("pic:1", "pic", false));
  EXPECT_FALSE(SwitchOption("pic=n", "pic", true));
  // The "y" right after the name is taken as the separator; the string ends where the value would be.
  EXPECT_FALSE(SwitchOption("picy", "pic", true));
  EXPECT_FALSE(SwitchOption("aa=1 pic", "pic", true));
  EXPECT_TRUE(SwitchOption("aa=1", "pic", true));  // absent: the default
  EXPECT_TRUE(SwitchOption(nullptr, "pic", true));
  EXPECT_FALSE(SwitchOption("PIC=y", "pic", false));  // case-sensitive
  // First occurrence wins, even inside another word.
  EXPECT_FALSE(SwitchOption("epic=n pic=y", "pic", true));
}

TEST(NumberOptions, ReadAsScanfDoesAndKeepDefaultWhenUnreadable) {
  EXPECT_EQ(IntegerOption("vsirate=9", "vsirate", 18), 9);
  EXPECT_EQ(IntegerOption("vsirate=-1", "vsirate", 18), -1);
  EXPECT_EQ(IntegerOption("vsirate=x", "vsirate", 18), 18);
  EXPECT_EQ(IntegerOption("vsirate", "vsirate", 18), 18);
  // The separator is any one character; scanf then skips further blanks itself.
  EXPECT_EQ(IntegerOption("other=  12", "other", 999), 12);
  EXPECT_FLOAT_EQ(FloatOption("fontscale=0.8", "fontscale", 1.0f), 0.8f);
  EXPECT_FLOAT_EQ(FloatOption("fontscale=big", "fontscale", 1.0f), 1.0f);
}

TEST(IvsiOptions, EmptyStringGivesEveryDefault) {
  const IvsiOptions o = ParseIvsiOptions("");
  EXPECT_TRUE(o.useProbe);
  EXPECT_TRUE(o.antiAliased);
  EXPECT_TRUE(o.bluePlane);
  EXPECT_TRUE(o.publishVariables);
  EXPECT_EQ(o.refreshTicks, 1);
  EXPECT_EQ(o.normalBand, 999);
  EXPECT_FLOAT_EQ(o.fontScale, 1.0f);
}

TEST(IvsiOptions, MixedStringSetsOnlyWhatItNames) {
  const IvsiOptions o = ParseIvsiOptions("pic=n aa=0 vsirate=9");
  EXPECT_FALSE(o.useProbe);
  EXPECT_FALSE(o.antiAliased);
  EXPECT_EQ(o.refreshTicks, 2);
  EXPECT_TRUE(o.bluePlane);
  EXPECT_EQ(o.normalBand, 999);
  EXPECT_FLOAT_EQ(o.fontScale, 1.0f);
  EXPECT_TRUE(o.publishVariables);
  EXPECT_EQ(ParseIvsiOptions("other=-5").normalBand, 0);
  EXPECT_FLOAT_EQ(ParseIvsiOptions("fontscale=1.5").fontScale, 1.5f);
}

TEST(IvsiOptions, VsirateBecomesTicksBetweenCompositions) {
  const std::pair<const char*, uint16_t> cases[] = {
      {"vsirate=18", 1}, {"vsirate=9", 2},  {"vsirate=6", 3},  {"vsirate=4", 5},  {"vsirate=1", 18},
      {"vsirate=0", 0},  {"vsirate=40", 0}, {"vsirate=37", 0}, {"vsirate=36", 1}, {"vsirate=-1", 65518},
  };
  for (const auto& [text, ticks] : cases) EXPECT_EQ(ParseIvsiOptions(text).refreshTicks, ticks) << text;
}

}  // namespace
}  // namespace kvr

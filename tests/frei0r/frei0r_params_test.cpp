// The parameter mapping and the frame conversion of the frei0r filter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/scan/scan_settings.h"
#include "frei0r/frei0r_params.h"

namespace corvalin::frei0r {
namespace {

TEST(Frei0rParams, KeyComponentsRoundToTheNearestByte) {
  EXPECT_EQ(ByteFromComponent(0.0f), 0);
  EXPECT_EQ(ByteFromComponent(0.2f), 51);
  EXPECT_EQ(ByteFromComponent(1.0f / 3.0f), 85);
  EXPECT_EQ(ByteFromComponent(0.5f), 128);  // 127.5 rounds away from zero
  EXPECT_EQ(ByteFromComponent(0.498f), 127);
  EXPECT_EQ(ByteFromComponent(1.0f), 255);
  EXPECT_EQ(ByteFromComponent(-0.25f), 0);
  EXPECT_EQ(ByteFromComponent(1.5f), 255);
  EXPECT_EQ(ByteFromComponent(NAN), 0);
  EXPECT_EQ(ByteFromComponent(INFINITY), 255);
  // Every byte survives the way hosts write colours: b / 255 in float or
  // double, or printed and parsed back as a decimal.
  for (int b = 0; b < 256; ++b) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", b / 255.0);
    EXPECT_EQ(ByteFromComponent(ComponentFromByte(static_cast<uint8_t>(b))), b);
    EXPECT_EQ(ByteFromComponent(static_cast<float>(b / 255.0f)), b);
    EXPECT_EQ(ByteFromComponent(std::strtof(text, nullptr)), b) << text;
  }
}

TEST(Frei0rParams, SlidersMapTheirUnitRangeAndClamp) {
  EXPECT_EQ(SliderFromParam(kSmootherRange, 0.01), 1.0);
  EXPECT_EQ(SliderFromParam(kSmootherRange, 0.05), 5.0);
  EXPECT_EQ(SliderFromParam(kSmootherRange, 1.0), 100.0);
  EXPECT_EQ(SliderFromParam(kSmootherRange, 3.0), 100.0);
  EXPECT_EQ(SliderFromParam(kSmootherRange, -1.0), 0.0);
  EXPECT_EQ(SliderFromParam(kSmootherRange, NAN), 0.0);
  EXPECT_EQ(SliderFromParam(kLineWeight, 0.3), 0.3);
  EXPECT_EQ(SliderFromParam(kLineWeight, 1.25), 1.0);
  EXPECT_EQ(SliderDefaultParam(kSmootherRange), 0.01);
  EXPECT_EQ(SliderDefaultParam(kLineWeight), 0.0);
  EXPECT_FALSE(BoolFromParam(0.4999));
  EXPECT_TRUE(BoolFromParam(0.5));
  EXPECT_FALSE(BoolFromParam(NAN));
}

// v * 100 is not always the double nearest the decimal percentage (0.29 gives
// 28.999999999999996), but for every fraction with up to five decimals the
// edge threshold is the one the typed percentage gives.
TEST(Frei0rParams, FractionsGiveTheThresholdOfTheirPercentage) {
  int differing = 0;
  for (int k = 0; k <= 100000; ++k) {
    char fraction[16], percent[16];
    std::snprintf(fraction, sizeof fraction, "%d.%05d", k / 100000, k % 100000);
    std::snprintf(percent, sizeof percent, "%d.%03d", k / 1000, k % 1000);
    const double range = SliderFromParam(kSmootherRange, std::strtod(fraction, nullptr));
    if (EdgeThreshold<PF_Pixel8>(range) != EdgeThreshold<PF_Pixel8>(std::strtod(percent, nullptr)))
      ++differing;
  }
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(EdgeThreshold<PF_Pixel8>(SliderFromParam(kSmootherRange, 0.29)), 295u);
}

TEST(Frei0rParams, FrameSizesMustBeAddressable) {
  EXPECT_TRUE(FrameSizeSupported(1, 1));
  EXPECT_TRUE(FrameSizeSupported(536870911, 4));
  EXPECT_TRUE(FrameSizeSupported(46340, 46340));
  EXPECT_FALSE(FrameSizeSupported(0, 1));
  EXPECT_FALSE(FrameSizeSupported(1, 0));
  EXPECT_FALSE(FrameSizeSupported(536870912, 1));
  EXPECT_FALSE(FrameSizeSupported(65536, 32768));
  EXPECT_TRUE(FrameSizeSupported(1, 2147483647));
  EXPECT_FALSE(FrameSizeSupported(4294967295u, 4294967295u));
}

}  // namespace
}  // namespace corvalin::frei0r

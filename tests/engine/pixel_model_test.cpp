#include "engine/pixel/pixel_model.h"
#include "engine/scan/step_pixels.h"

#include <gtest/gtest.h>

#include "test_frame.h"

namespace corvalin {
namespace {

PF_Pixel8 P8(int a, int r, int g, int b) {
  return PF_Pixel8{uint8_t(a), uint8_t(r), uint8_t(g), uint8_t(b)};
}
PF_Pixel16 P16(int a, int r, int g, int b) {
  return PF_Pixel16{uint16_t(a), uint16_t(r), uint16_t(g), uint16_t(b)};
}

TEST(ColourDistance, CountsEveryChannelIncludingAlphaAgainstTheThreshold) {
  EXPECT_EQ(ColourDistance(P8(255, 0, 0, 0), P8(255, 255, 255, 255)), 765);
  EXPECT_EQ(ColourDistance(P8(0, 0, 0, 0), P8(255, 0, 0, 0)), 255);
  EXPECT_EQ(ColourDistance(P8(0, 0, 0, 0), P8(255, 255, 255, 255)), 1020);
  EXPECT_EQ(ColourDistance(P16(0, 0, 0, 0), P16(32768, 32768, 32768, 32768)), 131072);
  EXPECT_EQ(ColourDistance(P16(10, 20, 30, 40), P16(40, 30, 20, 10)), 80);

  const PF_Pixel8 black = P8(255, 0, 0, 0), white = P8(255, 255, 255, 255);
  EXPECT_TRUE(PixelsDiffer(black, white, 764));
  EXPECT_FALSE(PixelsAlike(black, white, 764));
  EXPECT_FALSE(PixelsDiffer(black, white, 765));
  EXPECT_TRUE(PixelsAlike(white, black, 765));
  EXPECT_FALSE(PixelsDiffer(white, white, 0));
  EXPECT_TRUE(PixelsAlike(white, white, 0));
  EXPECT_TRUE(PixelsDiffer(P8(255, 0, 0, 0), P8(255, 0, 0, 1), 0));
  EXPECT_FALSE(PixelsDiffer(P16(0, 0, 0, 0), P16(32768, 32768, 32768, 32768), 131072));
}

TEST(SamePixel, ComparesWholePixels) {
  EXPECT_TRUE(SamePixel(P8(1, 2, 3, 4), P8(1, 2, 3, 4)));
  EXPECT_FALSE(SamePixel(P8(1, 2, 3, 4), P8(1, 2, 3, 5)));
  EXPECT_TRUE(SamePixel(P16(1, 2, 3, 40000), P16(1, 2, 3, 40000)));
  EXPECT_FALSE(SamePixel(P16(2, 2, 3, 4), P16(1, 2, 3, 4)));
}

TEST(BlendPixels, EightBitCases) {
  struct Case {
    const char* name;
    PF_Pixel8 a, b;
    float weight;
    PF_Pixel8 out;
  };
  const PF_Pixel8 red = P8(255, 200, 0, 0), black = P8(255, 0, 0, 0);
  const Case cases[] = {
      {"opaque 1", red, black, 1.0f, P8(255, 200, 0, 0)},
      {"opaque 0.75", red, black, 0.75f, P8(255, 149, 0, 0)},
      {"opaque 0.5", red, black, 0.5f, P8(255, 99, 0, 0)},
      {"opaque 0.3", red, black, 0.3f, P8(255, 59, 0, 0)},
      {"opaque 0", red, black, 0.0f, P8(255, 0, 0, 0)},
      {"weight 7 clamped", red, black, 7.0f, P8(255, 200, 0, 0)},
      {"weight -1 clamped", red, black, -1.0f, P8(255, 0, 0, 0)},
      // A transparent side lends no colour.
      {"a transparent", P8(0, 10, 20, 30), P8(255, 200, 100, 50), 0.5f, P8(128, 200, 100, 50)},
      {"b transparent", P8(255, 200, 100, 50), P8(0, 10, 20, 30), 0.5f, P8(127, 200, 100, 50)},
      {"both transparent", P8(0, 1, 2, 3), P8(0, 4, 5, 6), 0.5f, P8(0, 4, 5, 6)},
      // Weight 1 copies a unless a is transparent; weight 0 copies b unless only b is.
      {"a transparent, 1", P8(0, 1, 2, 3), P8(200, 4, 5, 6), 1.0f, P8(0, 4, 5, 6)},
      {"b transparent, 0", P8(200, 1, 2, 3), P8(0, 4, 5, 6), 0.0f, P8(0, 1, 2, 3)},
      {"partly transparent, 1", P8(200, 1, 2, 3), P8(100, 4, 5, 6), 1.0f, P8(200, 1, 2, 3)},
      // (100*127 + 200*128)/255 = 150, (200*127)/255 = 99, (200*128)/255 = 100.
      {"partly transparent mixes all", P8(100, 200, 0, 50), P8(200, 0, 200, 50), 0.5f,
       P8(150, 99, 100, 50)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BlendPixels(c.a, c.b, c.weight), c.out) << c.name;
  }
}

TEST(BlendPixels, SixteenBitWeightsTruncate) {
  EXPECT_EQ(BlendPixels(P16(32768, 32768, 0, 1000), P16(32768, 0, 32768, 0), 0.5f),
            P16(32768, 16384, 16384, 500));
  // 0.3: wA = 9830, wB = 22938.
  EXPECT_EQ(BlendPixels(P16(32768, 32768, 0, 0), P16(32768, 0, 32768, 0), 0.3f),
            P16(32768, 9830, 22938, 0));
  EXPECT_EQ(BlendPixels(P16(16384, 32768, 0, 0), P16(32768, 0, 0, 0), 0.5f),
            P16(24576, 16384, 0, 0));
}

TEST(BlendAt, ReadsTwoInputsAndWritesThirdIndex) {
  const PF_Pixel8 input[3] = {P8(255, 200, 0, 0), P8(255, 0, 0, 0), P8(255, 9, 9, 9)};
  PF_Pixel8 output[3] = {P8(1, 1, 1, 1), P8(1, 1, 1, 1), P8(1, 1, 1, 1)};
  const EdgeContext<PF_Pixel8> ctx{.sourceWorld = nullptr,
                                   .sourcePixels = input,
                                   .destination = OutputWriter<PF_Pixel8>(output),
                                   .destinationHeight = 1,
                                   .sourceStride = 3,
                                   .destinationStride = 3,
                                   .threshold = 0,
                                   .weightFactor = 0.5f};
  BlendAt(ctx, 0, 1, 2, 0.75f);
  EXPECT_EQ(output[2], P8(255, 149, 0, 0));
  EXPECT_EQ(output[0], P8(1, 1, 1, 1));
  EXPECT_EQ(output[1], P8(1, 1, 1, 1));
}

}  // namespace
}  // namespace corvalin

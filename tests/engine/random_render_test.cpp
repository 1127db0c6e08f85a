// Random renders that drive every edge pattern into every border, with guard
// zones around the output that no step may write.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "test_frame.h"

namespace corvalin::testing {
namespace {

template <class Pixel>
Pixel FromEightBit(int a, int r, int g, int b) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  auto scale = [](int c) { return static_cast<Channel>(uint32_t(c) * ChannelMax<Pixel>() / 255u); };
  return Pixel{scale(a), scale(r), scale(g), scale(b)};
}

struct PatternCounts {
  std::array<int64_t, 16> masks{};
  int64_t lookAhead = 0;
};

// The scan's classification, recomputed on the keyed input, to show which
// patterns the renders reached.
template <class Pixel>
void CountPatterns(std::vector<Pixel> pixels, int32_t width, int32_t height, int32_t stride,
                   const Controls& c, PatternCounts& counts) {
  ProcessRect rect;
  FindProcessRect(pixels.data(), stride * static_cast<int32_t>(sizeof(Pixel)), height, rect,
                  c.useKey, c.key);
  AdjustProcessRect(rect, stride, height);
  const uint32_t t = EdgeThreshold<Pixel>(c.smootherRange);
  for (int32_t y = rect.top; y < rect.bottom; ++y)
    for (int32_t x = rect.left; x < rect.right; ++x) {
      const int32_t s = y * stride + x;
      if (SamePixel(pixels[s], pixels[s + 1])) continue;
      const uint32_t mask = NeighbourMask(pixels.data(), s, stride, t);
      ++counts.masks[mask];
      if (mask != 0 && x < width - 2 && LookAheadJunction(pixels.data(), s, stride, t))
        ++counts.lookAhead;
    }
}

template <class Pixel>
void RenderRandomFrames(uint32_t seed, int frames) {
  std::mt19937 rng(seed);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const std::array<Pixel, 7> candidates = {
      FromEightBit<Pixel>(255, 0, 0, 0),   FromEightBit<Pixel>(255, 255, 255, 255),
      FromEightBit<Pixel>(255, 255, 0, 0), FromEightBit<Pixel>(128, 0, 0, 255),
      FromEightBit<Pixel>(0, 0, 0, 0),     FromEightBit<Pixel>(255, 2, 1, 0),
      FromEightBit<Pixel>(0, 90, 10, 200)};
  const double ranges[] = {0.0, 0.5, 1.0, 5.0, 30.0, 100.0};
  const Pixel guard{7, 77, 177, 7};
  PatternCounts counts;

  for (int frame = 0; frame < frames; ++frame) {
    const int32_t width = uniform(1, 24), height = uniform(1, 24), stride = width + uniform(0, 3);
    SCOPED_TRACE(::testing::Message() << "frame " << frame << ": " << width << "x" << height
                                      << " stride " << stride);
    std::array<Pixel, 4> palette;
    const int colours = uniform(2, 4);
    for (int i = 0; i < colours; ++i) palette[i] = candidates[uniform(0, 6)];

    // Runs along rows and columns as well as noise, padding included.
    std::vector<Pixel> input(static_cast<size_t>(stride) * height);
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < stride; ++x) {
        const size_t i = static_cast<size_t>(y) * stride + x;
        const int pick = uniform(0, 9);
        if (pick < 4 && x > 0)
          input[i] = input[i - 1];
        else if (pick < 6 && y > 0)
          input[i] = input[i - stride];
        else
          input[i] = palette[uniform(0, colours - 1)];
      }

    Controls controls;
    controls.useKey = uniform(0, 3) == 0;
    const Pixel keyed = palette[uniform(0, colours - 1)];
    controls.key = PF_Pixel8{255, uint8_t(keyed.red), uint8_t(keyed.green), uint8_t(keyed.blue)};
    controls.smootherRange = ranges[uniform(0, 5)];
    controls.lineWeight = uniform(0, 10) / 10.0;
    CountPatterns(input, width, height, stride, controls, counts);

    // Output with guard zones of two rows on either side.
    const size_t guardSize = static_cast<size_t>(2 * stride + 4);
    std::vector<Pixel> output(guardSize * 2 + static_cast<size_t>(stride) * height, guard);
    Pixel* outPixels = output.data() + guardSize;
    PF_EffectWorld inWorld{}, outWorld{};
    inWorld.data = input.data();
    outWorld.data = outPixels;
    inWorld.rowbytes = outWorld.rowbytes = stride * static_cast<int32_t>(sizeof(Pixel));
    inWorld.width = outWorld.width = width;
    inWorld.height = outWorld.height = height;
    EXPECT_EQ(RenderWorlds(controls, &inWorld, &outWorld, input.data(), outPixels), PF_Err_NONE);
    for (size_t i = 0; i < guardSize; ++i) {
      ASSERT_EQ(output[i], guard) << "written before the output at " << i;
      ASSERT_EQ(output[output.size() - 1 - i], guard) << "written after the output";
    }
  }
  for (uint32_t mask : {3u, 5u, 7u, 11u, 13u, 15u})
    EXPECT_GT(counts.masks[mask], 0) << "mask " << mask << " never occurred";
  EXPECT_GT(counts.lookAhead, 0) << "the look-ahead case never occurred";
}

TEST(RandomRender, EightBitRendersStayInsideTheirBuffers) {
  RenderRandomFrames<PF_Pixel8>(20261208u, 1500);
}

TEST(RandomRender, SixteenBitRendersStayInsideTheirBuffers) {
  RenderRandomFrames<PF_Pixel16>(8121620u, 1500);
}

}  // namespace
}  // namespace corvalin::testing

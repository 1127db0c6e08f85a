// Random renders that drive every edge pattern into every border, with guard
// zones around the output that no step may write, by each engine: the fast
// engine must write the plain engine's bytes and key the input the same way.
#include <gtest/gtest.h>

#include <array>
#include <utility>
#include <vector>

#include "test_frame.h"

namespace corvalin::test {
namespace {

using test_images::Colour8;

struct PatternCounts {
  std::array<int64_t, 16> masks{};
  int64_t lookAhead = 0;
};

// The scan's classification, recomputed on the keyed input, to show which
// patterns the renders reached.
template <class Pixel>
void CountPatterns(std::vector<Pixel> pixels, int32_t width, int32_t height, int32_t stride,
                   const RenderSettings& c, PatternCounts& counts) {
  ProcessRect rect;
  FindProcessRect(pixels.data(), stride * static_cast<int32_t>(sizeof(Pixel)), height, rect,
                  c.useKey, c.keyColour);
  AdjustProcessRect(rect, stride, height);
  const uint32_t t = EdgeThreshold<Pixel>(c.smootherRange);
  for (int32_t y = rect.top; y < rect.bottom; ++y)
    for (int32_t x = rect.left; x < rect.right; ++x) {
      const int32_t s = y * stride + x;
      if (SamePixel(pixels[static_cast<size_t>(s)], pixels[static_cast<size_t>(s) + 1])) continue;
      const uint32_t mask = NeighbourMask(pixels.data(), s, stride, t);
      ++counts.masks[mask];
      if (mask != 0 && x < width - 2 && LookAheadJunction(pixels.data(), s, stride, t))
        ++counts.lookAhead;
    }
}

template <class Pixel>
void RenderRandomFrames(uint32_t seed, int frames) {
  test_images::Random random(seed);
  const std::array<Colour8, 7> candidates = {Colour8{255, 0, 0, 0},   Colour8{255, 255, 255, 255},
                                             Colour8{255, 255, 0, 0}, Colour8{128, 0, 0, 255},
                                             Colour8{0, 0, 0, 0},     Colour8{255, 2, 1, 0},
                                             Colour8{0, 90, 10, 200}};
  const double ranges[] = {0.0, 0.5, 1.0, 5.0, 30.0, 100.0};
  const Pixel guard{7, 77, 177, 7};
  PatternCounts counts;

  for (int frame = 0; frame < frames; ++frame) {
    const int32_t width = random.Between(1, 24), height = random.Between(1, 24);
    const int32_t stride = width + random.Below(4);
    SCOPED_TRACE(::testing::Message()
                 << "frame " << frame << ": " << width << "x" << height << " stride " << stride);
    std::vector<Pixel> palette(static_cast<size_t>(random.Between(2, 4)));
    for (Pixel& p : palette)
      p = test_images::ToPixel<Pixel>(candidates[test_images::Pick(random, candidates.size())]);

    // Runs along rows and columns as well as noise, padding included.
    std::vector<Pixel> input(static_cast<size_t>(stride) * static_cast<size_t>(height));
    test_images::Canvas<Pixel>(input.data(), stride, height, stride).RunNoise(random, palette);

    RenderSettings controls = DefaultRenderSettings();
    controls.useKey = random.OneIn(4);
    const Pixel keyed = palette[test_images::Pick(random, palette.size())];
    controls.keyColour =
        PF_Pixel8{255, uint8_t(keyed.red), uint8_t(keyed.green), uint8_t(keyed.blue)};
    controls.smootherRange = ranges[random.Below(6)];
    controls.lineWeight = random.Below(11) / 10.0;
    CountPatterns(input, width, height, stride, controls, counts);

    // Output with guard zones of two rows on either side.
    const size_t guardSize = static_cast<size_t>(2 * stride + 4);
    std::vector<Pixel> plainInput, plainOutput;
    for (const Engine engine : BuiltEngines()) {
      SCOPED_TRACE(EngineName(engine));
      std::vector<Pixel> keyedInput = input;
      std::vector<Pixel> output(
          guardSize * 2 + static_cast<size_t>(stride) * static_cast<size_t>(height), guard);
      Pixel* outPixels = output.data() + guardSize;
      PF_EffectWorld inWorld{}, outWorld{};
      inWorld.data = keyedInput.data();
      outWorld.data = outPixels;
      inWorld.rowbytes = outWorld.rowbytes = stride * static_cast<int32_t>(sizeof(Pixel));
      inWorld.width = outWorld.width = width;
      inWorld.height = outWorld.height = height;
      EXPECT_EQ(RenderWorlds(controls, &inWorld, &outWorld, keyedInput.data(), outPixels,
                             &CopyWorld<Pixel>, engine),
                PF_Err_NONE);
      for (size_t i = 0; i < guardSize; ++i) {
        ASSERT_EQ(output[i], guard) << "written before the output at " << i;
        ASSERT_EQ(output[output.size() - 1 - i], guard) << "written after the output";
      }
      if (engine == Engine::plain) {
        plainInput = std::move(keyedInput);
        plainOutput = std::move(output);
        continue;
      }
      ASSERT_EQ(keyedInput, plainInput) << "keyed differently from the plain engine";
      for (size_t i = 0; i < output.size(); ++i)
        ASSERT_EQ(output[i], plainOutput[i]) << "differs from the plain engine at " << i;
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
}  // namespace corvalin::test

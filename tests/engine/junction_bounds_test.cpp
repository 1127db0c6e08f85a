// Junction steps at the edges of the image, and random renders that drive
// every pattern into every border with guard zones around the output.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "engine/junction/cross_junction.h"
#include "engine/junction/t_junction.h"
#include "engine/rect/process_rect.h"
#include "engine/scan/scan_frame.h"
#include "engine/scan/scan_settings.h"
#include "junction_test_support.h"

namespace corvalin {
namespace {

using namespace testing;  // TestFrame, Expected and the test colours

// A thin line steps down at P = (4, y): the side below gets its ramp only if
// it is two pixels thick (the blue row under it makes it one), unless P is on
// row 1 or H - 2, where the thickness is not tested at all.
TEST(JunctionBoundsT, SideRampAtTheBorderRowsSkipsTheThicknessTest) {
  struct Case {
    int32_t y, height;
    bool ramped;
  };
  for (const Case c : {Case{1, 6, true}, Case{2, 7, false}, Case{3, 5, true}}) {
    SCOPED_TRACE(c.y);
    TestFrame<PF_Pixel16> f(12, c.height, black16);
    f.Fill(1, c.y, 5, c.y + 1, red16);
    f.Fill(5, c.y + 1, 11, c.y + 2, red16);
    if (c.y + 2 < c.height) f.Fill(0, c.y + 2, 12, c.y + 3, blue16);
    SmoothTJunctionRight(f.ContextAt(4, c.y));
    Expected e(f);
    e.Set(4, c.y, Mix16(20480)).Set(3, c.y, Mix16(28672));
    if (c.ramped) e.Set(4, c.y + 1, Mix16(12288)).Set(3, c.y + 1, Mix16(4096));
    e.Check();
  }
}

TEST(JunctionBoundsT, SpurCornersStopAtTheBorderRowsAndColumns) {
  // Right: spur (3, y) out of bar x = 2 on rows 1 and H - 2 = 3.
  for (int32_t y : {1, 3}) {
    SCOPED_TRACE(y);
    TestFrame<PF_Pixel16> f(6, 5, black16);
    f.Fill(2, 0, 3, 5, red16);
    f.in(3, y) = red16;
    SmoothTJunctionRight(f.ContextAt(3, y));
    Expected(f).Set(3, y, Mix16(24576)).Check();
  }
  // Up: spur (x, 2) on bar y = 3 at columns 1 and S - 2 = 6.
  for (int32_t x : {1, 6}) {
    SCOPED_TRACE(x);
    TestFrame<PF_Pixel16> f(8, 6, black16);
    f.Fill(0, 3, 8, 4, red16);
    f.in(x, 2) = red16;
    SmoothTJunctionUp(f.ContextAt(x, 2));
    Expected(f).Set(x, 2, Mix16(24576)).Check();
  }
  // Down: one column in from S - 2 the corner walk has room for 1 position.
  {
    TestFrame<PF_Pixel16> f(8, 6, black16);
    f.Fill(0, 2, 8, 3, red16);
    f.in(5, 3) = red16;
    SmoothTJunctionDown(f.ContextAt(5, 3));
    Expected(f).Set(5, 3, Mix16(24576)).Set(6, 3, Mix16(4096)).Check();
  }
}

// A diagonal line down to the right through P: ramps only along the axis
// whose coordinate is strictly inside 1 .. S - 2 (or H - 2).
TEST(JunctionBoundsCross, RampsStopAtColumnsAndRows1AndLast) {
  struct Case {
    int32_t x, y;
  };
  for (const Case c : {Case{1, 4}, Case{7, 4}, Case{4, 1}, Case{4, 7}}) {
    SCOPED_TRACE(::testing::Message() << c.x << "," << c.y);
    TestFrame<PF_Pixel16> f(9, 9, black16);
    for (int32_t k = -9; k <= 9; ++k) {
      const int32_t x = c.x + k, y = c.y + k;
      if (x >= 0 && x < 9 && y >= 0 && y < 9) f.in(x, y) = red16;
    }
    SmoothCrossJunction(f.ContextAt(c.x, c.y));
    Expected e(f);
    e.Set(c.x, c.y, Mix16(24576));
    const bool horizontal = c.x != 1 && c.x != 7;
    const bool vertical = c.y != 1 && c.y != 7;
    if (horizontal) e.Set(c.x - 1, c.y, Mix16(4096)).Set(c.x + 1, c.y, Mix16(4096));
    if (vertical) e.Set(c.x, c.y - 1, Mix16(4096)).Set(c.x, c.y + 1, Mix16(4096));
    e.Check();
  }
}

// ---- Random renders ------------------------------------------------------

template <class Pixel>
Pixel FromEightBit(int a, int r, int g, int b) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  constexpr uint32_t M = ChannelMax<Pixel>();
  auto scale = [](int c) { return static_cast<Channel>(static_cast<uint32_t>(c) * M / 255u); };
  return Pixel{scale(a), scale(r), scale(g), scale(b)};
}

template <class Pixel>
std::array<Pixel, 7> Candidates() {
  return {FromEightBit<Pixel>(255, 0, 0, 0),     FromEightBit<Pixel>(255, 255, 255, 255),
          FromEightBit<Pixel>(255, 255, 0, 0),   FromEightBit<Pixel>(128, 0, 0, 255),
          FromEightBit<Pixel>(0, 0, 0, 0),       FromEightBit<Pixel>(255, 2, 1, 0),
          FromEightBit<Pixel>(0, 90, 10, 200)};
}

struct PatternCounts {
  std::array<int64_t, 16> masks{};
  int64_t lookAhead = 0;
};

// The scan's classification, recomputed on the keyed input, to show which
// patterns the renders reached.
template <class Pixel>
void CountPatterns(std::vector<Pixel> pixels, int32_t width, int32_t height, int32_t stride,
                   const testing::Controls& c, PatternCounts& counts) {
  ProcessRect rect;
  FindProcessRect(pixels.data(), stride * static_cast<int32_t>(sizeof(Pixel)), height, rect,
                  c.useKey, c.key);
  AdjustProcessRect(rect, stride, height);
  const uint32_t t = EdgeThreshold<Pixel>(c.smootherRange);
  const Pixel* in = pixels.data();
  for (int32_t y = rect.top; y < rect.bottom; ++y)
    for (int32_t x = rect.left; x < rect.right; ++x) {
      const int32_t s = y * stride + x;
      if (SamePixel(in[s], in[s + 1])) continue;
      const uint32_t mask = (PixelsDiffer(in[s], in[s + 1], t) ? 1u : 0u) |
                            (PixelsDiffer(in[s], in[s - stride], t) ? 2u : 0u) |
                            (PixelsDiffer(in[s], in[s + stride], t) ? 4u : 0u) |
                            (PixelsDiffer(in[s], in[s - 1], t) ? 8u : 0u);
      ++counts.masks[mask];
      if (mask == 0 || x >= width - 2) continue;
      const Pixel& N = in[s + 1];
      if (PixelsDiffer(N, in[s + 1 - stride], t) && PixelsDiffer(N, in[s + 1 + stride], t) &&
          !PixelsDiffer(N, in[s + 2], t))
        ++counts.lookAhead;
    }
}

template <class Pixel>
void RenderRandomFrames(uint32_t seed, int frames, PatternCounts& counts) {
  std::mt19937 rng(seed);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const auto candidates = Candidates<Pixel>();
  const double ranges[] = {0.0, 0.5, 1.0, 5.0, 30.0, 100.0};
  const Pixel guard{7, 77, 177, 7};

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

    testing::Controls controls;
    controls.useKey = uniform(0, 3) == 0;
    const Pixel keyed = palette[uniform(0, colours - 1)];
    controls.key = PF_Pixel8{255, static_cast<uint8_t>(keyed.red), static_cast<uint8_t>(keyed.green),
                             static_cast<uint8_t>(keyed.blue)};
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
    PF_UtilCallbacks utils{};
    utils.copy = &testing::CopyWorld<Pixel>;
    PF_InData inData{};
    inData.utils = &utils;
    PF_OutData outData{};
    PF_ParamDef layer{}, key{}, colour{}, range{}, weight{};
    key.u.bd.value = controls.useKey ? 1 : 0;
    colour.u.cd.value = controls.key;
    range.u.fs_d.value = controls.smootherRange;
    weight.u.fs_d.value = controls.lineWeight;
    PF_ParamDef* params[] = {&layer, &key, &colour, &range, &weight};
    EXPECT_EQ(ScanFrame(&inData, &outData, params, &inWorld, &outWorld, input.data(), outPixels),
              PF_Err_NONE);

    for (size_t i = 0; i < guardSize; ++i) {
      ASSERT_EQ(output[i], guard) << "written before the output at " << i;
      ASSERT_EQ(output[output.size() - 1 - i], guard) << "written after the output";
    }
  }
}

template <class Pixel>
void ExpectEveryPatternReached(const PatternCounts& counts) {
  for (uint32_t mask : {3u, 5u, 7u, 11u, 13u, 15u})
    EXPECT_GT(counts.masks[mask], 0) << "mask " << mask << " never occurred";
  EXPECT_GT(counts.lookAhead, 0) << "the look-ahead case never occurred";
}

TEST(JunctionBoundsRandom, EightBitRendersStayInsideTheirBuffers) {
  PatternCounts counts;
  RenderRandomFrames<PF_Pixel8>(20261208u, 1500, counts);
  ExpectEveryPatternReached<PF_Pixel8>(counts);
}

TEST(JunctionBoundsRandom, SixteenBitRendersStayInsideTheirBuffers) {
  PatternCounts counts;
  RenderRandomFrames<PF_Pixel16>(8121620u, 1500, counts);
  ExpectEveryPatternReached<PF_Pixel16>(counts);
}

}  // namespace
}  // namespace corvalin

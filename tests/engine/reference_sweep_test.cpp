// Seeded sweeps of the pixel comparisons, the blend, the junction ramps of
// every length and lone pixels at every column, each checked against the
// definition's formulas written out here on their own. They pin the engine's
// vector paths and tables where the worked cases elsewhere leave gaps:
// channel values at and beyond the channel maximum, thresholds at the
// distance and beyond 2^31, ramps on both sides of the tabled lengths, and
// changes at every offset of a vector block.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "engine/junction/cross_junction.h"
#include "test_frame.h"

namespace corvalin::testing {
namespace {

uint32_t Draw(std::mt19937& random) { return static_cast<uint32_t>(random()); }

template <class Pixel>
class ReferenceSweep : public ::testing::Test {};
TYPED_TEST_SUITE(ReferenceSweep, Depths);

// The sum of absolute channel differences, in 64 bits.
template <class Pixel>
uint64_t Distance(const Pixel& a, const Pixel& b) {
  auto d = [](int64_t u, int64_t v) { return static_cast<uint64_t>(std::llabs(u - v)); };
  return d(a.alpha, b.alpha) + d(a.red, b.red) + d(a.green, b.green) + d(a.blue, b.blue);
}

// The blend: wA = trunc(float(M) * w) held to 0..M, channels mixed as
// (ca * wA + cb * wB) / M in 32-bit unsigned integers, with the alpha rule.
template <class Pixel>
Pixel Blend(const Pixel& a, const Pixel& b, float w) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  constexpr uint32_t M = ChannelMax<Pixel>();
  float product = static_cast<float>(M) * w;
  if (!(product > 0.0f)) product = 0.0f;
  if (product > static_cast<float>(M)) product = static_cast<float>(M);
  const uint32_t wA = static_cast<uint32_t>(product), wB = M - wA;
  auto mix = [&](uint32_t ca, uint32_t cb) {
    return static_cast<Channel>((ca * wA + cb * wB) / M);
  };
  Pixel out{mix(a.alpha, b.alpha), mix(a.red, b.red), mix(a.green, b.green), mix(a.blue, b.blue)};
  if (a.alpha == M && b.alpha == M)
    out.alpha = static_cast<Channel>(M);
  else if (a.alpha == 0)
    out = Pixel{out.alpha, b.red, b.green, b.blue};
  else if (b.alpha == 0)
    out = Pixel{out.alpha, a.red, a.green, a.blue};
  return out;
}

// Channel values that sit on the edges of the vector arithmetic: 0, 1, the
// middle and the maximum, and at 16 bits also 32767 and raw values up to
// 65535, as a host's buffer may hold them.
template <class Pixel>
Pixel EdgyPixel(std::mt19937& random) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  constexpr uint32_t M = ChannelMax<Pixel>();
  const uint32_t values[] = {0, 1, M / 2, M - 1, M, M == 255 ? 254 : 32767, M == 255 ? 255 : 65535};
  auto channel = [&] {
    const uint32_t pick = Draw(random) % 10;
    return static_cast<Channel>(pick < 7 ? values[pick] : Draw(random) % (M == 255 ? 256 : 65536));
  };
  Pixel p;
  p.alpha = Draw(random) % 3 == 0 ? channel() : static_cast<Channel>(M);
  p.red = channel(), p.green = channel(), p.blue = channel();
  return p;
}

TYPED_TEST(ReferenceSweep, ComparisonsAreTheSumOfAbsoluteDifferencesAgainstTheThreshold) {
  using Pixel = TypeParam;
  std::mt19937 random(4711);
  TestFrame<Pixel> f(3, 3, Pixel{});
  for (int i = 0; i < 20000; ++i) {
    const Pixel p = EdgyPixel<Pixel>(random);
    const Pixel q[4] = {EdgyPixel<Pixel>(random), EdgyPixel<Pixel>(random), p,
                        EdgyPixel<Pixel>(random)};
    const uint64_t d = Distance(p, q[0]);
    const uint32_t thresholds[] = {0,
                                   static_cast<uint32_t>(d),
                                   static_cast<uint32_t>(d) - 1,
                                   static_cast<uint32_t>(d) + 1,
                                   Draw(random),
                                   0x80000000u,
                                   0xFFFFFFFFu};
    for (const uint32_t t : thresholds) {
      ASSERT_EQ(static_cast<uint64_t>(ColourDistance(p, q[0])), d);
      uint32_t expected = 0;
      for (uint32_t k = 0; k < 4; ++k)
        if (t < Distance(p, q[k])) expected |= 1u << k;
      ForEachStepKind(f, 1, 1, 0.0, 0.0, [&](auto ctx) {
        ctx.threshold = t;
        ASSERT_EQ(PixelsDiffer(ctx, p, q[0]), t < d) << i << " threshold " << t;
        ASSERT_EQ(PixelsAlike(ctx, q[0], p), d <= t);
        ASSERT_EQ(DifferingOfFour(ctx, p, q[0], q[1], q[2], q[3]), expected)
            << i << " threshold " << t;
      });
    }
  }
}

TYPED_TEST(ReferenceSweep, BlendsFollowTheAlphaRuleAtEveryWeight) {
  using Pixel = TypeParam;
  std::mt19937 random(815);
  TestFrame<Pixel> f(3, 3, Pixel{});
  const float weights[] = {0.0f, 1.0f, 0.5f, 0.3f, 0.75f, 0.875f, 1e-6f, -0.5f, 2.0f};
  for (int i = 0; i < 20000; ++i) {
    Pixel a = EdgyPixel<Pixel>(random), b = EdgyPixel<Pixel>(random);
    if (i % 7 == 0) a.alpha = 0;
    if (i % 11 == 0) b.alpha = 0;
    const float w =
        i % 2 ? weights[i / 2 % 9] : static_cast<float>(Draw(random) % 100001) / 100000.0f;
    ForEachStepKind(f, 1, 1, 0.0, 0.0, [&](auto ctx) {
      ASSERT_EQ(BlendPixels(ctx, a, b, w), Blend(a, b, w)) << i << " weight " << w;
    });
  }
}

// Ramps over run lengths 0 to 140 along a row of random colours, partnered
// with the row above: every written pixel keeps 1 - (A(k) - A(k + 1)) of its
// own colour, A(j) = h * (x - j)^2 / (2x) for j < x, over ceil(x) pixels.
TYPED_TEST(ReferenceSweep, JunctionRampsOfEveryLength) {
  using Pixel = TypeParam;
  auto area = [](double h, double x, double j) {
    if (!(j < x)) return 0.0;
    const double rest = x - j;
    return h * (rest * rest) / (2.0 * x);
  };
  auto keep = [&](double h, double x, int32_t k) {
    return static_cast<float>(1.0 - (area(h, x, k) - area(h, x, k + 1.0)));
  };
  std::mt19937 random(99);
  TestFrame<Pixel> f(146, 3, Pixel{}, 1);
  for (int32_t x = 0; x < f.stride; ++x)
    for (int32_t y = 0; y < 3; ++y) f.in(x, y) = EdgyPixel<Pixel>(random);
  for (const double lineWeight : {0.0, 0.3, 1.0})
    for (int32_t length = 0; length <= 140; ++length)
      for (const int kind : {0, 1, 2}) {  // WriteRamp over half or weighted spans, BufferRamp
        SCOPED_TRACE(::testing::Message()
                     << "length " << length << " kind " << kind << " line weight " << lineWeight);
        ForEachStepKind(f, 1, 1, 1.0, lineWeight, [&](auto ctx) {
          const double x =
              kind == 1 ? length * static_cast<double>(ctx.weightFactor) : length * 0.5;
          const int32_t count = x > 0 ? std::min(static_cast<int32_t>(std::ceil(x)), length) : 0;
          RampBuffer<Pixel> buffer;
          if (kind == 2)
            BufferRamp(buffer, 0, ctx, length, ctx.sourceIndex, -f.stride, 1);
          else
            WriteRamp(ctx, length, ctx.sourceIndex, ctx.destinationIndex, -f.stride, 1, 1,
                      kind == 0);
          Expected<Pixel> e(f);
          for (int32_t k = 0; k < count; ++k) {
            const Pixel ramp =
                Blend(f.in(1 + k, 1), f.in(1 + k, 0), keep(kind == 2 ? 1.0 : 0.5, x, k));
            if (kind == 2) {
              ASSERT_EQ(buffer.slots[0][k], ramp) << "at " << k;
            } else {
              e.Set(1 + k, 1, ramp);
            }
          }
          e.Check();
        });
      }
}

// A lone pixel, alone or on some of its diagonals' colour, at every column of
// a flat row, on opaque and on half transparent ground: the scan must find it
// wherever it falls in a vector block, and its new value is the truncated mean
// of its half mixes with the diagonals that differ (itself for the alike ones).
TYPED_TEST(ReferenceSweep, LonePixelsAtEveryColumn) {
  using Pixel = TypeParam;
  using Channel = typename PixelTraits<Pixel>::Channel;
  constexpr uint32_t M = ChannelMax<Pixel>();
  const Pixel lone = Colour<Pixel>(M, M == 255 ? 200 : 65535, 7, M / 3);
  for (const uint32_t groundAlpha : {M, M / 2}) {
    const Pixel ground = Colour<Pixel>(groundAlpha, 3, M, M == 255 ? 255 : 40000);
    for (int32_t x = 1; x < 69; ++x) {
      SCOPED_TRACE(::testing::Message() << "column " << x << " ground alpha " << groundAlpha);
      const uint32_t alike = static_cast<uint32_t>(x) % 16;
      TestFrame<Pixel> f(70, 5, ground);
      f.in(x, 2) = lone;
      const int32_t diagonal[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
      uint32_t sum[4] = {};
      for (uint32_t i = 0; i < 4; ++i) {
        if (alike & (1u << i)) f.in(x + diagonal[i][0], 2 + diagonal[i][1]) = lone;
        const Pixel v = (alike & (1u << i)) ? lone : Blend(lone, ground, 0.5f);
        sum[0] += v.alpha, sum[1] += v.red, sum[2] += v.green, sum[3] += v.blue;
      }
      for (const Engine engine : BuiltEngines()) {
        SCOPED_TRACE(EngineName(engine));
        ASSERT_EQ(f.Render(DefaultRenderSettings(), &CopyWorld<Pixel>, engine), PF_Err_NONE);
        EXPECT_EQ(f.out(x, 2),
                  (Pixel{static_cast<Channel>(sum[0] / 4), static_cast<Channel>(sum[1] / 4),
                         static_cast<Channel>(sum[2] / 4), static_cast<Channel>(sum[3] / 4)}));
        if (alike == 0) {
          EXPECT_EQ(f.out(x + 1, 2), ground);
        }
      }
    }
  }
}

}  // namespace
}  // namespace corvalin::testing

// Seeded sweeps of the pixel comparisons, the blend, the junction ramps of
// every length and lone pixels at every column, through every kind of steps.
// Comparisons and ramps are checked against the definition's formulas written
// out here on their own, blends against values worked out by hand and against
// what any blend must keep. They pin the engine's vector paths and tables
// where the worked cases elsewhere leave gaps: channel values at and beyond
// the channel maximum, thresholds at the distance and beyond 2^31, ramps on
// both sides of the tabled lengths, and changes at every offset of a vector
// block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include "engine/junction/cross_junction.h"
#include "test_frame.h"

namespace corvalin::test {
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

template <class Pixel>
struct BlendCase {
  Pixel a, b;
  float weight;
  Pixel out;
};

template <class Pixel, size_t N>
void ExpectBlends(const BlendCase<Pixel> (&cases)[N]) {
  TestFrame<Pixel> f(3, 3, Pixel{});
  for (const BlendCase<Pixel>& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.a << " with " << c.b << " at " << c.weight);
    ForEachStepKind(f, 1, 1, 0.0, 0.0,
                    [&](auto ctx) { EXPECT_EQ(BlendPixels(ctx, c.a, c.b, c.weight), c.out); });
  }
}

// wA = trunc(255 w): 255, 191, 127, 76, 0; 223 at 0.875, 254 at 0.999, 0 at
// 1e-6; -0.5 and 2 are held to 0 and 1. Channels (ca wA + cb (255 - wA)) / 255
// with the remainder dropped.
TEST(ReferenceBlend, EightBitWorkedValues) {
  const PF_Pixel8 red{255, 200, 0, 0}, black{255, 0, 0, 0};
  const PF_Pixel8 lone{255, 200, 7, 85}, ground{255, 3, 255, 255};
  const BlendCase<PF_Pixel8> cases[] = {
      {red, black, 1.0f, {255, 200, 0, 0}},
      {red, black, 0.75f, {255, 149, 0, 0}},
      {red, black, 0.5f, {255, 99, 0, 0}},
      {red, black, 0.3f, {255, 59, 0, 0}},
      {red, black, 0.0f, {255, 0, 0, 0}},
      {{255, 255, 255, 255}, black, 0.5f, {255, 127, 127, 127}},
      // (200*127 + 3*128)/255 = 101, (7*127 + 255*128)/255 = 131, (85*127 + 255*128)/255 = 170.
      {lone, ground, 0.5f, {255, 101, 131, 170}},
      {lone, ground, -0.5f, ground},
      {lone, ground, 2.0f, lone},
      // (1*223 + 254*32)/255 = 32, (254*223 + 1*32)/255 = 222.
      {{255, 255, 1, 254}, {255, 0, 254, 1}, 0.875f, {255, 223, 32, 222}},
      {{255, 255, 255, 255}, {255, 1, 2, 3}, 1e-6f, {255, 1, 2, 3}},
      // 255*254 + 254 = 255*255 - 1: one short of 255, so 254.
      {{255, 255, 1, 255}, {255, 254, 0, 0}, 0.999f, {255, 254, 0, 254}},
      // Partly transparent: all four mixed; 1*127 + 254*128 = 255*128 - 1 gives 127.
      {{1, 255, 255, 0}, {254, 0, 255, 255}, 0.5f, {127, 127, 255, 128}},
      {{100, 200, 0, 50}, {200, 0, 200, 50}, 0.5f, {150, 99, 100, 50}},
      {lone, {127, 3, 255, 255}, 0.5f, {190, 101, 131, 170}},
      // A transparent side lends its alpha to the mix and none of its colour.
      {{0, 10, 20, 30}, {255, 200, 100, 50}, 0.5f, {128, 200, 100, 50}},
      {{255, 200, 100, 50}, {0, 10, 20, 30}, 0.5f, {127, 200, 100, 50}},
      {{0, 9, 9, 9}, {128, 40, 50, 60}, 0.75f, {32, 40, 50, 60}},
      {{0, 1, 2, 3}, {0, 4, 5, 6}, 0.5f, {0, 4, 5, 6}},
  };
  ExpectBlends(cases);
}

// wA = trunc(32768 w): 16384 at 0.5, 9830 at 0.3, 28672 at 0.875, 32735 at
// 0.999, 0 at 1e-6. Raw channels above 32768, as a host's buffer may hold
// them, mix like any other; an alpha above 32768 is not opaque.
TEST(ReferenceBlend, SixteenBitWorkedValues) {
  constexpr uint16_t M = 32768;
  const PF_Pixel16 lone{M, 65535, 7, 10922}, ground{M, 3, M, 40000};
  const PF_Pixel16 high{M, 65535, 65535, 65535}, low{M, 1, 2, 3};
  const BlendCase<PF_Pixel16> cases[] = {
      {{M, M, 0, 1000}, {M, 0, M, 0}, 0.5f, {M, 16384, 16384, 500}},
      {{M, M, 0, 0}, {M, 0, M, 0}, 0.3f, {M, 9830, 22938, 0}},
      // 65535*9830/32768 = 19659.6, 65535*22938/32768 = 45875.3.
      {{M, 65535, 65535, 0}, {M, 65535, 0, 65535}, 0.3f, {M, 65535, 19659, 45875}},
      {lone, ground, 0.5f, {M, 32769, 16387, 25461}},
      {{16384, 65535, 7, 10922}, ground, 0.5f, {24576, 32769, 16387, 25461}},
      {lone, {16384, 3, M, 40000}, 0.5f, {24576, 32769, 16387, 25461}},
      {{16384, M, 0, 0}, {M, 0, 0, 0}, 0.5f, {24576, 16384, 0, 0}},
      {{65535, 100, 200, 300}, {M, 0, 0, 0}, 0.5f, {49151, 50, 100, 150}},
      // (1*28672 + 32768*4096)/32768 = 4096.875, (32767*28672 + 4096)/32768 = 28671.25.
      {{M, 1, 32767, M}, {M, M, 1, 0}, 0.875f, {M, 4096, 28671, 28672}},
      // 65535*32735/32768 = 65469.0004.
      {{65535, 65535, 65535, 65535}, {65535, 0, 0, 0}, 0.999f, {65535, 65469, 65469, 65469}},
      {high, low, 1e-6f, low},
      {high, low, -0.5f, low},
      {high, low, 2.0f, high},
      {{0, 5, 6, 7}, {M, 65535, 1, 2}, 0.5f, {16384, 65535, 1, 2}},
      {{M, 5, 6, 7}, {0, 65535, 1, 2}, 0.3f, {9830, 5, 6, 7}},
  };
  ExpectBlends(cases);
}

// What every blend keeps, over edge channel values at random: the alpha rule,
// each mixed channel between its two inputs and the weight's ends copying
// them, and a larger weight moving each mixed channel towards a's.
TYPED_TEST(ReferenceSweep, BlendsKeepTheAlphaRuleBoundsAndOrder) {
  using Pixel = TypeParam;
  constexpr uint32_t M = ChannelMax<Pixel>();
  std::mt19937 random(815);
  TestFrame<Pixel> f(3, 3, Pixel{});
  const float weights[] = {0.0f, 1.0f, 0.5f, 0.3f, 0.75f, 0.875f, 1e-6f, -0.5f, 2.0f};
  auto weight = [&](int i) {
    return i % 2 ? weights[Draw(random) % 9]
                 : static_cast<float>(Draw(random) % 100001) / 100000.0f;
  };
  for (int i = 0; i < 20000; ++i) {
    Pixel a = EdgyPixel<Pixel>(random), b = EdgyPixel<Pixel>(random);
    if (i % 7 == 0) a.alpha = 0;
    if (i % 11 == 0) b.alpha = 0;
    float w = weight(i), heavier = weight(i + 1);
    if (heavier < w) std::swap(w, heavier);
    const bool opaque = a.alpha == M && b.alpha == M;
    const Pixel* colour = opaque ? nullptr : a.alpha == 0 ? &b : b.alpha == 0 ? &a : nullptr;
    ForEachStepKind(f, 1, 1, 0.0, 0.0, [&](auto ctx) {
      SCOPED_TRACE(::testing::Message() << i << ": " << a << " with " << b << " at " << w);
      const Pixel out = BlendPixels(ctx, a, b, w), more = BlendPixels(ctx, a, b, heavier);
      const uint32_t ca[4] = {a.alpha, a.red, a.green, a.blue};
      const uint32_t cb[4] = {b.alpha, b.red, b.green, b.blue};
      const uint32_t co[4] = {out.alpha, out.red, out.green, out.blue};
      const uint32_t cm[4] = {more.alpha, more.red, more.green, more.blue};
      if (opaque) {
        ASSERT_EQ(out.alpha, M);
      }
      if (colour != nullptr) {
        ASSERT_TRUE(out.red == colour->red && out.green == colour->green &&
                    out.blue == colour->blue);
      }
      for (int c = 0; c < 4; ++c) {
        if (c > 0 && colour != nullptr) break;  // colour copied, not mixed
        SCOPED_TRACE(c);
        ASSERT_GE(co[c], std::min(ca[c], cb[c]));
        ASSERT_LE(co[c], std::max(ca[c], cb[c]));
        if (!(w > 0.0f)) {
          ASSERT_EQ(co[c], cb[c]);
        }
        if (w >= 1.0f) {
          ASSERT_EQ(co[c], ca[c]);
        }
        if (ca[c] >= cb[c]) {
          ASSERT_GE(cm[c], co[c]) << "at " << heavier;
        } else {
          ASSERT_LE(cm[c], co[c]) << "at " << heavier;
        }
      }
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
            const Pixel ramp = corvalin::BlendPixels(f.in(1 + k, 1), f.in(1 + k, 0),
                                                     keep(kind == 2 ? 1.0 : 0.5, x, k));
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
    // The lone pixel's half mix with the ground, worked out by hand:
    // ReferenceBlend holds the same pairs.
    const bool opaque = groundAlpha == M;
    const Pixel half =
        M == 255 ? (opaque ? Colour<Pixel>(255, 101, 131, 170) : Colour<Pixel>(190, 101, 131, 170))
                 : Colour<Pixel>(opaque ? 32768 : 24576, 32769, 16387, 25461);
    for (int32_t x = 1; x < 69; ++x) {
      SCOPED_TRACE(::testing::Message() << "column " << x << " ground alpha " << groundAlpha);
      const uint32_t alike = static_cast<uint32_t>(x) % 16;
      TestFrame<Pixel> f(70, 5, ground);
      f.in(x, 2) = lone;
      const int32_t diagonal[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
      uint32_t sum[4] = {};
      for (uint32_t i = 0; i < 4; ++i) {
        if (alike & (1u << i)) f.in(x + diagonal[i][0], 2 + diagonal[i][1]) = lone;
        const Pixel v = (alike & (1u << i)) ? lone : half;
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
}  // namespace corvalin::test

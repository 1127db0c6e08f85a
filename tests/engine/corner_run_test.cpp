// Straight runs and single-step corners, and whole renders of flat shapes
// whose edges only make two-sided corners and straight runs.
#include <gtest/gtest.h>

#include <vector>

#include "engine/corner/two_sided_corner.h"
#include "engine/runs/single_step_corner.h"
#include "engine/runs/straight_run.h"
#include "test_frame.h"

namespace corvalin::test {
namespace {

constexpr auto upper = CornerFamily::upper;
constexpr auto lower = CornerFamily::lower;

template <class Pixel>
class StraightRun : public ::testing::Test {};
TYPED_TEST_SUITE(StraightRun, Depths);

TYPED_TEST(StraightRun, SmallLeftCornersBlendHalfwayAndLongerRunsNot) {
  using P = TypeParam;
  struct Rect {
    int32_t x0, y0, x1, y1;
  };
  struct Case {
    const char* name;
    int32_t height;
    std::vector<Rect> ink;
    int32_t x, y;
    bool written;
  };
  const Case cases[] = {
      {"2x2 square, upper-left case", 7, {{3, 3, 5, 5}}, 3, 3, true},
      {"2x2 square, lower-left case", 7, {{3, 3, 5, 5}}, 3, 4, true},
      {"run of 4, upper-left", 5, {{1, 2, 5, 4}}, 1, 2, false},
      {"run of 4, lower-left", 5, {{1, 2, 5, 4}}, 1, 3, false},
      {"vertical run of 1", 6, {{3, 2, 5, 3}, {2, 3, 6, 5}}, 3, 2, false},
      {"row 1: row 1 is never compared with row 0", 4, {{3, 0, 5, 2}}, 3, 1, false},
      {"row 2", 5, {{3, 0, 5, 3}}, 3, 2, true},
  };
  // Weight 0.5: 127 of 255 parts at 8 bits, 16384 of 32768 at 16 bits.
  const P half =
      ChannelMax<P>() == 255 ? Colour<P>(255, 127, 0, 128) : Colour<P>(32768, 16384, 0, 16384);
  for (const Case& c : cases)
    for (int32_t padding : {0, 2}) {
      SCOPED_TRACE(::testing::Message() << c.name << ", padding " << padding);
      TestFrame<P> f(8, c.height, Paper<P>(), padding);
      for (const Rect& r : c.ink) f.Fill(r.x0, r.y0, r.x1, r.y1, Ink<P>());
      SmoothStraightRun(f.ContextAt(c.x, c.y));
      Expected<P> e(f);
      if (c.written) e.Set(c.x, c.y, half);
      e.Check();
    }
}

TYPED_TEST(StraightRun, TransparentSurroundLendsOnlyItsTransparency) {
  using P = TypeParam;
  constexpr uint32_t M = ChannelMax<P>();
  TestFrame<P> f(8, 6, Colour<P>(0, 0, 0, 0));
  f.Fill(3, 3, 5, 5, Ink<P>());
  SmoothStraightRun(f.ContextAt(3, 3));
  Expected<P>(f).Set(3, 3, Colour<P>(M == 255 ? 127 : 16384, M, 0, 0)).Check();
}

TEST(StraightRun, OuterAverageTruncates) {
  // 8 bits: (1 + 0 + 0) / 3 gives 0; 16 bits: (32768 + 32767 + 32767) / 3 gives 32767.
  EXPECT_EQ(OuterAverage(Colour<PF_Pixel8>(255, 1, 0, 1), Colour<PF_Pixel8>(255, 0, 0, 0),
                         Colour<PF_Pixel8>(255, 0, 0, 0)),
            Colour<PF_Pixel8>(255, 0, 0, 0));
  const auto hi = Colour<PF_Pixel16>(M16, 32768, 0, 1), lo = Colour<PF_Pixel16>(M16, 32767, 0, 0);
  EXPECT_EQ(OuterAverage(lo, hi, lo), Colour<PF_Pixel16>(M16, 32767, 0, 0));

  // In a frame: the surround averages 32767.67 in red; truncated to 32767 it
  // blends with red 0 into 16383, where a rounded average would give 16384.
  TestFrame<PF_Pixel16> f(10, 6, red16);
  f.in(2, 2) = Colour<PF_Pixel16>(M16, 32767, 0, 0);
  f.Fill(3, 3, 5, 5, blue16);
  SmoothStraightRun(f.ContextAt(3, 3));
  Expected(f).Set(3, 3, Mix16(16383, 16384)).Check();
}

template <class Pixel>
class SingleStepCorner : public ::testing::Test {};
TYPED_TEST_SUITE(SingleStepCorner, Depths);

TYPED_TEST(SingleStepCorner, ArmsOfTwoOrThreeBlendTowardsTheOuterAverage) {
  using P = TypeParam;
  constexpr uint32_t M = ChannelMax<P>();
  // Ink at 0.5 over the average (M, 0, 2M/3, 2M/3) of the three outer pixels.
  const P blended = M == 255 ? Colour<P>(255, 127, 85, 85) : Colour<P>(M, 16384, 10922, 10922);
  const int32_t lengths[][2] = {{2, 2}, {2, 3}, {3, 2}, {3, 3}, {4, 2},
                                {2, 4}, {4, 4}, {1, 2}, {2, 1}, {9, 9}};
  for (CornerFamily family : {upper, lower})
    for (int variant = 0; variant < 11; ++variant) {
      // Variants 0..9 take the lengths above; 10 has the pixel diagonally
      // behind the corner (below-left, or above-left) differing.
      const int32_t left = variant < 10 ? lengths[variant][0] : 2;
      const int32_t riser = variant < 10 ? lengths[variant][1] : 2;
      SCOPED_TRACE(::testing::Message() << (family == upper ? "upper " : "lower ") << left << " "
                                        << riser << (variant == 10 ? " behind" : ""));
      // The corner at (4, 4): ink behind it, three colours outside.
      const int32_t outside = family == upper ? 3 : 5;
      TestFrame<P> f(10, 8, Paper<P>());
      f.Fill(0, family == upper ? 4 : 0, 5, family == upper ? 8 : 5, Ink<P>());
      f.in(4, outside) = Colour<P>(M, 0, M, 0);
      f.in(5, outside) = Colour<P>(M, 0, M, M);
      f.in(5, 4) = Colour<P>(M, 0, 0, M);
      if (variant == 10) f.in(3, family == upper ? 5 : 3) = Paper<P>();
      auto ctx = f.ContextAt(4, 4);
      ctx.arms[leftArm].length = left;
      ctx.arms[family == upper ? downArm : upArm].length = riser;
      ctx.arms[family == upper ? upArm : downArm].length = 7;  // not read
      if (family == upper)
        SmoothSingleStepCorner<upper>(ctx);
      else
        SmoothSingleStepCorner<lower>(ctx);
      Expected<P> e(f);
      if (variant < 4) e.Set(4, 4, blended);
      e.Check();
    }
}

template <class Pixel>
class CornerFrame : public ::testing::Test {};
TYPED_TEST_SUITE(CornerFrame, Depths);

// Renders at both Line Weights with and without padding; the check gets the
// frame and the weight of the unit arms' ramps (7/8, or 3/4 at Line Weight 1).
template <class Pixel, class Draw, class Check>
void RenderVariants(int32_t width, int32_t height, int32_t padding, Draw draw, Check check) {
  for (int32_t pad : {0, padding})
    for (double lineWeight : {0.0, 1.0}) {
      SCOPED_TRACE(::testing::Message() << "padding " << pad << ", weight " << lineWeight);
      TestFrame<Pixel> f(width, height, Paper<Pixel>(), pad);
      draw(f);
      RenderSettings controls = DefaultRenderSettings();
      controls.lineWeight = lineWeight;
      EXPECT_EQ(f.Render(controls), PF_Err_NONE);
      check(f, lineWeight == 1.0 ? 0.75f : 0.875f);
    }
}

using Pixels = std::vector<std::pair<int32_t, int32_t>>;

template <class Pixel>
void ExpectPixels(const TestFrame<Pixel>& f, const Pixels& pixels, Pixel p) {
  for (const auto& [x, y] : pixels) EXPECT_EQ(f.out(x, y), p) << "at (" << x << ", " << y << ")";
}
template <class Pixel>
void ExpectUnchanged(TestFrame<Pixel>& f, const Pixels& pixels) {
  for (const auto& [x, y] : pixels) ExpectPixels(f, {{x, y}}, f.in(x, y));
}

TYPED_TEST(CornerFrame, FortyFiveDegreeStaircaseRampsEveryCorner) {
  using P = TypeParam;
  auto draw = [](auto& f) { InkFromLeft(f, {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}); };
  auto check = [](auto& f, float w) {
    // Each corner keeps w of its ink under the paper above; the paper right
    // of it takes 1 - w of the ink below.
    for (int32_t x = 1; x <= 8; ++x) {
      ExpectPixels(f, {{x, x + 2}}, InkOverPaper<P>(w));
      ExpectPixels(f, {{x + 1, x + 2}}, InkOverPaper<P>(w, true));
      ExpectUnchanged(f, {{x - 1, x + 2}, {x, x + 3}, {x + 2, x + 2}, {x + 1, x + 1}});
    }
  };
  RenderVariants<P>(12, 12, 3, draw, check);
}

// Shapes symmetric about column width / 2, halfWidths[y] ink pixels each side.
template <class Pixel>
void InkCentred(TestFrame<Pixel>& f, const std::vector<int32_t>& halfWidths) {
  for (int32_t y = 0; y < static_cast<int32_t>(halfWidths.size()); ++y) {
    const int32_t half = halfWidths[static_cast<size_t>(y)];
    f.Fill(f.width / 2 - half, y, f.width / 2 + half, y + 1, Ink<Pixel>());
  }
}

TYPED_TEST(CornerFrame, SteppedPyramidBlendsItsSmallCornersHalfway) {
  // Two-by-two steps: the right-hand corners go through the single-step
  // corner, the left-hand ones through the straight run, inside and out.
  using P = TypeParam;
  auto draw = [](auto& f) { InkCentred(f, {0, 0, 1, 1, 3, 3, 5, 5, 7, 7, 0, 0}); };
  auto check = [](auto& f, float) {
    // Single-step upper (8, 2), straight run upper-left (7, 2) and the like.
    ExpectPixels(f, {{8, 2}, {7, 2}, {5, 4}, {10, 4}, {12, 6}, {14, 8}}, InkOverPaper<P>(0.5f));
    // Straight run lower-left (9, 3), single-step lower on paper (6, 3).
    ExpectPixels(f, {{9, 3}, {6, 3}, {13, 7}}, InkOverPaper<P>(0.5f, true));
    // The long bottom edge and the corners next to the border.
    ExpectUnchanged(f, {{1, 9}, {14, 9}, {2, 7}, {1, 8}, {8, 3}, {7, 3}, {9, 2}});
  };
  RenderVariants<P>(16, 12, 2, draw, check);
}

TYPED_TEST(CornerFrame, DiscTopRowFollowsItsArms) {
  using P = TypeParam;
  auto draw = [](auto& f) { InkCentred(f, {0, 0, 2, 3, 4, 5, 5, 5, 5, 4, 3, 2, 0, 0}); };
  auto check = [](auto& f, float w) {
    // Row 2 has own-line stops on both four-pixel arms, so its ramps are
    // halved whatever the weight: (4, 2) is a paper corner whose right ramp
    // covers (5, 2) and (6, 2); (9, 2) mirrors it.
    const float row2[] = {0.875f, 0.625f, 0.875f, 0.875f, 0.625f, 0.875f};
    for (int32_t x = 4; x <= 9; ++x)
      ExpectPixels(f, {{x, 2}}, InkOverPaper<P>(row2[x - 4], x == 4 || x == 9));
    // Row 3's unit arms follow the weight.
    ExpectPixels(f, {{3, 3}}, InkOverPaper<P>(w, true));
    ExpectPixels(f, {{4, 3}}, InkOverPaper<P>(w));
    ExpectUnchanged(f, {{5, 3}, {6, 6}, {3, 2}, {10, 2}});
  };
  RenderVariants<P>(14, 14, 1, draw, check);
}

TYPED_TEST(CornerFrame, LaterWritesReplaceEarlierOnes) {
  // Green-only opaque pixels, in 8-bit units scaled to the depth. With the
  // default range neighbours 10 apart are alike, 20 apart differ.
  using P = TypeParam;
  constexpr uint32_t M = ChannelMax<P>();
  auto green = [](uint32_t v) { return Colour<P>(M, 0, v * (M == 255 ? 1 : 128), 0); };
  auto result = [](uint32_t v8, uint32_t v16) { return Colour<P>(M, 0, M == 255 ? v8 : v16, 0); };
  // Row 3 climbs 10, 15, 20 over the lower corner P = (4, 4); column 3 holds
  // 0 from row 4 down to the last row.
  TestFrame<P> f(10, 8, green(100));
  f.in(4, 3) = green(10);
  f.in(5, 3) = green(15);
  f.in(6, 3) = green(20);
  f.in(4, 4) = green(0);
  f.in(5, 4) = f.in(6, 4) = green(20);
  for (int32_t y = 4; y < 8; ++y) f.in(3, y) = green(0);

  // The left ramp alone (7/8 of P under the 100 below) ...
  auto ctx = f.ContextAt(4, 4);
  for (auto trace : {&TraceLeftArm<lower, P, OutputWriter<P>, PlainSteps>,
                     &TraceRightArm<lower, P, OutputWriter<P>, PlainSteps>,
                     &TraceUpArm<lower, P, OutputWriter<P>, PlainSteps>,
                     &TraceDownArm<lower, P, OutputWriter<P>, PlainSteps>})
    trace(ctx);
  AdjustArms(ctx.arms, ctx.weightFactor);
  RampLeftArm<lower>(ctx);
  EXPECT_EQ(f.out(4, 4), result(12, 1600));
  // ... is replaced at P by the up ramp (3/4 of P under the 20 on its right);
  // the right ramp writes (5, 4) as 3/4 of 20 under the 15 above it.
  ctx = f.ContextAt(4, 4);
  LowerCorner(ctx);
  EXPECT_EQ(f.out(4, 4), result(5, 640));
  EXPECT_EQ(f.out(5, 4), result(18, 2400));
  EXPECT_EQ(f.out(4, 5), result(74, 9600));
  // The straight run at (5, 4), one pixel later, replaces that with the half
  // blend towards the average of 0, 100 and 100.
  SmoothStraightRun(f.ContextAt(5, 4));
  EXPECT_EQ(f.out(5, 4), result(43, 5546));

  f.Render();
  EXPECT_EQ(f.out(4, 4), result(5, 640));
  EXPECT_EQ(f.out(5, 4), result(43, 5546));
  EXPECT_EQ(f.out(4, 5), result(74, 9600));
}

}  // namespace
}  // namespace corvalin::test

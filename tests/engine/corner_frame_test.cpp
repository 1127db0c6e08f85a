// Whole renders of small flat-colour shapes whose edges only make two-sided
// corners and straight runs, checked at hand-worked pixels.
#include <gtest/gtest.h>

#include <vector>

#include "corner_test_support.h"
#include "engine/corner/two_sided_corner.h"
#include "engine/runs/straight_run.h"

namespace corvalin::testing {
namespace {

// The shapes must not lean on the junction steps: no pixel may classify as
// a three- or four-sided pattern, nor look ahead to a mirrored one.
template <class Pixel>
void ExpectOnlyCornersAndRuns(TestFrame<Pixel>& frame) {
  const uint32_t threshold = EdgeThreshold<Pixel>(1.0);
  const int32_t W = frame.stride;
  const Pixel* in = frame.input.data();
  for (int32_t y = 1; y < frame.height - 1; ++y)
    for (int32_t x = 1; x < W - 1; ++x) {
      const int32_t s = y * W + x;
      if (SamePixel(in[s], in[s + 1])) continue;
      const uint32_t mask = (PixelsDiffer(in[s], in[s + 1], threshold) ? 1u : 0u) |
                            (PixelsDiffer(in[s], in[s - W], threshold) ? 2u : 0u) |
                            (PixelsDiffer(in[s], in[s + W], threshold) ? 4u : 0u) |
                            (PixelsDiffer(in[s], in[s - 1], threshold) ? 8u : 0u);
      EXPECT_TRUE(mask != 7 && mask != 11 && mask != 13 && mask != 15)
          << "mask " << mask << " at (" << x << ", " << y << ")";
      if (mask == 0 || x >= frame.width - 2) continue;
      const int32_t n = s + 1;
      const bool aheadJunction = PixelsDiffer(in[n], in[n - W], threshold) &&
                                 PixelsDiffer(in[n], in[n + W], threshold) &&
                                 !PixelsDiffer(in[n], in[n + 1], threshold);
      EXPECT_FALSE(aheadJunction) << "look-ahead at (" << x + 1 << ", " << y << ")";
    }
}

struct Expected {
  int32_t x, y;
  bool ink;      // the pixel's own colour: ink mixed with paper, or the reverse
  float weight;  // on the pixel's own colour
};

template <class Pixel>
void ExpectPixels(const TestFrame<Pixel>& frame, const std::vector<Expected>& pixels) {
  for (const Expected& e : pixels)
    EXPECT_EQ(frame.out(e.x, e.y),
              e.ink ? InkOverPaper<Pixel>(e.weight) : PaperOverInk<Pixel>(e.weight))
        << "at (" << e.x << ", " << e.y << ")";
}

template <class Pixel>
void ExpectUnchanged(const TestFrame<Pixel>& frame,
                     std::initializer_list<std::pair<int32_t, int32_t>> pixels) {
  for (const auto& [x, y] : pixels)
    EXPECT_EQ(frame.out(x, y), frame.input[static_cast<size_t>(y) * frame.stride + x])
        << "at (" << x << ", " << y << ")";
}

template <class Pixel>
class CornerFrame : public ::testing::Test {};
TYPED_TEST_SUITE(CornerFrame, Depths);

TYPED_TEST(CornerFrame, FortyFiveDegreeStaircaseRampsEveryCorner) {
  for (int32_t padding : {0, 3})
    for (double lineWeight : {0.0, 1.0}) {
      SCOPED_TRACE(::testing::Message() << "padding " << padding << ", weight " << lineWeight);
      Drawn<TypeParam> frame(
          {
              "............",
              "............",
              "#...........",
              "##..........",
              "###.........",
              "####........",
              "#####.......",
              "######......",
              "#######.....",
              "########....",
              "#########...",
              "##########..",
          },
          padding);
      ExpectOnlyCornersAndRuns(frame);
      Controls controls;
      controls.lineWeight = lineWeight;
      EXPECT_EQ(frame.Render(controls), PF_Err_NONE);
      // Each corner keeps 3/4 (or 7/8) of its colour under the paper above;
      // the paper to its right takes 1/4 (or 1/8) of the ink below it.
      const float w = lineWeight == 1.0 ? 0.75f : 0.875f;
      for (int32_t x = 1; x <= 8; ++x) {
        ExpectPixels(frame, {{x, x + 2, true, w}, {x + 1, x + 2, false, w}});
        ExpectUnchanged(frame, {{x - 1, x + 2}, {x, x + 3}, {x + 2, x + 2}, {x + 1, x + 1}});
      }
    }
}

TYPED_TEST(CornerFrame, SteppedPyramidBlendsItsSmallCornersHalfway) {
  // Two-by-two steps: the right-hand corners go through the single-step
  // corner, the left-hand ones through the straight run, inside and out.
  for (int32_t padding : {0, 2})
    for (double lineWeight : {0.0, 1.0}) {
      SCOPED_TRACE(::testing::Message() << "padding " << padding << ", weight " << lineWeight);
      Drawn<TypeParam> frame(
          {
              "................",
              "................",
              ".......##.......",
              ".......##.......",
              ".....######.....",
              ".....######.....",
              "...##########...",
              "...##########...",
              ".##############.",
              ".##############.",
              "................",
              "................",
          },
          padding);
      ExpectOnlyCornersAndRuns(frame);
      Controls controls;
      controls.lineWeight = lineWeight;
      frame.Render(controls);
      ExpectPixels(frame, {
                              {8, 2, true, 0.5f},    // single-step, upper
                              {7, 2, true, 0.5f},    // straight run, upper-left case
                              {9, 3, false, 0.5f},   // straight run, lower-left case
                              {6, 3, false, 0.5f},   // single-step, lower (on paper)
                              {5, 4, true, 0.5f},    //
                              {10, 4, true, 0.5f},   //
                              {12, 6, true, 0.5f},   //
                              {13, 7, false, 0.5f},  //
                              {14, 8, true, 0.5f},   //
                          });
      // Long bottom edge and the corners next to the border: untouched.
      ExpectUnchanged(frame, {{1, 9}, {14, 9}, {2, 7}, {1, 8}, {8, 3}, {7, 3}, {9, 2}});
    }
}

TYPED_TEST(CornerFrame, DiscTopRowFollowsItsArms) {
  for (int32_t padding : {0, 1})
    for (double lineWeight : {0.0, 1.0}) {
      SCOPED_TRACE(::testing::Message() << "padding " << padding << ", weight " << lineWeight);
      Drawn<TypeParam> frame(
          {
              "..............",
              "..............",
              ".....####.....",
              "....######....",
              "...########...",
              "..##########..",
              "..##########..",
              "..##########..",
              "..##########..",
              "...########...",
              "....######....",
              ".....####.....",
              "..............",
              "..............",
          },
          padding);
      ExpectOnlyCornersAndRuns(frame);
      Controls controls;
      controls.lineWeight = lineWeight;
      frame.Render(controls);
      // Row 2 has own-line stops on both four-pixel arms, so its ramps are
      // halved whatever the weight: (4, 2) is a paper corner whose right
      // ramp covers (5, 2) and (6, 2); (8, 2) mirrors it.
      ExpectPixels(frame, {
                              {4, 2, false, 0.875f},
                              {5, 2, true, 0.625f},
                              {6, 2, true, 0.875f},
                              {7, 2, true, 0.875f},
                              {8, 2, true, 0.625f},
                              {9, 2, false, 0.875f},
                          });
      // Row 3's unit arms follow the weight.
      const float w = lineWeight == 1.0 ? 0.75f : 0.875f;
      ExpectPixels(frame, {{3, 3, false, w}, {4, 3, true, w}});
      ExpectUnchanged(frame, {{5, 3}, {6, 6}, {3, 2}, {10, 2}});
    }
}

// Green-only opaque pixels, in 8-bit units scaled to the depth. With the
// default range the threshold is 10 (8 bits) or 1310 (16 bits): neighbours
// 10 apart are alike, 20 apart differ, so "alike" is not transitive here.
template <class Pixel>
Pixel Green(uint32_t value) {
  constexpr uint32_t M = ChannelMax<Pixel>();
  return Colour<Pixel>(M, 0, value * (M == 255 ? 1 : 128), 0);
}

template <class Pixel>
struct ChainFrame : TestFrame<Pixel> {
  ChainFrame() : TestFrame<Pixel>(10, 8, Green<Pixel>(100)) {
    // Row 3 climbs 10, 15, 20 over the corner; column 3 holds 0 from row 4
    // down to the last row, and (4, 4) is the lower corner P.
    this->in(4, 3) = Green<Pixel>(10);
    this->in(5, 3) = Green<Pixel>(15);
    this->in(6, 3) = Green<Pixel>(20);
    this->in(4, 4) = Green<Pixel>(0);
    this->in(5, 4) = Green<Pixel>(20);
    this->in(6, 4) = Green<Pixel>(20);
    for (int32_t y = 4; y < 8; ++y) this->in(3, y) = Green<Pixel>(0);
  }
};

TYPED_TEST(CornerFrame, LaterWritesReplaceEarlierOnes) {
  using P = TypeParam;
  constexpr bool deep = ChannelMax<P>() == 32768;
  auto green = [](uint32_t v) {
    return Colour<P>(ChannelMax<P>(), 0, v, 0);
  };
  // At P the left ramp (7/8 of P under the 100 below) is replaced by the up
  // ramp (3/4 of P under the 20 on its right). The right ramp writes (5, 4)
  // as 3/4 of 20 under the 15 above it; the straight run at (5, 4), one
  // pixel later, replaces that with the half blend towards the average of
  // 0, 100 and 100.
  const P leftRamp = green(deep ? 1600 : 12), upRamp = green(deep ? 640 : 5);
  const P rightRamp = green(deep ? 2400 : 18), straightRun = green(deep ? 5546 : 43);
  const P downRamp = green(deep ? 9600 : 74);
  ChainFrame<P> frame;
  ExpectOnlyCornersAndRuns(frame);

  // The left ramp alone, after the traces and the adjustment.
  auto ctx = frame.ContextAt(4, 4);
  TraceLeftArm<CornerFamily::lower>(ctx);
  TraceRightArm<CornerFamily::lower>(ctx);
  TraceUpArm<CornerFamily::lower>(ctx);
  TraceDownArm<CornerFamily::lower>(ctx);
  AdjustArms(ctx.arms, ctx.weightFactor);
  RampLeftArm<CornerFamily::lower>(ctx);
  EXPECT_EQ(frame.out(4, 4), leftRamp);

  ctx = frame.ContextAt(4, 4);
  LowerCorner(ctx);
  EXPECT_EQ(frame.out(4, 4), upRamp);
  EXPECT_EQ(frame.out(5, 4), rightRamp);
  EXPECT_EQ(frame.out(4, 5), downRamp);

  ctx = frame.ContextAt(5, 4);
  SmoothStraightRun(ctx);
  EXPECT_EQ(frame.out(5, 4), straightRun);

  frame.Render();
  EXPECT_EQ(frame.out(4, 4), upRamp);
  EXPECT_EQ(frame.out(5, 4), straightRun);
  EXPECT_EQ(frame.out(4, 5), downRamp);
}

}  // namespace
}  // namespace corvalin::testing

#include "engine/corner/arm_trace.h"

#include <gtest/gtest.h>

#include "corner_test_support.h"

namespace corvalin::testing {
namespace {

constexpr auto upper = CornerFamily::upper;
constexpr auto lower = CornerFamily::lower;

void ExpectArm(const Arm& arm, int32_t length, float start, float end, int32_t flags = 0) {
  EXPECT_EQ(arm.length, length);
  EXPECT_EQ(arm.start, start);
  EXPECT_EQ(arm.end, end);
  EXPECT_EQ(arm.stopFlags, flags);
}

template <CornerFamily family, class Pixel>
void TraceAll(EdgeContext<Pixel>& ctx) {
  TraceLeftArm<family>(ctx);
  TraceRightArm<family>(ctx);
  TraceUpArm<family>(ctx);
  TraceDownArm<family>(ctx);
}

template <class Pixel>
class ArmTrace : public ::testing::Test {};
TYPED_TEST_SUITE(ArmTrace, Depths);

TYPED_TEST(ArmTrace, FortyFiveDegreeStaircaseGivesUnitArmsInBothFamilies) {
  Drawn<TypeParam> below({
      "..........",
      "#.........",
      "##........",
      "###.......",
      "####......",
      "#####.....",
      "######....",
      "#######...",
      "########..",
      "#########.",
  });
  auto ctx = below.ContextAt(4, 5);
  TraceAll<upper>(ctx);
  ExpectArm(ctx.arms[leftArm], 1, 5, 4);
  ExpectArm(ctx.arms[rightArm], 1, 5, 6);
  ExpectArm(ctx.arms[upArm], 1, 5, 4);
  ExpectArm(ctx.arms[downArm], 1, 5, 6);

  Drawn<TypeParam> above({
      "#########.",
      "########..",
      "#######...",
      "######....",
      "#####.....",
      "####......",
      "###.......",
      "##........",
      "#.........",
      "..........",
  });
  ctx = above.ContextAt(4, 4);
  TraceAll<lower>(ctx);
  ExpectArm(ctx.arms[leftArm], 1, 5, 4);
  ExpectArm(ctx.arms[rightArm], 1, 5, 6);
  ExpectArm(ctx.arms[upArm], 1, 4, 3);
  ExpectArm(ctx.arms[downArm], 1, 4, 5);
}

TYPED_TEST(ArmTrace, FourPixelStepsWithUnitRisers) {
  Drawn<TypeParam> frame({
      "....................",
      "....................",
      "####................",
      "########............",
      "############........",
      "################....",
      "####################",
      "####################",
      "####################",
  });
  auto ctx = frame.ContextAt(7, 3);
  TraceAll<upper>(ctx);
  ExpectArm(ctx.arms[leftArm], 4, 8, 4);
  ExpectArm(ctx.arms[rightArm], 4, 8, 12);
  EXPECT_EQ(ctx.arms[upArm].length, 0);  // the pre-check: no previous riser
  ExpectArm(ctx.arms[downArm], 1, 3, 4);
}

TYPED_TEST(ArmTrace, EdgeColourChangeOnOwnRowSetsOwnLineStop) {
  Drawn<TypeParam> frame({
      "..........",
      "..........",
      "..........",
      "...###....",
      "##########",
      "##########",
  });
  auto ctx = frame.ContextAt(5, 3);
  TraceLeftArm<upper>(ctx);
  ExpectArm(ctx.arms[leftArm], 3, 6, 3, ownLineStop);
}

TYPED_TEST(ArmTrace, LeftArmReachesHalfPixelFurtherWhenNextStepIsOneLonger) {
  // P's step is 3 long, the step before it 4 (n = 3, N = 4).
  Drawn<TypeParam> frame({
      "................",
      "................",
      "######..........",
      "#########.......",
      "#############...",
      "################",
      "################",
      "################",
      "################",
      "################",
  });
  auto ctx = frame.ContextAt(8, 3);
  TraceLeftArm<upper>(ctx);
  ExpectArm(ctx.arms[leftArm], 3, 9, 5.5f);

  // A context that is itself a nested copy starts no nested trace.
  ctx = frame.ContextAt(8, 3);
  ctx.nested = 1;
  TraceLeftArm<upper>(ctx);
  ExpectArm(ctx.arms[leftArm], 3, 9, 6);
}

TYPED_TEST(ArmTrace, NoNestedTraceWithinThreePixelsOfTheBorder) {
  // The same steps one row higher: P at y = 2.
  Drawn<TypeParam> frame({
      "................",
      "######..........",
      "#########.......",
      "#############...",
      "################",
      "################",
      "################",
      "################",
      "################",
      "################",
  });
  auto ctx = frame.ContextAt(8, 2);
  TraceLeftArm<upper>(ctx);
  ExpectArm(ctx.arms[leftArm], 3, 9, 6);
}

TYPED_TEST(ArmTrace, UpperRightArmEndsHalfPixelSoonerWhenNextStepIsOneShorter) {
  Drawn<TypeParam> frame({
      "............",
      "............",
      "............",
      "####........",
      "######......",
      "#######.....",
      "############",
      "############",
      "############",
      "############",
  });
  auto ctx = frame.ContextAt(3, 3);
  TraceRightArm<upper>(ctx);
  ExpectArm(ctx.arms[rightArm], 2, 4, 5.5f);
}

TYPED_TEST(ArmTrace, UpperUpArmEndsSoonerOnlyWhenPreviousRiserIsShorterButNotEmpty) {
  // Riser of 2 above P's left, the one before it 1: end moves by +0.5.
  Drawn<TypeParam> shorter({
      "..........",
      "..........",
      "..........",
      "####......",
      "#####.....",
      "#####.....",
      "######....",
      "##########",
      "##########",
      "##########",
  });
  auto ctx = shorter.ContextAt(5, 6);
  TraceUpArm<upper>(ctx);
  ExpectArm(ctx.arms[upArm], 2, 6, 4.5f);

  // Riser of 1, and the step before it longer than one pixel (N = 0).
  Drawn<TypeParam> empty({
      "..........",
      "..........",
      "..........",
      "###.......",
      "###.......",
      "#####.....",
      "######....",
      "##########",
      "##########",
      "##########",
  });
  ctx = empty.ContextAt(5, 6);
  TraceUpArm<upper>(ctx);
  ExpectArm(ctx.arms[upArm], 1, 6, 5);
}

TYPED_TEST(ArmTrace, UpperDownArmReachesFurtherWhenNextRiserIsOneLonger) {
  Drawn<TypeParam> frame({
      "..........",
      "..........",
      "..........",
      "#####.....",
      "######....",
      "######....",
      "##########",
      "##########",
      "##########",
      "##########",
  });
  auto ctx = frame.ContextAt(4, 3);
  TraceDownArm<upper>(ctx);
  ExpectArm(ctx.arms[downArm], 1, 3, 4.5f);
}

TYPED_TEST(ArmTrace, LowerRisersMoveTheirEndsTheOtherWayRound) {
  // P's riser (up arm) is 2 and the next one 1; the previous riser (down
  // arm) is 1 and the one before it 2.
  Drawn<TypeParam> frame({
      "##########",
      "##########",
      "##########",
      "######....",
      "#####.....",
      "#####.....",
      "####......",
      "###.......",
      "###.......",
      "..........",
      "..........",
  });
  auto ctx = frame.ContextAt(4, 5);
  TraceUpArm<lower>(ctx);
  TraceDownArm<lower>(ctx);
  ExpectArm(ctx.arms[upArm], 2, 5, 3.5f);
  ExpectArm(ctx.arms[downArm], 1, 5, 6.5f);
}

TYPED_TEST(ArmTrace, HorizontalArmsOfAStraightEdgeRunToTheRowLimits) {
  Drawn<TypeParam> frame({
      "............",
      "............",
      "............",
      "######......",
      "############",
      "############",
      "############",
      "############",
  });
  auto ctx = frame.ContextAt(5, 3);
  TraceLeftArm<upper>(ctx);
  TraceRightArm<upper>(ctx);
  ExpectArm(ctx.arms[leftArm], 4, 6, 2);
  ExpectArm(ctx.arms[rightArm], 5, 6, 11);
}

TYPED_TEST(ArmTrace, RightArmLimitUsesTheRowStrideNotTheWidth) {
  Drawn<TypeParam> frame(
      {
          "............",
          "............",
          "............",
          "######......",
          "############",
          "############",
          "############",
          "############",
      },
      3);
  // Padding that continues the edge: the arm walks into it, up to W - 1.
  for (int32_t y = 0; y < frame.height; ++y)
    for (int32_t x = frame.width; x < frame.stride; ++x) frame.in(x, y) = frame.in(11, y);
  auto ctx = frame.ContextAt(5, 3);
  TraceRightArm<upper>(ctx);
  ExpectArm(ctx.arms[rightArm], 8, 6, 14);
}

TYPED_TEST(ArmTrace, ArmsAtTheBorderTakeTheirLimitLengths) {
  // x = 1: the first pairs are alike, the limit gives length 0.
  Drawn<TypeParam> left({
      "........",
      "........",
      "##......",
      "########",
      "########",
      "########",
  });
  auto ctx = left.ContextAt(1, 2);
  TraceLeftArm<upper>(ctx);
  ExpectArm(ctx.arms[leftArm], 0, 2, 2);

  // x = W - 2: length 0; x = W - 3: length 1 without testing the pair at n = 1,
  // which would have stopped on its own row.
  Drawn<TypeParam> right({
      "........",
      "........",
      "#######.",
      "########",
      "########",
      "########",
  });
  ctx = right.ContextAt(6, 2);
  TraceRightArm<upper>(ctx);
  ExpectArm(ctx.arms[rightArm], 0, 7, 7);
  Drawn<TypeParam> nearRight({
      "........",
      "........",
      "######.#",
      "########",
      "########",
      "########",
  });
  ctx = nearRight.ContextAt(5, 2);
  TraceRightArm<upper>(ctx);
  ExpectArm(ctx.arms[rightArm], 1, 6, 7);

  // Upper up arm at y = 2: length 1 without a pair test (the own column
  // changes between rows 1 and 0); at y = 1: length 0.
  Drawn<TypeParam> up2({
      "...#....",
      "###.....",
      "####....",
      "########",
      "########",
      "########",
  });
  ctx = up2.ContextAt(3, 2);
  TraceUpArm<upper>(ctx);
  ExpectArm(ctx.arms[upArm], 1, 2, 1);
  Drawn<TypeParam> up1({
      "###.....",
      "####....",
      "########",
      "########",
  });
  ctx = up1.ContextAt(3, 1);
  TraceUpArm<upper>(ctx);
  ExpectArm(ctx.arms[upArm], 0, 1, 1);

  // Lower down arm at y = H - 3: length 1 without a pair test.
  Drawn<TypeParam> down({
      "########",
      "########",
      "########",
      "########",
      "########",
      "####....",
      "###.....",
      "...#....",
  });
  ctx = down.ContextAt(3, 5);
  TraceDownArm<lower>(ctx);
  ExpectArm(ctx.arms[downArm], 1, 5, 6);
}

}  // namespace
}  // namespace corvalin::testing

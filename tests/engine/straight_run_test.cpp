#include "engine/runs/straight_run.h"

#include <gtest/gtest.h>

#include "corner_test_support.h"
#include "engine/runs/single_step_corner.h"

namespace corvalin::testing {
namespace {

constexpr auto upper = CornerFamily::upper;
constexpr auto lower = CornerFamily::lower;

// Every output pixel equals the input except (x, y), which is `written`.
template <class Pixel>
void ExpectOnlyWrite(const TestFrame<Pixel>& frame, int32_t wx, int32_t wy, Pixel written) {
  for (int32_t y = 0; y < frame.height; ++y)
    for (int32_t x = 0; x < frame.width; ++x) {
      const Pixel& expected = (x == wx && y == wy)
                                  ? written
                                  : frame.input[static_cast<size_t>(y) * frame.stride + x];
      EXPECT_EQ(frame.out(x, y), expected) << "at (" << x << ", " << y << ")";
    }
}

template <class Pixel>
void ExpectNoWrite(const TestFrame<Pixel>& frame) {
  ExpectOnlyWrite(frame, -1, -1, Pixel{});
}

template <class Pixel>
void RunStraightRun(TestFrame<Pixel>& frame, int32_t x, int32_t y) {
  auto ctx = frame.ContextAt(x, y);
  SmoothStraightRun(ctx);
}

template <class Pixel>
class StraightRun : public ::testing::Test {};
TYPED_TEST_SUITE(StraightRun, Depths);

TYPED_TEST(StraightRun, TwoByTwoSquareBlendsBothLeftCornersHalfway) {
  using P = TypeParam;
  constexpr uint32_t M = ChannelMax<P>();
  // Weight 0.5: 127 of 255 parts at 8 bits, 16384 of 32768 at 16 bits.
  const P half = M == 255 ? Colour<P>(255, 127, 0, 128) : Colour<P>(M, 16384, 0, 16384);
  for (int32_t padding : {0, 2}) {
    SCOPED_TRACE(padding);
    Drawn<P> frame(
        {
            "........",
            "........",
            "........",
            "...##...",
            "...##...",
            "........",
            "........",
        },
        padding);
    RunStraightRun(frame, 3, 3);  // upper-left case
    ExpectOnlyWrite(frame, 3, 3, half);
    RunStraightRun(frame, 3, 4);  // lower-left case
    ExpectOnlyWrite(frame, 3, 4, half);
  }
}

TYPED_TEST(StraightRun, TransparentSurroundLendsOnlyItsTransparency) {
  using P = TypeParam;
  constexpr uint32_t M = ChannelMax<P>();
  TestFrame<P> frame(8, 6, Colour<P>(0, 0, 0, 0));
  frame.Fill(3, 3, 5, 5, Ink<P>());
  RunStraightRun(frame, 3, 3);
  ExpectOnlyWrite(frame, 3, 3, Colour<P>(M == 255 ? 127 : 16384, M, 0, 0));
}

TYPED_TEST(StraightRun, LongHorizontalRunsWriteNothing) {
  Drawn<TypeParam> frame({
      "........",
      "........",
      ".####...",
      ".####...",
      "........",
  });
  RunStraightRun(frame, 1, 2);
  RunStraightRun(frame, 1, 3);
  ExpectNoWrite(frame);
}

TYPED_TEST(StraightRun, StaircaseSteppingRightBelowTheCornerWritesNothing) {
  // The vertical run is 1: the column on the left changes colour at once.
  Drawn<TypeParam> frame({
      "........",
      "........",
      "...##...",
      "..####..",
      "..####..",
      "........",
  });
  RunStraightRun(frame, 3, 2);
  ExpectNoWrite(frame);
}

TYPED_TEST(StraightRun, UpwardRunNeverComparesRowOneWithRowZero) {
  using P = TypeParam;
  Drawn<P> row1({
      "...##...",
      "...##...",
      "........",
      "........",
  });
  RunStraightRun(row1, 3, 1);
  ExpectNoWrite(row1);

  Drawn<P> row2({
      "...##...",
      "...##...",
      "...##...",
      "........",
      "........",
  });
  RunStraightRun(row2, 3, 2);
  ExpectOnlyWrite(row2, 3, 2, InkOverPaper<P>(0.5f));
}

TYPED_TEST(StraightRun, OuterAverageTruncates) {
  using P = TypeParam;
  constexpr uint32_t M = ChannelMax<P>();
  const uint32_t hi = M == 255 ? 1 : 32768;
  const uint32_t lo = M == 255 ? 0 : 32767;
  const P a = Colour<P>(M, hi, 0, 1), b = Colour<P>(M, lo, 0, 0), c = Colour<P>(M, lo, 0, 0);
  const P expected = Colour<P>(M, M == 255 ? 0 : 32767, 0, 0);
  EXPECT_EQ(OuterAverage(a, b, c), expected);
  EXPECT_EQ(OuterAverage(c, a, b), expected);
}

TEST(StraightRunDeep, TruncatedOuterAverageReachesTheBlend) {
  // The surround averages 32767.67 in red; truncated to 32767 it blends with
  // red 0 into 16383, where a rounded average would give 16384.
  using P = PF_Pixel16;
  const P ink = Colour<P>(32768, 32768, 0, 0);
  TestFrame<P> frame(10, 6, ink);
  frame.in(2, 2) = Colour<P>(32768, 32767, 0, 0);
  frame.Fill(3, 3, 5, 5, Paper<P>());
  RunStraightRun(frame, 3, 3);
  ExpectOnlyWrite(frame, 3, 3, Colour<P>(32768, 16383, 0, 16384));
}

template <class Pixel>
class SingleStepCorner : public ::testing::Test {
 protected:
  // Upper corner at (4, 4): ink below-left, and above / above-right / right
  // three different colours whose average is (M, 0, 2M/3, 2M/3).
  static void DrawUpper(TestFrame<Pixel>& frame) {
    constexpr uint32_t M = ChannelMax<Pixel>();
    frame.Fill(0, 4, 5, 8, Ink<Pixel>());
    frame.in(4, 3) = Colour<Pixel>(M, 0, M, 0);
    frame.in(5, 3) = Colour<Pixel>(M, 0, M, M);
    frame.in(5, 4) = Colour<Pixel>(M, 0, 0, M);
  }
  // The same turned upside down: lower corner at (4, 4).
  static void DrawLower(TestFrame<Pixel>& frame) {
    constexpr uint32_t M = ChannelMax<Pixel>();
    frame.Fill(0, 0, 5, 5, Ink<Pixel>());
    frame.in(4, 5) = Colour<Pixel>(M, 0, M, 0);
    frame.in(5, 5) = Colour<Pixel>(M, 0, M, M);
    frame.in(5, 4) = Colour<Pixel>(M, 0, 0, M);
  }
  static Pixel Expected() {
    constexpr uint32_t M = ChannelMax<Pixel>();
    // Ink at 0.5 over the average: 127/128 parts of 255, or 16384/16384.
    return M == 255 ? Colour<Pixel>(255, 127, 85, 85) : Colour<Pixel>(M, 16384, 10922, 10922);
  }
  template <CornerFamily family>
  static void Run(TestFrame<Pixel>& frame, int32_t left, int32_t riser) {
    auto ctx = frame.ContextAt(4, 4);
    ctx.arms[leftArm].length = left;
    ctx.arms[family == CornerFamily::upper ? downArm : upArm].length = riser;
    // The other riser is not read.
    ctx.arms[family == CornerFamily::upper ? upArm : downArm].length = 7;
    SmoothSingleStepCorner<family>(ctx);
  }
};
TYPED_TEST_SUITE(SingleStepCorner, Depths);

TYPED_TEST(SingleStepCorner, ArmsOfTwoOrThreeBlendTowardsTheOuterAverage) {
  for (int32_t left : {2, 3})
    for (int32_t riser : {2, 3}) {
      SCOPED_TRACE(::testing::Message() << left << " " << riser);
      TestFrame<TypeParam> up(10, 8, Paper<TypeParam>());
      this->DrawUpper(up);
      this->template Run<upper>(up, left, riser);
      ExpectOnlyWrite(up, 4, 4, this->Expected());
      TestFrame<TypeParam> low(10, 8, Paper<TypeParam>());
      this->DrawLower(low);
      this->template Run<lower>(low, left, riser);
      ExpectOnlyWrite(low, 4, 4, this->Expected());
    }
}

TYPED_TEST(SingleStepCorner, ArmsOutsideTwoToThreeWriteNothing) {
  const int32_t pairs[][2] = {{4, 2}, {2, 4}, {4, 4}, {1, 2}, {2, 1}, {9, 9}};
  for (const auto& pair : pairs) {
    SCOPED_TRACE(::testing::Message() << pair[0] << " " << pair[1]);
    TestFrame<TypeParam> up(10, 8, Paper<TypeParam>());
    this->DrawUpper(up);
    this->template Run<upper>(up, pair[0], pair[1]);
    ExpectNoWrite(up);
    TestFrame<TypeParam> low(10, 8, Paper<TypeParam>());
    this->DrawLower(low);
    this->template Run<lower>(low, pair[0], pair[1]);
    ExpectNoWrite(low);
  }
}

TYPED_TEST(SingleStepCorner, DifferentPixelDiagonallyBehindTheCornerWritesNothing) {
  TestFrame<TypeParam> up(10, 8, Paper<TypeParam>());
  this->DrawUpper(up);
  up.in(3, 5) = Paper<TypeParam>();  // below-left
  this->template Run<upper>(up, 2, 2);
  ExpectNoWrite(up);

  TestFrame<TypeParam> low(10, 8, Paper<TypeParam>());
  this->DrawLower(low);
  low.in(3, 3) = Paper<TypeParam>();  // above-left
  this->template Run<lower>(low, 2, 2);
  ExpectNoWrite(low);
}

}  // namespace
}  // namespace corvalin::testing

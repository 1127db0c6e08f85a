// Steps that the fast engine makes in its own way: the two side walks of a
// T-junction's run made at once, the search over identical pixels, and a
// corner that reads only two of its arms. Each is held to values worked out
// by hand, with the fast steps and, where there is one, the plain step too.
#include <gtest/gtest.h>

#include <vector>

#include "test_frame.h"

#if CORVALIN_FAST_ENGINE

namespace corvalin::test {
namespace {

using fast::FastSteps;

template <class Pixel>
class FastStepsTest : public ::testing::Test {};
TYPED_TEST_SUITE(FastStepsTest, Depths);

// A horizontal ink run along row 2 from x = 1 rightwards, with side lines
// on rows 1 and 3 that change at given columns: a side line turns to ink
// at sideChange (the pair sideChange - 1, sideChange differs).
template <class Pixel>
TestFrame<Pixel> RunWithSides(int32_t runEnd, int32_t upperChange, int32_t lowerChange) {
  TestFrame<Pixel> f(16, 5, Paper<Pixel>());
  f.Fill(1, 2, runEnd, 3, Ink<Pixel>());
  f.Fill(upperChange, 1, 16, 2, Ink<Pixel>());
  f.Fill(lowerChange, 3, 16, 4, Ink<Pixel>());
  return f;
}

TYPED_TEST(FastStepsTest, BothSideWalksOfARunInOneWalk) {
  using Pixel = TypeParam;
  struct Case {
    int32_t runEnd, upperChange, lowerChange, cap;
    int32_t negative, positive;  // lengths on the upper (-) and lower (+) side
  };
  const Case cases[] = {
      // The upper line changes between x = 4 and 5 (k = 3), the lower one
      // between 6 and 7 (k = 5): lengths k + 1.
      {14, 5, 7, 128, 4, 6},
      {14, 7, 5, 128, 6, 4},
      // The run itself ends first (between 8 and 9): both walks stop there.
      {9, 12, 13, 128, 8, 8},
      // The lower line changes at the same position as the run: 8 either way.
      {9, 12, 9, 128, 8, 8},
      // The cap ends a walk that goes on.
      {14, 5, 13, 3, 3, 3},
      {14, 3, 13, 6, 2, 6},
      // Nothing changes before the bound: x + k < 15, so 14 positions.
      {16, 16, 16, 128, 14, 14},
  };
  for (const Case& c : cases) {
    TestFrame<Pixel> f = RunWithSides<Pixel>(c.runEnd, c.upperChange, c.lowerChange);
    const auto ctx = f.template ContextAt<FastSteps>(1, 2);
    const int32_t p = ctx.sourceIndex;
    const SideRunLengths both = MeasureRunBothSides(ctx, p, f.stride, 1, 0, f.stride - 1, 1, c.cap);
    EXPECT_EQ(both.negative, c.negative)
        << c.runEnd << " " << c.upperChange << " " << c.lowerChange;
    EXPECT_EQ(both.positive, c.positive)
        << c.runEnd << " " << c.upperChange << " " << c.lowerChange;
    // The same lengths as the two walks made one by one, by the fast walk and
    // the plain one.
    ForEachStepKind(f, 1, 2, 1.0, 0.0, [&](auto one) {
      EXPECT_EQ(MeasureRun(one, p, p - f.stride, 1, 0, f.stride - 1, 1, c.cap).length, c.negative);
      EXPECT_EQ(MeasureRun(one, p, p + f.stride, 1, 0, f.stride - 1, 1, c.cap).length, c.positive);
    });
  }
}

// Most walks at thin lines end at their first or second position; which
// line ended them decides a ramp's span, so both the length and that line
// are held to hand-worked values.
TYPED_TEST(FastStepsTest, ShortRunWalksReportWhereAndOnWhichLineTheyStop) {
  using Pixel = TypeParam;
  struct Case {
    int32_t runEnd, upperChange, high;
    int32_t length;
    bool ownLine;
  };
  const Case cases[] = {
      {2, 16, 15, 1, true},   // the run changes between x = 1 and 2
      {2, 2, 15, 1, true},    // both lines change there: the run's own is tested first
      {14, 2, 15, 1, false},  // only the upper line changes there
      {3, 16, 15, 2, true},  {14, 3, 15, 2, false},
      {14, 16, 2, 1, false},  // the bound allows one position, and nothing changes
      {2, 16, 2, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.runEnd << " " << c.upperChange << " " << c.high);
    TestFrame<Pixel> f = RunWithSides<Pixel>(c.runEnd, c.upperChange, 16);
    ForEachStepKind(f, 1, 2, 1.0, 0.0, [&](auto ctx) {
      const int32_t p = ctx.sourceIndex;
      const RunLength run = MeasureRun(ctx, p, p - f.stride, 1, 0, c.high, 1);
      EXPECT_EQ(run.length, c.length);
      EXPECT_EQ(run.stoppedOnOwnLine, c.ownLine);
    });
  }
}

TYPED_TEST(FastStepsTest, RunWalksStopAtTheirBoundsOrDoNotStart) {
  using Pixel = TypeParam;
  TestFrame<Pixel> f = RunWithSides<Pixel>(16, 16, 16);
  ForEachStepKind(f, 5, 2, 1.0, 0.0, [&](auto ctx) {
    const int32_t p = ctx.sourceIndex;
    // Leftwards from x = 5 while 0 < 5 - k: 5 positions.
    EXPECT_EQ(MeasureRun(ctx, p, p - f.stride, -1, 0, 15, 5).length, 5);
    // A start on a bound walks nowhere.
    EXPECT_EQ(MeasureRun(ctx, p, p - f.stride, 1, 0, 5, 5).length, 0);
    EXPECT_EQ(MeasureRun(ctx, p, p - f.stride, -1, 5, 15, 5).length, 0);
  });
  const auto ctx = f.template ContextAt<FastSteps>(5, 2);
  const int32_t p = ctx.sourceIndex;
  EXPECT_EQ(MeasureRunBothSides(ctx, p, f.stride, -1, 0, 15, 5, 128).negative, 5);
  const SideRunLengths none = MeasureRunBothSides(ctx, p, f.stride, 1, 0, 5, 5, 128);
  EXPECT_EQ(none.negative, 0);
  EXPECT_EQ(none.positive, 0);
}

TYPED_TEST(FastStepsTest, SearchLandsOnTheFirstPixelUnlikeItsRightNeighbour) {
  using Pixel = TypeParam;
  // Every length of search up to 70 pixels, with the change at every place.
  for (int32_t count = 0; count <= 70; ++count) {
    for (int32_t change = 0; change <= count; ++change) {
      std::vector<Pixel> row(static_cast<size_t>(count) + 1, Paper<Pixel>());
      // Pixels change..count are ink: pixel change - 1 is the first unlike
      // its right neighbour; with change 0 the row is all ink, flat to the end.
      for (int32_t i = change; i <= count; ++i) row[static_cast<size_t>(i)] = Ink<Pixel>();
      const int32_t expected = change == 0 ? count : change - 1;
      EXPECT_EQ(fast::FirstChange(row.data(), count), expected) << count << " " << change;
    }
  }
  // A change in one channel's low bits alone counts.
  std::vector<Pixel> row(40, Paper<Pixel>());
  row[23].green = 1;
  EXPECT_EQ(fast::FirstChange(row.data(), 39), 22);
}

// Each channel (a + b) / 2, truncated, with no carry between channels.
TEST(TruncatedMean, EachChannelOnItsOwn) {
  EXPECT_EQ(fast::TruncatedMean(PF_Pixel8{255, 254, 1, 0}, PF_Pixel8{254, 255, 0, 1}),
            (PF_Pixel8{254, 254, 0, 0}));
  EXPECT_EQ(fast::TruncatedMean(PF_Pixel8{3, 128, 255, 7}, PF_Pixel8{0, 129, 255, 8}),
            (PF_Pixel8{1, 128, 255, 7}));
  EXPECT_EQ(fast::TruncatedMean(PF_Pixel16{65535, 65534, 1, 0}, PF_Pixel16{65534, 65535, 0, 1}),
            (PF_Pixel16{65534, 65534, 0, 0}));
  EXPECT_EQ(fast::TruncatedMean(PF_Pixel16{32768, 3, 32767, 40000}, PF_Pixel16{32768, 0, 32768, 1}),
            (PF_Pixel16{32768, 1, 32767, 20000}));
}

// Ink from the left: rows 0-1 two pixels, row 2-3 four, rows 4-5 six. P =
// (3, 2) is an upper corner whose left arm and riser are both 2 long: the
// single-step corner pulls it halfway towards the paper outside the corner,
// and nothing else changes.
TYPED_TEST(FastStepsTest, SingleStepCornerReadsTwoArms) {
  using Pixel = TypeParam;
  TestFrame<Pixel> f(10, 6, Paper<Pixel>());
  InkFromLeft(f, {2, 2, 4, 4, 6, 6});
  ForEachStepKind(f, 3, 2, 1.0, 0.0, [&](auto ctx) {
    UpperCorner(ctx);
    Expected<Pixel>(f).Set(3, 2, InkOverPaper<Pixel>(0.5f)).Check();
  });
}

}  // namespace
}  // namespace corvalin::test

#endif

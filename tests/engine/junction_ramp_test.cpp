#include "engine/junction/junction_ramp.h"

#include <gtest/gtest.h>

#include "junction_test_support.h"

namespace corvalin {
namespace {

using namespace testing;  // TestFrame, Expected and the test colours

// A red row y = 1 from x = 1 on, its partner row 0 black: a ramp along row 1
// shows the share each pixel keeps as its red value.
template <class Pixel>
TestFrame<Pixel> RampRow(const Pixel& black, const Pixel& red) {
  TestFrame<Pixel> f(9, 3, black, 2);
  f.Fill(1, 1, 9, 2, red);
  return f;
}

TEST(JunctionRampWrite, HalfLengthSharesAt16Bits) {
  struct Case {
    int32_t length;
    std::vector<uint32_t> kept;  // red kept from x = 1 on
  };
  // Keeps 1 - c(k): 0.6, 0.8, 0.975 | 0.625, 0.875 | 0.875 | nothing.
  const Case cases[] = {{5, {19660, 26214, 31948}}, {4, {20480, 28672}}, {1, {28672}}, {0, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    TestFrame<PF_Pixel16> f = RampRow(black16, red16);
    auto ctx = f.ContextAt(1, 1);
    WriteRamp(ctx, c.length, ctx.sourceIndex, ctx.destinationIndex, -f.stride, 1, 1, true);
    Expected e(f);
    for (size_t k = 0; k < c.kept.size(); ++k)
      e.Set(1 + static_cast<int32_t>(k), 1, Mix16(static_cast<uint16_t>(c.kept[k])));
    e.Check();
  }
}

TEST(JunctionRampWrite, HalfLengthSharesAt8Bits) {
  TestFrame<PF_Pixel8> f = RampRow(black8, red8);
  auto ctx = f.ContextAt(1, 1);
  WriteRamp(ctx, 5, ctx.sourceIndex, ctx.destinationIndex, -f.stride, 1, 1, true);
  // 255 * 0.6, 255 * 0.8, 255 * 0.975, truncated.
  Expected(f).Set(1, 1, Red8(153)).Set(2, 1, Red8(204)).Set(3, 1, Red8(248)).Check();
}

TEST(JunctionRampWrite, FullSpanFollowsLineWeight) {
  // Span 4 * weightFactor: "Line Weight" 1 covers all 4 pixels with partner
  // shares 7/16, 5/16, 3/16, 1/16; "Line Weight" 0 covers 2 with 3/8, 1/8.
  {
    TestFrame<PF_Pixel16> f = RampRow(black16, red16);
    auto ctx = f.ContextAt(1, 1, 1.0, 1.0);
    WriteRamp(ctx, 4, ctx.sourceIndex, ctx.destinationIndex, -f.stride, 1, 1, false);
    Expected(f)
        .Set(1, 1, Mix16(18432))
        .Set(2, 1, Mix16(22528))
        .Set(3, 1, Mix16(26624))
        .Set(4, 1, Mix16(30720))
        .Check();
  }
  {
    TestFrame<PF_Pixel16> f = RampRow(black16, red16);
    auto ctx = f.ContextAt(1, 1, 1.0, 0.0);
    WriteRamp(ctx, 4, ctx.sourceIndex, ctx.destinationIndex, -f.stride, 1, 1, false);
    Expected(f).Set(1, 1, Mix16(20480)).Set(2, 1, Mix16(28672)).Check();
  }
}

TEST(JunctionRampWrite, SpanCountIsTheCeiling) {
  // "Line Weight" 0.3: span 5 * 0.65 = 3.25 covers 4 pixels, partner shares
  // 11/26, 7/26, 3/26 and 1/208 (float weights truncated against 32768).
  TestFrame<PF_Pixel16> f = RampRow(black16, red16);
  auto ctx = f.ContextAt(1, 1, 1.0, 0.3);
  WriteRamp(ctx, 5, ctx.sourceIndex, ctx.destinationIndex, -f.stride, 1, 1, false);
  Expected(f)
      .Set(1, 1, Mix16(18904))
      .Set(2, 1, Mix16(23945))
      .Set(3, 1, Mix16(28987))
      .Set(4, 1, Mix16(32610))
      .Check();
}

TEST(JunctionRampWrite, WalksBackwardsAlongAColumn) {
  // Ramp up column 3 from row 4, partnered with the column to its left.
  TestFrame<PF_Pixel16> f(5, 6, black16, 1);
  f.Fill(3, 0, 4, 6, red16);
  auto ctx = f.ContextAt(3, 4);
  WriteRamp(ctx, 4, ctx.sourceIndex, ctx.destinationIndex, -1, -f.stride, -f.stride, true);
  Expected(f).Set(3, 4, Mix16(20480)).Set(3, 3, Mix16(28672)).Check();
}

TEST(JunctionRampBuffer, StagesFullHeightSharesAndMarksTheSlot) {
  TestFrame<PF_Pixel16> f = RampRow(black16, red16);
  auto ctx = f.ContextAt(1, 1);
  const PF_Pixel16 sentinel{1, 2, 3, 4};
  RampBuffer<PF_Pixel16> buffer;
  for (auto& slot : buffer.slots)
    for (auto& entry : slot) entry = sentinel;

  // Length 4: side shares 0.75 and 0.25.
  BufferRamp(buffer, 1, ctx, 4, ctx.sourceIndex, -f.stride, 1);
  EXPECT_FALSE(buffer.buffered[0]);
  EXPECT_TRUE(buffer.buffered[1]);
  EXPECT_EQ(buffer.slots[1][0], Mix16(8192));
  EXPECT_EQ(buffer.slots[1][1], Mix16(24576));
  EXPECT_EQ(buffer.slots[1][2], sentinel);
  EXPECT_EQ(buffer.slots[0][0], sentinel);

  // Length 1: side share 0.25.
  BufferRamp(buffer, 0, ctx, 1, ctx.sourceIndex, -f.stride, 1);
  EXPECT_TRUE(buffer.buffered[0]);
  EXPECT_EQ(buffer.slots[0][0], Mix16(24576));
  EXPECT_EQ(buffer.slots[0][1], sentinel);

  // Staging never touches the destination.
  Expected(f).Check();
}

TEST(JunctionRampBuffer, EightBitShares) {
  TestFrame<PF_Pixel8> f = RampRow(black8, red8);
  auto ctx = f.ContextAt(1, 1);
  RampBuffer<PF_Pixel8> buffer;
  BufferRamp(buffer, 0, ctx, 4, ctx.sourceIndex, -f.stride, 1);
  EXPECT_EQ(buffer.slots[0][0], Red8(63));   // 255 * 0.25
  EXPECT_EQ(buffer.slots[0][1], Red8(191));  // 255 * 0.75
}

TEST(JunctionMeasureRun, StopsAtTheFirstChangeOfEitherLine) {
  // Row 2 is the own line, row 1 the beside line, walking right from x = 1.
  TestFrame<PF_Pixel16> f(12, 4, black16);
  auto measure = [&f] {
    auto ctx = f.ContextAt(1, 2);
    return MeasureRun(ctx, ctx.sourceIndex, ctx.sourceIndex - f.stride, 1, 0, f.stride - 1, 1);
  };

  // Nothing changes: the bound 1 + k < 11 ends the walk after columns 1..10.
  RunLength run = measure();
  EXPECT_EQ(run.length, 10);
  EXPECT_FALSE(run.stoppedOnOwnLine);

  // Beside line changes between columns 4 and 5: positions 1..4 examined.
  f.in(5, 1) = red16;
  run = measure();
  EXPECT_EQ(run.length, 4);
  EXPECT_FALSE(run.stoppedOnOwnLine);

  // Own line changes at the same position: it is tested first.
  f.in(5, 2) = red16;
  run = measure();
  EXPECT_EQ(run.length, 4);
  EXPECT_TRUE(run.stoppedOnOwnLine);

  // Own line changes earlier.
  f.in(3, 2) = red16;
  run = measure();
  EXPECT_EQ(run.length, 2);
  EXPECT_TRUE(run.stoppedOnOwnLine);

  // A change within the threshold is no change.
  f.in(3, 2) = PF_Pixel16{M16, 10, 0, 0};
  f.in(5, 2) = black16;
  run = measure();
  EXPECT_EQ(run.length, 4);
  EXPECT_FALSE(run.stoppedOnOwnLine);
}

TEST(JunctionMeasureRun, BoundsTestTheGivenCoordinate) {
  TestFrame<PF_Pixel16> f(6, 8, black16);
  // Walking up column 2 from row 5: 0 < 5 - k allows k = 0..4.
  auto ctx = f.ContextAt(2, 5);
  RunLength run = MeasureRun(ctx, ctx.sourceIndex, ctx.sourceIndex + 1, -f.stride, 0, 7, 5);
  EXPECT_EQ(run.length, 5);
  // The same walk tested on a coordinate one further along stops one sooner;
  // a coordinate already on the bound examines nothing.
  run = MeasureRun(ctx, ctx.sourceIndex, ctx.sourceIndex + 1, -f.stride, 1, 7, 5);
  EXPECT_EQ(run.length, 4);
  run = MeasureRun(ctx, ctx.sourceIndex, ctx.sourceIndex + 1, -f.stride, 1, 7, 1);
  EXPECT_EQ(run.length, 0);
  run = MeasureRun(ctx, ctx.sourceIndex, ctx.sourceIndex + 1, f.stride, 1, 6, 6);
  EXPECT_EQ(run.length, 0);
}

}  // namespace
}  // namespace corvalin

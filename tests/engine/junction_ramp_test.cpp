#include "engine/junction/junction_ramp.h"

#include <gtest/gtest.h>

#include "test_frame.h"

namespace corvalin {
namespace {

using testing::TestFrame;

constexpr uint16_t M16 = 32768;
const PF_Pixel16 black16{M16, 0, 0, 0};
const PF_Pixel16 red16{M16, M16, 0, 0};
const PF_Pixel8 black8{255, 0, 0, 0};
const PF_Pixel8 red8{255, 255, 0, 0};

template <class Pixel>
Pixel Red(uint32_t r) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  constexpr auto M = static_cast<Channel>(ChannelMax<Pixel>());
  return Pixel{M, static_cast<Channel>(r), 0, 0};
}

// Every pixel of the output equals `expected` (same layout as the input).
template <class Pixel>
void ExpectOutput(const TestFrame<Pixel>& f, const std::vector<Pixel>& expected) {
  int mismatches = 0;
  for (int32_t y = 0; y < f.height; ++y)
    for (int32_t x = 0; x < f.width; ++x) {
      const size_t i = static_cast<size_t>(y) * f.stride + x;
      if (!(f.output[i] == expected[i]) && ++mismatches <= 8)
        ADD_FAILURE() << "at (" << x << "," << y << "): " << f.output[i] << " expected "
                      << expected[i];
    }
}

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
    std::vector<PF_Pixel16> expected = f.input;
    for (size_t k = 0; k < c.kept.size(); ++k)
      expected[f.stride + 1 + k] = Red<PF_Pixel16>(c.kept[k]);
    ExpectOutput(f, expected);
  }
}

TEST(JunctionRampWrite, HalfLengthSharesAt8Bits) {
  TestFrame<PF_Pixel8> f = RampRow(black8, red8);
  auto ctx = f.ContextAt(1, 1);
  WriteRamp(ctx, 5, ctx.sourceIndex, ctx.destinationIndex, -f.stride, 1, 1, true);
  std::vector<PF_Pixel8> expected = f.input;
  expected[f.stride + 1] = Red<PF_Pixel8>(153);  // 255 * 0.6
  expected[f.stride + 2] = Red<PF_Pixel8>(204);  // 255 * 0.8
  expected[f.stride + 3] = Red<PF_Pixel8>(248);  // 255 * 0.975
  ExpectOutput(f, expected);
}

TEST(JunctionRampWrite, FullSpanFollowsLineWeight) {
  // Span 4 * weightFactor: "Line Weight" 1 covers all 4 pixels with partner
  // shares 7/16, 5/16, 3/16, 1/16; "Line Weight" 0 covers 2 with 3/8, 1/8.
  {
    TestFrame<PF_Pixel16> f = RampRow(black16, red16);
    auto ctx = f.ContextAt(1, 1, 1.0, 1.0);
    WriteRamp(ctx, 4, ctx.sourceIndex, ctx.destinationIndex, -f.stride, 1, 1, false);
    std::vector<PF_Pixel16> expected = f.input;
    const uint32_t kept[] = {18432, 22528, 26624, 30720};
    for (int k = 0; k < 4; ++k) expected[f.stride + 1 + k] = Red<PF_Pixel16>(kept[k]);
    ExpectOutput(f, expected);
  }
  {
    TestFrame<PF_Pixel16> f = RampRow(black16, red16);
    auto ctx = f.ContextAt(1, 1, 1.0, 0.0);
    WriteRamp(ctx, 4, ctx.sourceIndex, ctx.destinationIndex, -f.stride, 1, 1, false);
    std::vector<PF_Pixel16> expected = f.input;
    expected[f.stride + 1] = Red<PF_Pixel16>(20480);
    expected[f.stride + 2] = Red<PF_Pixel16>(28672);
    ExpectOutput(f, expected);
  }
}

TEST(JunctionRampWrite, WalksBackwardsWithItsOwnDestinationStep) {
  // Ramp up column 3 from row 4, partnered with the column to its left.
  TestFrame<PF_Pixel16> f(5, 6, black16, 1);
  f.Fill(3, 0, 4, 6, red16);
  auto ctx = f.ContextAt(3, 4);
  WriteRamp(ctx, 4, ctx.sourceIndex, ctx.destinationIndex, -1, -f.stride, -f.stride, true);
  std::vector<PF_Pixel16> expected = f.input;
  expected[4 * f.stride + 3] = Red<PF_Pixel16>(20480);
  expected[3 * f.stride + 3] = Red<PF_Pixel16>(28672);
  ExpectOutput(f, expected);
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
  EXPECT_EQ(buffer.slots[1][0], Red<PF_Pixel16>(8192));
  EXPECT_EQ(buffer.slots[1][1], Red<PF_Pixel16>(24576));
  EXPECT_EQ(buffer.slots[1][2], sentinel);
  EXPECT_EQ(buffer.slots[0][0], sentinel);

  // Length 1: side share 0.25.
  BufferRamp(buffer, 0, ctx, 1, ctx.sourceIndex, -f.stride, 1);
  EXPECT_TRUE(buffer.buffered[0]);
  EXPECT_EQ(buffer.slots[0][0], Red<PF_Pixel16>(24576));
  EXPECT_EQ(buffer.slots[0][1], sentinel);

  // Staging never touches the destination.
  ExpectOutput(f, f.input);
}

TEST(JunctionRampBuffer, EightBitShares) {
  TestFrame<PF_Pixel8> f = RampRow(black8, red8);
  auto ctx = f.ContextAt(1, 1);
  RampBuffer<PF_Pixel8> buffer;
  BufferRamp(buffer, 0, ctx, 4, ctx.sourceIndex, -f.stride, 1);
  EXPECT_EQ(buffer.slots[0][0], Red<PF_Pixel8>(63));   // 255 * 0.25
  EXPECT_EQ(buffer.slots[0][1], Red<PF_Pixel8>(191));  // 255 * 0.75
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

// Junction steps: the ramps they share, T-junctions (line
// ends, thin-line steps, spurs) and cross-junctions (lone pixels, crossing
// diagonals), in the open and at the image's border rows and columns.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>
#include <vector>

#include "engine/junction/cross_junction.h"
#include "engine/junction/t_junction.h"
#include "test_frame.h"

namespace corvalin::test {
namespace {

// A red row y = 1 from x = 1 on, its partner row 0 black: a ramp along row 1
// shows the share each pixel keeps as its red value.
template <class Pixel>
TestFrame<Pixel> RampRow(const Pixel& black, const Pixel& red) {
  TestFrame<Pixel> f(9, 3, black, 2);
  f.Fill(1, 1, 9, 2, red);
  return f;
}

TEST(JunctionRamp, WriteRampSharesFollowLengthAndLineWeight) {
  struct Case {
    int32_t length;
    bool halfLength;
    double lineWeight;
    std::vector<uint16_t> kept;  // red kept from x = 1 on
  };
  // clang-format off
  const Case cases[] = {
      // Half length keeps 1 - c(k): 0.6, 0.8, 0.975 | 0.625, 0.875 | 0.875 | nothing.
      {5, true, 0, {19660, 26214, 31948}},
      {4, true, 0, {20480, 28672}},
      {1, true, 0, {28672}},
      {0, true, 0, {}},
      // Span 4 * weightFactor: partner shares 7/16, 5/16, 3/16, 1/16 at "Line
      // Weight" 1, 3/8, 1/8 at 0; at 0.3 the span 3.25 covers ceil(3.25) = 4.
      {4, false, 1.0, {18432, 22528, 26624, 30720}},
      {4, false, 0.0, {20480, 28672}},
      {5, false, 0.3, {18904, 23945, 28987, 32610}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.length << (c.halfLength ? " half" : " full") << " " << c.lineWeight);
    TestFrame<PF_Pixel16> f = RampRow(black16, red16);
    auto ctx = f.ContextAt(1, 1, 1.0, c.lineWeight);
    WriteRamp(ctx, c.length, ctx.sourceIndex, ctx.destinationIndex, -f.stride, 1, 1, c.halfLength);
    Expected e(f);
    for (size_t k = 0; k < c.kept.size(); ++k) e.Set(1 + int32_t(k), 1, Mix16(c.kept[k]));
    e.Check();
  }
  // 8 bits: 255 * 0.6, 255 * 0.8, 255 * 0.975, truncated.
  TestFrame<PF_Pixel8> f = RampRow(black8, red8);
  auto ctx = f.ContextAt(1, 1);
  WriteRamp(ctx, 5, ctx.sourceIndex, ctx.destinationIndex, -f.stride, 1, 1, true);
  Expected(f).Set(1, 1, Red8(153)).Set(2, 1, Red8(204)).Set(3, 1, Red8(248)).Check();
}

TEST(JunctionRamp, BufferRampStagesFullHeightSharesAndMarksTheSlot) {
  TestFrame<PF_Pixel16> f = RampRow(black16, red16);
  auto ctx = f.ContextAt(1, 1);
  const PF_Pixel16 sentinel{1, 2, 3, 4};
  RampBuffer<PF_Pixel16> buffer;
  for (auto& slot : buffer.slots)
    for (auto& entry : slot) entry = sentinel;
  // Length 4: side shares 0.75 and 0.25; length 1: 0.25.
  BufferRamp(buffer, 1, ctx, 4, ctx.sourceIndex, -f.stride, 1);
  EXPECT_FALSE(buffer.buffered[0]);
  EXPECT_TRUE(buffer.buffered[1]);
  EXPECT_EQ(buffer.slots[1][0], Mix16(8192));
  EXPECT_EQ(buffer.slots[1][1], Mix16(24576));
  EXPECT_EQ(buffer.slots[1][2], sentinel);
  EXPECT_EQ(buffer.slots[0][0], sentinel);
  BufferRamp(buffer, 0, ctx, 1, ctx.sourceIndex, -f.stride, 1);
  EXPECT_TRUE(buffer.buffered[0]);
  EXPECT_EQ(buffer.slots[0][0], Mix16(24576));
  EXPECT_EQ(buffer.slots[0][1], sentinel);
  Expected(f).Check();  // staging never touches the destination

  TestFrame<PF_Pixel8> g = RampRow(black8, red8);
  auto ctx8 = g.ContextAt(1, 1);
  RampBuffer<PF_Pixel8> buffer8;
  BufferRamp(buffer8, 0, ctx8, 4, ctx8.sourceIndex, -g.stride, 1);
  EXPECT_EQ(buffer8.slots[0][0], Red8(63));   // 255 * 0.25
  EXPECT_EQ(buffer8.slots[0][1], Red8(191));  // 255 * 0.75
}

// One step on one pixel of a drawn frame; the output must equal the input
// except at the pixels written.
template <class Pixel>
struct StepCase {
  const char* name;
  int32_t width, height, padding;
  Pixel background;
  std::function<void(TestFrame<Pixel>&)> draw;
  void (*step)(const EdgeContext<Pixel>&);
  int32_t x, y;
  std::vector<std::tuple<int32_t, int32_t, Pixel>> writes;
  double lineWeight = 0.0;
};

template <class Pixel>
void RunSteps(const std::vector<StepCase<Pixel>>& cases) {
  for (const StepCase<Pixel>& c : cases) {
    SCOPED_TRACE(c.name);
    TestFrame<Pixel> f(c.width, c.height, c.background, c.padding);
    c.draw(f);
    c.step(f.ContextAt(c.x, c.y, 1.0, c.lineWeight));
    Expected<Pixel> e(f);
    for (const auto& [x, y, p] : c.writes) e.Set(x, y, p);
    e.Check();
  }
}

using P16 = PF_Pixel16;
using Writes = std::vector<std::tuple<int32_t, int32_t, P16>>;
const auto TRight = &SmoothTJunctionRight<P16, OutputWriter<P16>, PlainSteps>;
const auto TUp = &SmoothTJunctionUp<P16, OutputWriter<P16>, PlainSteps>;
const auto TLeft = &SmoothTJunctionLeft<P16, OutputWriter<P16>, PlainSteps>;
const auto TDown = &SmoothTJunctionDown<P16, OutputWriter<P16>, PlainSteps>;
const auto Cross = &SmoothCrossJunction<P16, OutputWriter<P16>, PlainSteps>;

TEST(JunctionEightBit, HalfBlendsTruncateTo255Parts) {
  using P = PF_Pixel8;
  const auto right = &SmoothTJunctionRight<P, OutputWriter<P>, PlainSteps>;
  const auto cross = &SmoothCrossJunction<P, OutputWriter<P>, PlainSteps>;
  // clang-format off
  RunSteps<P>({
      // Both sides staged (shares 0.25, 0.75 of the background) and averaged.
      {"free end of a thin line", 10, 5, 3, black8, [](auto& f) { f.Fill(2, 2, 6, 3, red8); },
       right, 5, 2, {{5, 2, Red8(63)}, {4, 2, Red8(191)}}},
      // The lower side line changes after 2: slot 0 holds one entry (0.5),
      // slot 1 two: P = (127 + 63) / 2; its neighbour (255 * 127 + 191 * 128) / 255.
      {"merge of unequal sides", 10, 5, 0, black8,
       [](auto& f) { f.Fill(2, 2, 6, 3, red8); f.in(3, 3) = P{255, 0, 0, 255}; }, right, 5, 2,
       {{5, 2, Red8(95)}, {4, 2, Red8(222)}}},
      {"lone pixel", 7, 7, 0, black8, [](auto& f) { f.in(3, 3) = red8; }, cross, 3, 3,
       {{3, 3, Red8(127)}}},
      // The upper-left diagonal is transparent: alpha 127, P's colour; the
      // other three give (255, 99, 50, 3); the truncated mean (223, 124, 62, 4).
      {"mixed channels and a transparent diagonal", 5, 5, 0, black8,
       [](auto& f) { f.in(2, 2) = P{255, 200, 101, 7}; f.in(1, 1) = P{0, 50, 50, 50}; }, cross,
       2, 2, {{2, 2, P{223, 124, 62, 4}}}},
  });
  // clang-format on
}

TEST(JunctionT, LineEndsStepsSpursAndTapers) {
  // Spur out of bar x = 2, y = 3..11, whose green 100 * y shows which bar
  // pixel lent its colour to the inner corners.
  auto barPixel = [](uint16_t red, uint16_t green) { return P16{M16, red, green, 0}; };
  Writes long128;
  // A 200-pixel line: staged shares (127 - 2k) / 128 over 64 pixels.
  for (int32_t k = 0; k < 64; ++k)
    long128.push_back({200 - k, 2, Mix16(static_cast<uint16_t>(256 * (1 + 2 * k)))});
  // clang-format off
  RunSteps<P16>({
      {"free end of a thin line", 10, 5, 1, black16, [](auto& f) { f.Fill(2, 2, 6, 3, red16); },
       TRight, 5, 2, {{5, 2, Mix16(8192)}, {4, 2, Mix16(24576)}}},
      // Row 2 x = 1..4, then row 3 from x = 5: the side line below takes
      // 0.375 and 0.125 of the run; the run half its staged upper blend.
      {"thin-line step one row lower", 12, 6, 0, black16,
       [](auto& f) { f.Fill(1, 2, 5, 3, red16); f.Fill(5, 3, 11, 4, red16); }, TRight, 4, 2,
       {{4, 3, Mix16(12288)}, {3, 3, Mix16(4096)}, {4, 2, Mix16(20480)}, {3, 2, Mix16(28672)}}},
      {"thin sides stage both sides", 10, 7, 2, black16,
       [](auto& f) {
         f.Fill(0, 1, 10, 2, blue16); f.Fill(0, 5, 10, 6, blue16);
         f.Fill(1, 3, 5, 4, red16); f.in(5, 4) = red16;
       },
       TRight, 4, 3, {{4, 3, Mix16(8192)}, {3, 3, Mix16(24576)}}},
      {"one-pixel spur out of a vertical bar", 6, 14, 0, black16,
       [](auto& f) {
         for (int32_t y = 3; y < 12; ++y) f.in(2, y) = P16{M16, M16, uint16_t(100 * y), 0};
         f.in(3, 7) = red16;
       },
       TRight, 3, 7,
       {{3, 7, Mix16(24576)}, {3, 8, barPixel(12288, 337)}, {3, 9, barPixel(4096, 125)},
        {3, 6, barPixel(12288, 187)}, {3, 5, barPixel(4096, 50)}}},
      // Blue above and beyond the end, black below: the run fades into blue
      // over half the shorter length.
      {"sides of different colour taper", 10, 6, 0, black16,
       [](auto& f) {
         f.Fill(0, 0, 10, 3, blue16); f.Fill(1, 3, 5, 4, red16); f.Fill(5, 3, 10, 4, blue16);
         f.in(2, 4) = blue16;
       },
       TRight, 4, 3, {{4, 3, Mix16(24576, 8192)}}},
      {"a run longer than 128 is held to 128", 210, 5, 1, black16,
       [](auto& f) { f.Fill(1, 2, 201, 3, red16); }, TRight, 200, 2, long128},
      // Up and down spurs fill only the corner right of P.
      {"spur up", 14, 6, 0, black16,
       [](auto& f) { f.Fill(3, 3, 12, 4, red16); f.in(7, 2) = red16; }, TUp, 7, 2,
       {{7, 2, Mix16(24576)}, {8, 2, Mix16(12288)}, {9, 2, Mix16(4096)}}},
      {"spur down", 14, 6, 1, black16,
       [](auto& f) { f.Fill(3, 2, 12, 3, red16); f.in(7, 3) = red16; }, TDown, 7, 3,
       {{7, 3, Mix16(24576)}, {8, 3, Mix16(12288)}, {9, 3, Mix16(4096)}}},
      // Run x = 4 below P = (4, 3), blue left, black right; B = (4, 2) blue.
      // The taper needs the pixel right of B to match B.
      {"up: no taper", 8, 10, 0, black16,
       [](auto& f) {
         f.Fill(0, 0, 5, 3, blue16); f.Fill(0, 3, 4, 10, blue16); f.Fill(4, 3, 5, 7, red16);
       },
       TUp, 4, 3, {}},
      {"up: taper", 8, 10, 0, black16,
       [](auto& f) {
         f.Fill(0, 0, 5, 3, blue16); f.Fill(0, 3, 4, 10, blue16); f.Fill(4, 3, 5, 7, red16);
         f.in(5, 2) = blue16;
       },
       TUp, 4, 3, {{4, 3, Mix16(20480, 12288)}, {4, 4, Mix16(28672, 4096)}}},
      {"left: free end", 10, 5, 0, black16, [](auto& f) { f.Fill(4, 2, 8, 3, red16); }, TLeft, 4,
       2, {{4, 2, Mix16(8192)}, {5, 2, Mix16(24576)}}},
      {"left: spur, no corner ramps", 7, 14, 0, black16,
       [](auto& f) { f.Fill(4, 3, 5, 12, red16); f.in(3, 7) = red16; }, TLeft, 3, 7,
       {{3, 7, Mix16(24576)}}},
      // Blue above and left of the run y = 3, x = 5..8; black below. The
      // taper needs both diagonals beyond to match B.
      {"left: no taper", 10, 6, 0, black16,
       [](auto& f) {
         f.Fill(0, 0, 10, 3, blue16); f.Fill(0, 3, 5, 4, blue16); f.Fill(5, 3, 9, 4, red16);
       },
       TLeft, 5, 3, {}},
      {"left: taper", 10, 6, 0, black16,
       [](auto& f) {
         f.Fill(0, 0, 10, 3, blue16); f.Fill(0, 3, 5, 4, blue16); f.Fill(5, 3, 9, 4, red16);
         f.in(4, 4) = blue16;
       },
       TLeft, 5, 3, {{5, 3, Mix16(20480, 12288)}, {6, 3, Mix16(28672, 4096)}}},
  });
  // clang-format on
}

TEST(JunctionCross, LonePixelsAndDiagonalLines) {
  auto diagonal = [](auto& f) {
    for (int32_t k = 0; k < 9; ++k) f.in(k, k) = red16;
  };
  // P = (3, 3) with only its lower-right diagonal alike; the row below goes
  // on to x = 7, so the right ramp's walk ends after 4 positions at a change
  // in its partner line. The down ramp (partner on the right) stops at once.
  auto fourPositions = [](auto& f) {
    f.in(3, 3) = red16;
    f.Fill(4, 4, 8, 5, red16);
  };
  // clang-format off
  RunSteps<P16>({
      {"lone pixel", 7, 7, 1, black16, [](auto& f) { f.in(3, 3) = red16; }, Cross, 3, 3,
       {{3, 3, Mix16(16384)}}},
      {"two crossing diagonals", 9, 9, 0, black16,
       [&](auto& f) {
         diagonal(f);
         for (int32_t k = 0; k < 9; ++k) f.in(8 - k, k) = red16;
       },
       Cross, 4, 4, {}},
      // Each walk stops at once on the partner line: one pixel over span 0.5.
      {"one diagonal line", 9, 9, 0, black16, diagonal, Cross, 4, 4,
       {{4, 4, Mix16(24576)}, {3, 4, Mix16(4096)}, {4, 3, Mix16(4096)}, {5, 4, Mix16(4096)},
        {4, 5, Mix16(4096)}}},
      {"three alike diagonals ramp left and down", 9, 9, 2, black16,
       [](auto& f) { f.in(4, 4) = f.in(3, 3) = f.in(5, 3) = f.in(5, 5) = red16; }, Cross, 4, 4,
       {{4, 4, Mix16(28672)}, {3, 4, Mix16(4096)}, {4, 5, Mix16(4096)}}},
      // Span 4: shares 7/16, 5/16, 3/16, 1/16; the down ramp span 1: 1/4.
      {"four positions, Line Weight 1", 12, 8, 1, black16, fourPositions, Cross, 3, 3,
       {{3, 3, Mix16(20480)}, {4, 3, Mix16(14336)}, {5, 3, Mix16(10240)}, {6, 3, Mix16(6144)},
        {7, 3, Mix16(2048)}, {3, 4, Mix16(8192)}},
       1.0},
      // Span 2: shares 3/8, 1/8; the down ramp span 0.5.
      {"four positions, Line Weight 0", 12, 8, 1, black16, fourPositions, Cross, 3, 3,
       {{3, 3, Mix16(20480)}, {4, 3, Mix16(12288)}, {5, 3, Mix16(4096)}, {3, 4, Mix16(4096)}}},
      {"own row changes after 4: half span at Line Weight 1", 12, 8, 1, black16,
       [&](auto& f) { fourPositions(f); f.in(8, 3) = red16; }, Cross, 3, 3,
       {{3, 3, Mix16(20480)}, {4, 3, Mix16(12288)}, {5, 3, Mix16(4096)}, {3, 4, Mix16(8192)}},
       1.0},
  });
  // clang-format on
}

TEST(JunctionBounds, RampsStopAtRowsAndColumnsOneAndLast) {
  // clang-format off
  std::vector<StepCase<P16>> cases;
  // A thin line steps down at P = (4, y): the side below gets its ramp only
  // if it is two pixels thick (a blue row under it makes it one), unless P is
  // on row 1 or H - 2, where the thickness is not tested.
  for (const auto& [y, height, ramped] : {std::tuple{1, 6, true}, {2, 7, false}, {3, 5, true}}) {
    Writes writes{{4, y, Mix16(20480)}, {3, y, Mix16(28672)}};
    if (ramped) writes.insert(writes.end(), {{4, y + 1, Mix16(12288)}, {3, y + 1, Mix16(4096)}});
    cases.push_back({"step at a border row", 12, height, 0, black16,
                     [y = y](auto& f) {
                       f.Fill(1, y, 5, y + 1, red16); f.Fill(5, y + 1, 11, y + 2, red16);
                       if (y + 2 < f.height) f.Fill(0, y + 2, 12, y + 3, blue16);
                     },
                     TRight, 4, y, writes});
  }
  // Spur corners: right spurs on rows 1 and H - 2, up spurs at columns 1 and
  // S - 2 have none; a down spur one column in from S - 2 has room for one.
  for (int32_t y : {1, 3})
    cases.push_back({"right spur at a border row", 6, 5, 0, black16,
                     [y](auto& f) { f.Fill(2, 0, 3, 5, red16); f.in(3, y) = red16; }, TRight, 3,
                     y, {{3, y, Mix16(24576)}}});
  for (int32_t x : {1, 6})
    cases.push_back({"up spur at a border column", 8, 6, 0, black16,
                     [x](auto& f) { f.Fill(0, 3, 8, 4, red16); f.in(x, 2) = red16; }, TUp, x, 2,
                     {{x, 2, Mix16(24576)}}});
  cases.push_back({"down spur next to S - 2", 8, 6, 0, black16,
                   [](auto& f) { f.Fill(0, 2, 8, 3, red16); f.in(5, 3) = red16; }, TDown, 5, 3,
                   {{5, 3, Mix16(24576)}, {6, 3, Mix16(4096)}}});
  // A diagonal through P: cross ramps only along the axes whose coordinate
  // lies strictly inside 1 .. S - 2 (or H - 2).
  for (const auto& [x, y] : {std::pair{1, 4}, {7, 4}, {4, 1}, {4, 7}}) {
    Writes writes{{x, y, Mix16(24576)}};
    if (x != 1 && x != 7) writes.insert(writes.end(), {{x - 1, y, Mix16(4096)},
                                               {x + 1, y, Mix16(4096)}});
    if (y != 1 && y != 7) writes.insert(writes.end(), {{x, y - 1, Mix16(4096)},
                                               {x, y + 1, Mix16(4096)}});
    cases.push_back({"diagonal through a border pixel", 9, 9, 0, black16,
                     [x = x, y = y](auto& f) {
                       for (int32_t k = -9; k <= 9; ++k)
                         if (std::min(x, y) + k >= 0 && std::max(x, y) + k < 9)
                           f.in(x + k, y + k) = red16;
                     },
                     Cross, x, y, writes});
  }
  // clang-format on
  RunSteps(cases);
}

}  // namespace
}  // namespace corvalin::test

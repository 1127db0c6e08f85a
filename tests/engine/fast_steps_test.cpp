// Steps that the fast engine makes in its own way: the two side walks of a
// T-junction's run made at once, the row masks of the scan, and a
// corner that reads only two of its arms. Each is held to values worked out
// by hand, with the fast steps and, where there is one, the plain step too.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>
#include <type_traits>
#include <vector>

#include "test_frame.h"

#if CORVALIN_FAST_ENGINE

namespace corvalin::test {
namespace {

using fast::FastSteps;
using fast::VectorPath;

// body(path) for each vector path, as a constant, where this processor runs
// it; a path it does not run is reported, not failed.
template <class Body>
void ForEachVectorPath(Body body) {
  body(std::integral_constant<VectorPath, VectorPath::sse2>{});
  if (fast::VectorPathRuns(VectorPath::avx2))
    body(std::integral_constant<VectorPath, VectorPath::avx2>{});
  else
    std::printf("This processor has no AVX2: only the baseline vector path was tested.\n");
}

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

// Rows of pixels that are identical, alike within the threshold or unlike,
// in stretches long and short, of every length across a word's end, against
// the pixel model bit by bit.
TYPED_TEST(FastStepsTest, RowMasksHoldThePixelModelsRelations) {
  using Pixel = TypeParam;
  std::mt19937 random(7u);
  const Pixel palette[] = {Paper<Pixel>(), Ink<Pixel>(), InkOverPaper<Pixel>(0.5f),
                           Pixel{0, 0, 0, 0}};
  for (const uint32_t threshold : {0u, 1u, 3u, 600u, 0xFFFFFFFFu}) {
    for (int32_t count = 0; count <= 200; count += (count < 70 ? 1 : 13)) {
      // Three rows one stride apart: above, the row, below.
      const int32_t stride = count + 1;
      std::vector<Pixel> rows(static_cast<size_t>(stride) * 3);
      const uint32_t changeOneIn = 1u + static_cast<uint32_t>(random() % 60u);
      Pixel pixel = palette[0];
      for (Pixel& p : rows) {
        if (random() % changeOneIn == 0) {
          pixel = palette[random() % 4];
          // A small change to one channel now and then: alike under most
          // thresholds, never identical.
          if (random() % 5 == 0) pixel.green = static_cast<decltype(pixel.green)>(pixel.green ^ 1);
        }
        p = pixel;
      }
      const Pixel* row = rows.data() + stride;
      auto at = [row](int32_t offset) -> const Pixel& { return row[offset]; };
      for (const int32_t rightCount : {count, std::max(count - 1, 0)}) {
        ForEachVectorPath([&](auto path) {
          SCOPED_TRACE(fast::VectorPathName(path));
          std::vector<uint64_t> up(4, ~uint64_t{0}), right(4, ~uint64_t{0}), same(4, ~uint64_t{0}),
              down(4, ~uint64_t{0});
          fast::ClassifyRow<path>(
              row, stride, count, rightCount, threshold,
              fast::RowMasks{up.data(), right.data(), same.data(), down.data()});
          auto unlikeItsRight = [&](int32_t i) {
            return !(i < rightCount && SamePixel(at(i), at(i + 1)));
          };
          for (int32_t i = 0; i < fast::RelationWords(count) * 64; ++i) {
            auto bitOf = [i](const std::vector<uint64_t>& mask) {
              return ((mask[static_cast<size_t>(i / 64)] >> (i % 64)) & 1u) != 0;
            };
            const bool hasRight = i < rightCount;
            ASSERT_EQ(bitOf(right), hasRight && PixelsDiffer(at(i), at(i + 1), threshold))
                << count << " " << i;
            ASSERT_EQ(bitOf(same), hasRight && SamePixel(at(i), at(i + 1))) << count << " " << i;
            const bool downDiffers = i < count && PixelsDiffer(at(i), at(i + stride), threshold);
            const bool upDiffers = i < count && PixelsDiffer(at(i), at(i - stride), threshold);
            // Exact where a scan reads them; elsewhere exact or 0.
            if (i < count && (unlikeItsRight(i) || (i > 0 && unlikeItsRight(i - 1)))) {
              ASSERT_EQ(bitOf(down), downDiffers) << count << " " << i;
              ASSERT_EQ(bitOf(up), upDiffers) << count << " " << i;
            } else {
              ASSERT_TRUE(!bitOf(down) || downDiffers) << count << " " << i;
              ASSERT_TRUE(!bitOf(up) || upDiffers) << count << " " << i;
            }
          }
        });
      }
    }
  }
}

// A hand-worked row: paper, two ink, paper, a paper one green step off, and
// paper twice more, over a row below of paper with ink under pixel 1 and
// under a row above of ink.
TYPED_TEST(FastStepsTest, RowMasksOfAWorkedRow) {
  using Pixel = TypeParam;
  std::vector<Pixel> rows(21, Paper<Pixel>());
  std::fill(rows.begin(), rows.begin() + 7, Ink<Pixel>());
  Pixel* row = rows.data() + 7;
  row[1] = row[2] = Ink<Pixel>();
  row[4].green = static_cast<decltype(row[4].green)>(row[4].green + 1);
  row[7 + 1] = Ink<Pixel>();
  ForEachVectorPath([&](auto path) {
    SCOPED_TRACE(fast::VectorPathName(path));
    uint64_t up = 0, right = 0, same = 0, down = 0;
    const fast::RowMasks masks{&up, &right, &same, &down};
    fast::ClassifyRow<path>(row, 7, 6, 6, 0, masks);
    EXPECT_EQ(right, 0b011101u);  // 0|1, 2|3, 3|4 and 4|5 differ at threshold 0
    EXPECT_EQ(same, 0b100010u);
    EXPECT_EQ(down, 0b010100u);
    EXPECT_EQ(up, 0b111001u);
    fast::ClassifyRow<path>(row, 7, 6, 6, 1, masks);
    EXPECT_EQ(right, 0b000101u);  // a step of 1 is alike at threshold 1
    EXPECT_EQ(down, 0b000100u);
    EXPECT_EQ(up, 0b111001u);
  });
}

// Each way of scanning a row, and the choice between them, against the plain
// scan over the whole adjusted rectangle: painted shapes and run noise, with
// row padding, at several thresholds.
TYPED_TEST(FastStepsTest, EachRowScanGivesThePlainScansBytes) {
  using Pixel = TypeParam;
  test_images::Random random(11);
  const std::vector<Pixel> palette = {Paper<Pixel>(), Ink<Pixel>(), InkOverPaper<Pixel>(0.25f),
                                      Pixel{0, 0, 0, 0}};
  for (int frame = 0; frame < 8; ++frame) {
    TestFrame<Pixel> f(150, 40, Paper<Pixel>(), 3);
    if (frame % 2 == 0)
      PaintTestImage(f, static_cast<uint32_t>(frame));
    else
      test_images::Canvas<Pixel>(f.input.data(), f.stride, f.height, f.stride)
          .RunNoise(random, palette);
    const double range = std::array<double, 4>{0.0, 1.0, 5.0, 30.0}[static_cast<size_t>(frame % 4)];
    const ProcessRect rect{1, 1, f.stride - 1, f.height - 1};
    auto plain = f.template ContextAt<PlainSteps>(1, 1, range);
    ScanRows(plain, rect, rect.top, rect.bottom);
    const std::vector<Pixel> expected = f.output;
    auto check = [&](auto scan, const char* name) {
      auto ctx = f.template ContextAt<FastSteps>(1, 1, range);
      scan(ctx);
      ASSERT_EQ(f.output, expected) << name << ", frame " << frame;
    };
    using fast::RowScan;
    ForEachVectorPath([&](auto path) {
      SCOPED_TRACE(fast::VectorPathName(path));
      check([&](auto& ctx) { fast::ScanRowsWith<RowScan::bySearch, path>(ctx, rect, 1, 39); },
            "by search");
      check([&](auto& ctx) { fast::ScanRowsWith<RowScan::byMasks, path>(ctx, rect, 1, 39); },
            "by masks");
      check([&](auto& ctx) { fast::ScanRows<path>(ctx, rect, 1, 39); }, "by density");
      // Bands of rows scanned apart from each other write the same as one scan.
      check(
          [&](auto& ctx) {
            for (int32_t y = 1; y < 39; y += 7)
              fast::ScanRowsWith<RowScan::byMasks, path>(ctx, rect, y, std::min(y + 7, 39));
          },
          "by masks in bands");
    });
  }
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

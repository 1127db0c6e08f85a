#include "engine/scan/scan_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "engine/junction/cross_junction.h"
#include "engine/junction/t_junction.h"
#include "test_frame.h"

namespace corvalin::test {
namespace {

TEST(ScanSettings, ThresholdFromSmootherRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::pair<double, uint32_t> eight[] = {
      {1.0, 10u},
      {0.5, 5u},
      {10.0, 102u},
      {100.0, 1020u},
      {0.0, 0u},
      // Out of range values keep the integer arithmetic: the low 32 bits of -1020.
      {-1.0, 0xFFFFFC04u / 100u},
      {nan, 0u},
      {1e300, 0xFFFFFFFFu / 100u}};
  for (const auto& [range, threshold] : eight)
    EXPECT_EQ(EdgeThreshold<PF_Pixel8>(range), threshold);
  const std::pair<double, uint32_t> sixteen[] = {
      {1.0, 1310u}, {0.5, 655u}, {10.0, 13107u}, {100.0, 131072u}};
  for (const auto& [range, threshold] : sixteen)
    EXPECT_EQ(EdgeThreshold<PF_Pixel16>(range), threshold);
}

TEST(ScanSettings, WeightFactorFromLineWeight) {
  EXPECT_EQ(LineWeightFactor(0.0), 0.5f);
  EXPECT_EQ(LineWeightFactor(1.0), 1.0f);
  EXPECT_EQ(LineWeightFactor(0.3), 0.64999998f);
  EXPECT_EQ(LineWeightFactor(0.3), static_cast<float>(0.3 / 2.0 + 0.5));
  // Held to 0..1 so that ramps never reach past their arms.
  EXPECT_EQ(LineWeightFactor(5.0), 1.0f);
  EXPECT_EQ(LineWeightFactor(-2.0), 0.5f);
  EXPECT_EQ(LineWeightFactor(std::numeric_limits<double>::quiet_NaN()), 0.5f);
}

TEST(ProcessRectAdjustment, PullsRectangleOffTheBorder) {
  auto adjusted = [](ProcessRect r) {
    AdjustProcessRect(r, 10, 8);
    return std::vector<int32_t>{r.left, r.top, r.right, r.bottom};
  };
  EXPECT_EQ(adjusted({0, 0, 10, 8}), (std::vector<int32_t>{1, 1, 9, 7}));
  EXPECT_EQ(adjusted({3, 2, 6, 5}), (std::vector<int32_t>{3, 2, 6, 5}));
  EXPECT_EQ(adjusted({0, 0, 1, 1}), (std::vector<int32_t>{1, 1, 1, 1}));  // empty image
}

template <class Pixel>
class ScanFrameTest : public ::testing::Test {};
TYPED_TEST_SUITE(ScanFrameTest, Depths);

template <class Pixel>
Pixel Opaque(uint32_t r, uint32_t g, uint32_t b) {
  return Colour<Pixel>(ChannelMax<Pixel>(), r, g, b);
}

// Output equals input over the image, except the listed marker positions,
// which are opaque red (Ink); padding stays as the output was.
template <class Pixel>
void ExpectInputPlusMarkers(const TestFrame<Pixel>& f, std::vector<std::pair<int, int>> markers) {
  for (int32_t y = 0; y < f.height; ++y)
    for (int32_t x = 0; x < f.stride; ++x) {
      bool isMarker = false;
      for (auto [mx, my] : markers) isMarker |= (mx == x && my == y);
      const Pixel expected = isMarker      ? Ink<Pixel>()
                             : x < f.width ? f.input[test_images::Index(x, y, f.stride)]
                                           : Pixel{};
      ASSERT_EQ(f.out(x, y), expected) << "at " << x << "," << y;
    }
}

TYPED_TEST(ScanFrameTest, FlatImageComesOutUnchangedButForMarkers) {
  using Pixel = TypeParam;
  for (int padding : {0, 3}) {
    TestFrame<Pixel> f(9, 7, Opaque<Pixel>(40, 80, 120), padding);
    EXPECT_EQ(f.Render(), PF_Err_NONE);
    // Without padding the right edge is the last column of the row and is
    // pulled in; padding pixels are transparent, so the content ends at 9.
    const int right = padding == 0 ? 8 : 9;
    ExpectInputPlusMarkers(f, {{1, 1}, {1, 6}, {right, 1}, {right, 6}});
  }
}

TYPED_TEST(ScanFrameTest, TransparentImagePutsAllMarkersOnPixelOneOne) {
  using Pixel = TypeParam;
  TestFrame<Pixel> f(6, 5, Pixel{0, 7, 7, 7});
  f.Render();
  ExpectInputPlusMarkers(f, {{1, 1}});
}

TYPED_TEST(ScanFrameTest, FullRangeMakesEveryNeighbourAlike) {
  using Pixel = TypeParam;
  TestFrame<Pixel> f(12, 10, Opaque<Pixel>(0, 0, 0));
  test_images::Random random(7);
  f.canvas().ColourNoise(random);
  RenderSettings c = DefaultRenderSettings();
  c.smootherRange = 100.0;
  f.Render(c);
  ExpectInputPlusMarkers(f, {{1, 1}, {1, 9}, {11, 1}, {11, 9}});
}

TYPED_TEST(ScanFrameTest, KeyedPixelsReachTheOutputTransparent) {
  using Pixel = TypeParam;
  const uint32_t M = ChannelMax<Pixel>();
  // 16-bit white converts to the 8-bit key; 8-bit white is the key as it is.
  TestFrame<Pixel> f(8, 8, Opaque<Pixel>(M, M, M));
  f.Fill(2, 2, 6, 6, Opaque<Pixel>(0, 0, M));
  RenderSettings c = DefaultRenderSettings();
  c.useKey = true;
  f.Render(c);
  EXPECT_EQ(f.out(0, 0), Pixel{});
  EXPECT_EQ(f.out(7, 7), Pixel{});
  // The rectangle is the blue square, right and bottom exclusive.
  for (auto [x, y] : {std::pair{2, 2}, {2, 6}, {6, 2}, {6, 6}})
    EXPECT_EQ(f.out(x, y), Ink<Pixel>());
  EXPECT_EQ(f.out(4, 4), Opaque<Pixel>(0, 0, M));
}

TYPED_TEST(ScanFrameTest, RunsTheCopyStepOnceAndReturnsItsErrorAndStillMarks) {
  using Pixel = TypeParam;
  TestFrame<Pixel> f(5, 5, Opaque<Pixel>(1, 2, 3));
  int copies = 0;
  const PF_Err result = ScanFrame(DefaultRenderSettings(), &f.inWorld, &f.outWorld, f.input.data(),
                                  f.output.data(), [&] {
                                    ++copies;
                                    return PF_Err_OUT_OF_MEMORY;
                                  });
  EXPECT_EQ(result, PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(copies, 1);
  EXPECT_EQ(f.out(1, 1), Ink<Pixel>());
  EXPECT_EQ(f.out(0, 0), Pixel{});  // nothing was copied
}

// Images less than two pixels wide or high name marker positions outside the
// output; those are skipped, and nothing is written past the buffer.
TYPED_TEST(ScanFrameTest, TinyImagesKeepMarkersInsideTheBuffer) {
  using Pixel = TypeParam;
  struct Size {
    int w, h;
  };
  for (Size s : {Size{1, 1}, Size{1, 5}, Size{5, 1}, Size{2, 2}, Size{2, 1}, Size{1, 2}}) {
    TestFrame<Pixel> f(s.w, s.h, Opaque<Pixel>(9, 9, 9));
    f.Render();  // the sanitizer build catches any access past the vectors
    for (int32_t y = 0; y < s.h; ++y)
      for (int32_t x = 0; x < s.w; ++x) {
        const Pixel& p = f.out(x, y);
        EXPECT_TRUE(p == Ink<Pixel>() || p == f.in(x, y)) << s.w << "x" << s.h;
      }
    // A 1x1 image: the rectangle becomes left 1, top 1, right 0, bottom 0, so
    // only the marker at (0, 0) lies inside.
    if (s.w == 1 && s.h == 1) {
      EXPECT_EQ(f.out(0, 0), Ink<Pixel>());
    }
  }
}

// Without the markers nothing is written after the scan: a flat frame, a
// transparent one and frames too small to scan come out as their input.
TYPED_TEST(ScanFrameTest, WithoutMarkersUnscannedFramesComeOutAsTheInput) {
  using Pixel = TypeParam;
  RenderSettings settings = DefaultRenderSettings();
  settings.cornerMarkers = false;
  for (int padding : {0, 3}) {
    TestFrame<Pixel> f(9, 7, Opaque<Pixel>(40, 80, 120), padding);
    EXPECT_EQ(f.Render(settings), PF_Err_NONE);
    ExpectInputPlusMarkers(f, {});
    EXPECT_EQ(f.out(1, 1), Opaque<Pixel>(40, 80, 120));
  }
  TestFrame<Pixel> transparent(6, 5, Pixel{0, 7, 7, 7});
  transparent.Render(settings);
  ExpectInputPlusMarkers(transparent, {});
  struct Size {
    int w, h;
  };
  for (Size s : {Size{1, 1}, Size{1, 5}, Size{5, 1}, Size{2, 2}}) {
    SCOPED_TRACE(::testing::Message() << s.w << "x" << s.h);
    TestFrame<Pixel> f(s.w, s.h, Opaque<Pixel>(9, 9, 9));
    f.Render(settings);
    ExpectInputPlusMarkers(f, {});
  }
}

// A line that ends on the rectangle's top left corner: left out, that
// marker's pixel keeps the line end's smoothing, the other three the input,
// and every other pixel is the defined render's.
TYPED_TEST(ScanFrameTest, WithoutMarkersTheCornersKeepTheScansResult) {
  using Pixel = TypeParam;
  const uint32_t M = ChannelMax<Pixel>();
  const Pixel background = Opaque<Pixel>(M, M, M / 4 * 3), ink = Opaque<Pixel>(0, 0, M / 2);
  const std::vector<std::pair<int, int>> corners = {{1, 1}, {1, 9}, {11, 1}, {11, 9}};
  for (Engine engine : BuiltEngines()) {
    SCOPED_TRACE(EngineName(engine));
    TestFrame<Pixel> marked(12, 10, background);
    marked.Fill(1, 1, 2, 6, ink);  // a vertical line from (1, 1) down to (1, 5)
    TestFrame<Pixel> unmarked = marked;
    unmarked.SetUpWorlds();
    RenderSettings settings = DefaultRenderSettings();
    marked.Render(settings, &CopyWorld<Pixel>, engine);
    settings.cornerMarkers = false;
    unmarked.Render(settings, &CopyWorld<Pixel>, engine);
    for (int32_t y = 0; y < 10; ++y)
      for (int32_t x = 0; x < 12; ++x) {
        if (std::find(corners.begin(), corners.end(), std::pair{x, y}) != corners.end())
          EXPECT_EQ(marked.out(x, y), Ink<Pixel>()) << "at " << x << "," << y;
        else
          ASSERT_EQ(unmarked.out(x, y), marked.out(x, y)) << "at " << x << "," << y;
      }
    // Four fifths background, one fifth line: the line end's step, which
    // gives the same run by hand on the input.
    const Pixel smoothed = sizeof(Pixel) == 4 ? Colour<Pixel>(255, 204, 204, 176)
                                              : Colour<Pixel>(32768, 26215, 26215, 22937);
    EXPECT_EQ(unmarked.out(1, 1), smoothed);
    for (auto [x, y] : {std::pair{1, 9}, {11, 1}, {11, 9}})
      EXPECT_EQ(unmarked.out(x, y), background);
    TestFrame<Pixel> step = marked;
    EdgeContext<Pixel> ctx = step.ContextAt(1, 1);
    SmoothTJunctionUp(ctx);
    EXPECT_EQ(step.out(1, 1), smoothed);
  }
}

// The four ends of one-pixel lines, far enough apart that their ramps do not
// meet: the scan must hand each end to its own junction step (the left end of
// a horizontal line through the look-ahead), a lone pixel to the crossing
// step, and nothing else may write there.
template <class Pixel>
class LineEndDispatchTest : public ::testing::Test {};
TYPED_TEST_SUITE(LineEndDispatchTest, Depths);

TYPED_TEST(LineEndDispatchTest, EachLineEndGoesToItsJunctionStep) {
  using Pixel = TypeParam;
  const uint32_t M = ChannelMax<Pixel>();
  // Not white, which the default key colour would leave out of the rectangle.
  const Pixel background = Opaque<Pixel>(M, M, M / 4 * 3), ink = Opaque<Pixel>(0, 0, M / 2);
  TestFrame<Pixel> rendered(40, 40, background, 2);
  rendered.Fill(6, 4, 7, 20, ink);     // vertical line: top end (6,4), bottom end (6,19)
  rendered.Fill(12, 30, 34, 31, ink);  // horizontal line: left end (12,30), right end (33,30)
  rendered.in(25, 10) = ink;           // a lone pixel: a crossing, never a line end
  TestFrame<Pixel> expected(40, 40, background, 2);
  expected.input = rendered.input;

  // Steps on the expected frame, in scan order, each placed on its line end.
  EdgeContext<Pixel> ctx = expected.ContextAt(6, 4);
  auto place = [&](int32_t x, int32_t y) {
    ctx.x = x;
    ctx.y = y;
    ctx.sourceIndex = ctx.destinationIndex = y * expected.stride + x;
  };
  SmoothTJunctionUp(ctx);
  place(25, 10);
  SmoothCrossJunction(ctx);
  place(6, 19);
  SmoothTJunctionDown(ctx);
  place(12, 30);
  SmoothTJunctionLeft(ctx);
  place(33, 30);
  SmoothTJunctionRight(ctx);

  rendered.Render();
  // The markers sit on the rectangle's corners; compare everything else.
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 40; ++x) {
      if (x == 1 && (y == 1 || y == 39)) continue;
      ASSERT_EQ(rendered.out(x, y), expected.out(x, y)) << "at " << x << "," << y;
    }
  EXPECT_NE(expected.out(6, 4), ink);  // the steps did write the ends
  EXPECT_NE(expected.out(33, 30), ink);
}

}  // namespace
}  // namespace corvalin::test

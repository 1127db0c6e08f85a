#include "engine/scan/scan_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "engine/corner/two_sided_corner.h"
#include "test_frame.h"

namespace corvalin {
namespace {

using testing::Controls;
using testing::TestFrame;

TEST(ScanSettings, ThresholdFromSmootherRange) {
  EXPECT_EQ(EdgeThreshold<PF_Pixel8>(1.0), 10u);
  EXPECT_EQ(EdgeThreshold<PF_Pixel8>(0.5), 5u);
  EXPECT_EQ(EdgeThreshold<PF_Pixel8>(10.0), 102u);
  EXPECT_EQ(EdgeThreshold<PF_Pixel8>(100.0), 1020u);
  EXPECT_EQ(EdgeThreshold<PF_Pixel8>(0.0), 0u);
  EXPECT_EQ(EdgeThreshold<PF_Pixel16>(1.0), 1310u);
  EXPECT_EQ(EdgeThreshold<PF_Pixel16>(0.5), 655u);
  EXPECT_EQ(EdgeThreshold<PF_Pixel16>(10.0), 13107u);
  EXPECT_EQ(EdgeThreshold<PF_Pixel16>(100.0), 131072u);
  // Out of range values keep the integer arithmetic: the low 32 bits of -1020.
  EXPECT_EQ(EdgeThreshold<PF_Pixel8>(-1.0), 0xFFFFFC04u / 100u);
  EXPECT_EQ(EdgeThreshold<PF_Pixel8>(std::numeric_limits<double>::quiet_NaN()), 0u);
  EXPECT_EQ(EdgeThreshold<PF_Pixel8>(1e300), 0xFFFFFFFFu / 100u);
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
  ProcessRect r{0, 0, 10, 8};
  AdjustProcessRect(r, 10, 8);
  EXPECT_EQ(r.left, 1);
  EXPECT_EQ(r.top, 1);
  EXPECT_EQ(r.right, 9);
  EXPECT_EQ(r.bottom, 7);
  ProcessRect inner{3, 2, 6, 5};
  AdjustProcessRect(inner, 10, 8);
  EXPECT_EQ(inner.left, 3);
  EXPECT_EQ(inner.right, 6);
  // Empty image: 0,0,1,1 becomes 1,1,1,1.
  ProcessRect empty{0, 0, 1, 1};
  AdjustProcessRect(empty, 10, 8);
  EXPECT_EQ(empty.left, 1);
  EXPECT_EQ(empty.top, 1);
  EXPECT_EQ(empty.right, 1);
  EXPECT_EQ(empty.bottom, 1);
}

TEST(ArmAdjustment, LongerLeftArmShiftsBothStartsLeft) {
  Arm arms[4] = {{3, 11.0f, 8.0f, 0}, {2, 11.0f, 13.0f, 0}, {2, 5.0f, 3.0f, 0}, {3, 5.0f, 8.0f, 0}};
  AdjustArms(arms, 1.0f);
  EXPECT_EQ(arms[leftArm].start, 10.5f);
  EXPECT_EQ(arms[rightArm].start, 10.5f);
  EXPECT_EQ(arms[leftArm].end, 8.0f);
  EXPECT_EQ(arms[rightArm].end, 13.0f);
  EXPECT_EQ(arms[upArm].start, 5.5f);
  EXPECT_EQ(arms[downArm].start, 5.5f);
  EXPECT_EQ(arms[upArm].end, 3.0f);
  EXPECT_EQ(arms[downArm].end, 8.0f);
}

TEST(ArmAdjustment, LongerRightOrUpArmMovesNothingAndEndsArePulledIn) {
  Arm arms[4] = {{2, 11.0f, 9.0f, 0}, {3, 11.0f, 14.0f, 0}, {3, 5.0f, 2.0f, 0}, {2, 5.0f, 7.0f, 0}};
  AdjustArms(arms, 0.5f);
  EXPECT_EQ(arms[leftArm].start, 11.0f);
  EXPECT_EQ(arms[rightArm].start, 11.0f);
  EXPECT_EQ(arms[leftArm].end, 10.0f);
  EXPECT_EQ(arms[rightArm].end, 12.5f);
  EXPECT_EQ(arms[upArm].end, 3.5f);
  EXPECT_EQ(arms[downArm].end, 6.0f);
}

TEST(ArmAdjustment, OwnLineStopHalvesThePairWhateverTheWeight) {
  Arm arms[4] = {{4, 11.0f, 7.0f, 0}, {4, 11.0f, 15.0f, ownLineStop},
                 {2, 5.0f, 3.0f, 0},  {2, 5.0f, 7.0f, 0}};
  AdjustArms(arms, 1.0f);
  EXPECT_EQ(arms[leftArm].end, 9.0f);
  EXPECT_EQ(arms[rightArm].end, 13.0f);
  EXPECT_EQ(arms[upArm].end, 3.0f);  // the other pair keeps weight 1
  EXPECT_EQ(arms[downArm].end, 7.0f);
}

template <class Pixel>
class ScanFrameTest : public ::testing::Test {};
using PixelTypes = ::testing::Types<PF_Pixel8, PF_Pixel16>;
TYPED_TEST_SUITE(ScanFrameTest, PixelTypes);

template <class Pixel>
Pixel Opaque(uint32_t r, uint32_t g, uint32_t b) {
  using C = typename PixelTraits<Pixel>::Channel;
  return Pixel{C(ChannelMax<Pixel>()), C(r), C(g), C(b)};
}

template <class Pixel>
Pixel Marker() {
  return Opaque<Pixel>(ChannelMax<Pixel>(), 0, 0);
}

// Output equals input over the image, except the listed marker positions.
template <class Pixel>
void ExpectInputPlusMarkers(const TestFrame<Pixel>& f, std::vector<std::pair<int, int>> markers) {
  for (int32_t y = 0; y < f.height; ++y)
    for (int32_t x = 0; x < f.stride; ++x) {
      bool isMarker = false;
      for (auto [mx, my] : markers) isMarker |= (mx == x && my == y);
      const Pixel expected = isMarker ? Marker<Pixel>()
                             : x < f.width ? f.input[y * f.stride + x]
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
  std::mt19937 rng(7);
  for (auto& p : f.input) p = Opaque<Pixel>(rng() % 256, rng() % 256, rng() % 256);
  Controls c;
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
  Controls c;
  c.useKey = true;
  f.Render(c);
  EXPECT_EQ(f.out(0, 0), Pixel{});
  EXPECT_EQ(f.out(7, 7), Pixel{});
  // The rectangle is the blue square, right and bottom exclusive.
  EXPECT_EQ(f.out(2, 2), Marker<Pixel>());
  EXPECT_EQ(f.out(2, 6), Marker<Pixel>());
  EXPECT_EQ(f.out(6, 2), Marker<Pixel>());
  EXPECT_EQ(f.out(6, 6), Marker<Pixel>());
  EXPECT_EQ(f.out(4, 4), Opaque<Pixel>(0, 0, M));
}

TYPED_TEST(ScanFrameTest, ReturnsTheCopyErrorAndStillMarks) {
  using Pixel = TypeParam;
  TestFrame<Pixel> f(5, 5, Opaque<Pixel>(1, 2, 3));
  PF_UtilCallbacks utils{};
  utils.copy = [](PF_ProgPtr, PF_EffectWorld*, PF_EffectWorld*, PF_Rect*, PF_Rect*) -> PF_Err {
    return PF_Err_OUT_OF_MEMORY;
  };
  PF_InData inData{};
  inData.utils = &utils;
  PF_OutData outData{};
  PF_ParamDef layer{}, key{}, colour{}, range{}, weight{};
  range.u.fs_d.value = 1.0;
  PF_ParamDef* params[] = {&layer, &key, &colour, &range, &weight};
  EXPECT_EQ(ScanFrame(&inData, &outData, params, &f.inWorld, &f.outWorld, f.input.data(),
                      f.output.data()),
            PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(f.out(1, 1), Marker<Pixel>());
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
        EXPECT_TRUE(p == Marker<Pixel>() || p == f.in(x, y)) << s.w << "x" << s.h;
      }
  }
  // A 1x1 image: the rectangle becomes left 1, top 1, right 0, bottom 0, so
  // only the marker at (0, 0) lies inside.
  TestFrame<Pixel> one(1, 1, Opaque<Pixel>(9, 9, 9));
  one.Render();
  EXPECT_EQ(one.out(0, 0), Marker<Pixel>());
}

}  // namespace
}  // namespace corvalin

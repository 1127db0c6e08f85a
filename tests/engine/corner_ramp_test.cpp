#include "engine/corner/corner_ramp.h"

#include <gtest/gtest.h>

#include <vector>

#include "corner_test_support.h"

namespace corvalin::testing {
namespace {

constexpr auto upper = CornerFamily::upper;
constexpr auto lower = CornerFamily::lower;

struct Write {
  int32_t x, y;
  float weight;  // on the pixel's own (ink) colour
};

// Every output pixel is the input's except the listed ones, which are ink
// mixed with paper at their weight.
template <class Pixel>
void ExpectWrites(const TestFrame<Pixel>& frame, const std::vector<Write>& writes) {
  for (int32_t y = 0; y < frame.height; ++y) {
    for (int32_t x = 0; x < frame.width; ++x) {
      Pixel expected = frame.input[static_cast<size_t>(y) * frame.stride + x];
      for (const Write& w : writes)
        if (w.x == x && w.y == y) expected = InkOverPaper<Pixel>(w.weight);
      EXPECT_EQ(frame.out(x, y), expected) << "at (" << x << ", " << y << ")";
    }
  }
}

// A paper frame with ink along row 5 or column 10, the corner pixel at
// (10, 5). The line on the side opposite the partner is green, so a ramp
// that mixed with the wrong side would show it.
template <class Pixel>
struct RampFrame : TestFrame<Pixel> {
  RampFrame(bool horizontal, int32_t partnerSide, int32_t padding = 0)
      : TestFrame<Pixel>(20, 12, Paper<Pixel>(), padding) {
    constexpr uint32_t M = ChannelMax<Pixel>();
    const Pixel decoy = Colour<Pixel>(M, 0, M, 0);
    for (int32_t i = 0; i < 20; ++i) {
      if (horizontal) {
        this->in(i, 5) = Ink<Pixel>();
        this->in(i, 5 - partnerSide) = decoy;
      } else if (i < 12) {
        this->in(10, i) = Ink<Pixel>();
        this->in(10 - partnerSide, i) = decoy;
      }
    }
  }
};

template <class Pixel>
class CornerRamp : public ::testing::Test {
 protected:
  // Runs `ramp` at (10, 5) with the given arm in its slot.
  template <class Ramp>
  void Run(RampFrame<Pixel>& frame, Ramp ramp, ArmIndex index, Arm arm) {
    auto ctx = frame.ContextAt(10, 5);
    ctx.arms[index] = arm;
    ramp(ctx);
  }
};
TYPED_TEST_SUITE(CornerRamp, Depths);

TYPED_TEST(CornerRamp, EveryRampCoversItsPixelsFromTheFarEndWithItsPartner) {
  using P = TypeParam;
  struct Case {
    const char* name;
    void (*ramp)(const EdgeContext<P>&);
    ArmIndex arm;
    float start, end;
    bool horizontal;
    int32_t partnerSide;  // +1: below or right, -1: above or left
    std::vector<std::pair<int32_t, int32_t>> pixels;  // from the far end
  };
  const std::vector<Case> cases = {
      {"upper left", &RampLeftArm<upper, P, P*>, leftArm, 11, 7, true, -1,
       {{7, 5}, {8, 5}, {9, 5}, {10, 5}}},
      {"upper right", &RampRightArm<upper, P, P*>, rightArm, 11, 15, true, 1,
       {{14, 5}, {13, 5}, {12, 5}, {11, 5}}},
      {"upper up", &RampUpArm<upper, P, P*>, upArm, 5, 1, false, -1,
       {{10, 1}, {10, 2}, {10, 3}, {10, 4}}},
      {"upper down", &RampDownArm<upper, P, P*>, downArm, 5, 9, false, 1,
       {{10, 8}, {10, 7}, {10, 6}, {10, 5}}},
      {"lower left", &RampLeftArm<lower, P, P*>, leftArm, 11, 7, true, 1,
       {{7, 5}, {8, 5}, {9, 5}, {10, 5}}},
      {"lower right", &RampRightArm<lower, P, P*>, rightArm, 11, 15, true, -1,
       {{14, 5}, {13, 5}, {12, 5}, {11, 5}}},
      {"lower up", &RampUpArm<lower, P, P*>, upArm, 5, 1, false, 1,
       {{10, 2}, {10, 3}, {10, 4}, {10, 5}}},
      {"lower down", &RampDownArm<lower, P, P*>, downArm, 5, 9, false, -1,
       {{10, 9}, {10, 8}, {10, 7}, {10, 6}}},
  };
  const float weights[] = {0.9375f, 0.8125f, 0.6875f, 0.5625f};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int32_t padding : {0, 3}) {
      RampFrame<P> frame(c.horizontal, c.partnerSide, padding);
      this->Run(frame, c.ramp, c.arm, Arm{4, c.start, c.end, 0});
      std::vector<Write> writes;
      for (size_t i = 0; i < c.pixels.size(); ++i)
        writes.push_back({c.pixels[i].first, c.pixels[i].second, weights[i]});
      ExpectWrites(frame, writes);
    }
  }
}

TYPED_TEST(CornerRamp, LeftRampWeightsFollowTheArmEnds) {
  using P = TypeParam;
  {
    SCOPED_TRACE("Line Weight 0: end pulled to 9");
    RampFrame<P> frame(true, -1);
    this->Run(frame, RampLeftArm<upper, P, P*>, leftArm, Arm{4, 11, 9, 0});
    ExpectWrites(frame, {{9, 5, 0.875f}, {10, 5, 0.625f}});
  }
  {
    SCOPED_TRACE("start shifted to 10.5: the count still starts at 11");
    RampFrame<P> frame(true, -1);
    this->Run(frame, RampLeftArm<upper, P, P*>, leftArm, Arm{4, 10.5f, 7, 0});
    ExpectWrites(frame, {{7, 5, 0.9285714f},
                         {8, 5, 0.7857143f},
                         {9, 5, 0.6428572f},
                         {10, 5, 0.49999994f}});
  }
  {
    SCOPED_TRACE("shifted start, Line Weight 0: end 8.75 gives three pixels, not two");
    RampFrame<P> frame(true, -1);
    this->Run(frame, RampLeftArm<upper, P, P*>, leftArm, Arm{4, 10.5f, 8.75f, 0});
    ExpectWrites(frame, {{8, 5, 0.991071403f}, {9, 5, 0.785714269f}, {10, 5, 0.5f}});
  }
}

TYPED_TEST(CornerRamp, RightRampTakesItsFirstPixelFromJustBelowTheEnd) {
  using P = TypeParam;
  {
    SCOPED_TRACE("whole-number end 14: the first t is 1");
    RampFrame<P> frame(true, 1);
    this->Run(frame, RampRightArm<upper, P, P*>, rightArm, Arm{3, 11, 14, 0});
    ExpectWrites(frame, {{13, 5, 0.9166667f}, {12, 5, 0.75f}, {11, 5, 0.5833334f}});
  }
  {
    SCOPED_TRACE("end 13.000001: three pixels, but every t one larger");
    RampFrame<P> frame(true, 1);
    this->Run(frame, RampRightArm<upper, P, P*>, rightArm, Arm{3, 11, 13.000001f, 0});
    ExpectWrites(frame, {{13, 5, 0.8749998f}, {12, 5, 0.62499994f}, {11, 5, 0.3750001f}});
  }
}

TYPED_TEST(CornerRamp, DownRampUsesTheWiderEpsilon) {
  // 8.000008 lies between the two epsilons above 8: the down ramp takes 7 as
  // its whole part, where the right ramp's epsilon would give 8.
  using P = TypeParam;
  RampFrame<P> frame(false, 1);
  this->Run(frame, RampDownArm<upper, P, P*>, downArm, Arm{3, 5, 8.000008f, 0});
  ExpectWrites(frame, {{10, 8, 0.916665614f},
                       {10, 7, 0.749999344f},
                       {10, 6, 0.583333135f},
                       {10, 5, 0.416666865f}});
}

TYPED_TEST(CornerRamp, EmptyArmsWriteNothing) {
  using P = TypeParam;
  struct Case {
    const char* name;
    void (*ramp)(const EdgeContext<P>&);
    ArmIndex arm;
    float start, end;
    bool horizontal;
  };
  // Ends that would cover pixels if the length were not checked.
  const Case cases[] = {
      {"upper right", &RampRightArm<upper, P, P*>, rightArm, 11, 14, true},
      {"lower right", &RampRightArm<lower, P, P*>, rightArm, 11, 14, true},
      {"upper up", &RampUpArm<upper, P, P*>, upArm, 5, 2, false},
      {"lower down", &RampDownArm<lower, P, P*>, downArm, 5, 8, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RampFrame<P> frame(c.horizontal, 1);
    this->Run(frame, c.ramp, c.arm, Arm{0, c.start, c.end, 0});
    ExpectWrites(frame, {});
  }
}

TYPED_TEST(CornerRamp, ZeroLengthLeftArmAtColumnOneWritesNothing) {
  using P = TypeParam;
  RampFrame<P> frame(true, -1);
  auto ctx = frame.ContextAt(1, 5);
  ctx.arms[leftArm] = Arm{0, 2, 2, 0};
  RampLeftArm<upper>(ctx);
  RampLeftArm<lower>(ctx);
  ExpectWrites(frame, {});
}

}  // namespace
}  // namespace corvalin::testing

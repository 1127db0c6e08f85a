// Two-sided corners, step by step: the arm traces, the arm adjustment and the
// coverage ramps along the arms.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "engine/corner/two_sided_corner.h"
#include "test_frame.h"

namespace corvalin::test {
namespace {

constexpr auto upper = CornerFamily::upper;
constexpr auto lower = CornerFamily::lower;

template <class Pixel>
void Trace(EdgeContext<Pixel>& ctx, CornerFamily family, ArmIndex arm) {
  const bool up = family == upper;
  switch (arm) {
    case leftArm: return up ? TraceLeftArm<upper>(ctx) : TraceLeftArm<lower>(ctx);
    case rightArm: return up ? TraceRightArm<upper>(ctx) : TraceRightArm<lower>(ctx);
    case upArm: return up ? TraceUpArm<upper>(ctx) : TraceUpArm<lower>(ctx);
    case downArm: return up ? TraceDownArm<upper>(ctx) : TraceDownArm<lower>(ctx);
  }
}

struct TraceCase {
  const char* name;
  int32_t width;
  std::vector<int32_t> inkPerRow;                    // ink from the left edge
  std::vector<std::pair<int32_t, int32_t>> moreInk;  // single ink pixels
  int32_t x, y;
  CornerFamily family;
  std::vector<std::pair<ArmIndex, Arm>> arms;  // {length, start, end, stopFlags}
  int32_t traceFlags = 0;
  int32_t padding = 0;  // continues the last column
};

template <class Pixel>
class CornerTrace : public ::testing::Test {};
TYPED_TEST_SUITE(CornerTrace, Depths);

TYPED_TEST(CornerTrace, ArmsOfWorkedStaircases) {
  const Arm none{0, 0, 0, 0};  // the pre-check found no arm
  const std::vector<int32_t> nestedSteps{0, 0, 6, 9, 13, 16, 16, 16, 16, 16};
  const std::vector<int32_t> straightEdge{0, 0, 0, 6, 12, 12, 12, 12};
  // clang-format off
  const TraceCase cases[] = {
      {"45 degrees, upper", 10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {}, 4, 5, upper,
       {{leftArm, {1, 5, 4, 0}}, {rightArm, {1, 5, 6, 0}}, {upArm, {1, 5, 4, 0}},
        {downArm, {1, 5, 6, 0}}}},
      {"45 degrees, lower", 10, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, {}, 4, 4, lower,
       {{leftArm, {1, 5, 4, 0}}, {rightArm, {1, 5, 6, 0}}, {upArm, {1, 4, 3, 0}},
        {downArm, {1, 4, 5, 0}}}},
      {"four-pixel steps", 20, {0, 0, 4, 8, 12, 16, 20, 20, 20}, {}, 7, 3, upper,
       {{leftArm, {4, 8, 4, 0}}, {rightArm, {4, 8, 12, 0}}, {upArm, none},
        {downArm, {1, 3, 4, 0}}}},
      {"change on the own row", 10, {0, 0, 0, 0, 10, 10}, {{3, 3}, {4, 3}, {5, 3}}, 5, 3, upper,
       {{leftArm, {3, 6, 3, ownLineStop}}}},
      {"n = 3, N = 4: half a pixel further", 16, nestedSteps, {}, 8, 3, upper,
       {{leftArm, {3, 9, 5.5f, 0}}}},
      {"a nested copy starts no nested trace", 16, nestedSteps, {}, 8, 3, upper,
       {{leftArm, {3, 9, 6, 0}}}, inNestedTrace},
      {"no nested trace at y = 2", 16, {0, 6, 9, 13, 16, 16, 16, 16, 16, 16}, {}, 8, 2, upper,
       {{leftArm, {3, 9, 6, 0}}}},
      {"upper right, next one shorter", 12, {0, 0, 0, 4, 6, 7, 12, 12, 12, 12}, {}, 3, 3, upper,
       {{rightArm, {2, 4, 5.5f, 0}}}},
      {"upper up, previous riser shorter", 10, {0, 0, 0, 4, 5, 5, 6, 10, 10, 10}, {}, 5, 6, upper,
       {{upArm, {2, 6, 4.5f, 0}}}},
      {"upper up, previous riser empty", 10, {0, 0, 0, 3, 3, 5, 6, 10, 10, 10}, {}, 5, 6, upper,
       {{upArm, {1, 6, 5, 0}}}},
      {"upper down, next riser longer", 10, {0, 0, 0, 5, 6, 6, 10, 10, 10, 10}, {}, 4, 3, upper,
       {{downArm, {1, 3, 4.5f, 0}}}},
      {"lower risers", 10, {10, 10, 10, 6, 5, 5, 4, 3, 3, 0, 0}, {}, 4, 5, lower,
       {{upArm, {2, 5, 3.5f, 0}}, {downArm, {1, 5, 6.5f, 0}}}},
      {"straight edge to the row limits", 12, straightEdge, {}, 5, 3, upper,
       {{leftArm, {4, 6, 2, 0}}, {rightArm, {5, 6, 11, 0}}}},
      {"right limit from the stride", 12, straightEdge, {}, 5, 3, upper,
       {{rightArm, {8, 6, 14, 0}}}, 0, 3},
      {"left arm at x = 1", 8, {0, 0, 2, 8, 8, 8}, {}, 1, 2, upper, {{leftArm, {0, 2, 2, 0}}}},
      {"right arm at x = W - 2", 8, {0, 0, 7, 8, 8, 8}, {}, 6, 2, upper,
       {{rightArm, {0, 7, 7, 0}}}},
      {"right arm at x = W - 3, pair untested", 8, {0, 0, 6, 8, 8, 8}, {{7, 2}}, 5, 2, upper,
       {{rightArm, {1, 6, 7, 0}}}},
      {"upper up arm at y = 2, pair untested", 8, {0, 3, 4, 8, 8, 8}, {{3, 0}}, 3, 2, upper,
       {{upArm, {1, 2, 1, 0}}}},
      {"upper up arm at y = 1", 8, {3, 4, 8, 8}, {}, 3, 1, upper, {{upArm, {0, 1, 1, 0}}}},
      {"lower down arm at y = H - 3, pair untested", 8, {8, 8, 8, 8, 8, 4, 3, 0}, {{3, 7}}, 3, 5,
       lower, {{downArm, {1, 5, 6, 0}}}},
  };
  // clang-format on
  for (const TraceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto height = static_cast<int32_t>(c.inkPerRow.size());
    TestFrame<TypeParam> f(c.width, height, Paper<TypeParam>(), c.padding);
    InkFromLeft(f, c.inkPerRow);
    for (const auto& [x, y] : c.moreInk) f.in(x, y) = Ink<TypeParam>();
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = c.width; x < f.stride; ++x) f.in(x, y) = f.in(c.width - 1, y);
    auto ctx = f.ContextAt(c.x, c.y);
    ctx.traceFlags = c.traceFlags;
    for (const auto& [index, expected] : c.arms) {
      Trace(ctx, c.family, index);
      const Arm& arm = ctx.arms[index];
      EXPECT_EQ(arm.length, expected.length) << "arm " << index;
      EXPECT_EQ(arm.start, expected.start) << "arm " << index;
      EXPECT_EQ(arm.end, expected.end) << "arm " << index;
      EXPECT_EQ(arm.stopFlags, expected.stopFlags) << "arm " << index;
    }
  }
}

TEST(ArmAdjustment, ShiftsStartsTowardsTheLongerArmAndPullsEndsIn) {
  struct Case {
    const char* name;
    Arm in[4];
    float weightFactor;
    float starts[4], ends[4];
  };
  // clang-format off
  const Case cases[] = {
      {"left and down one longer: starts move",
       {{3, 11, 8, 0}, {2, 11, 13, 0}, {2, 5, 3, 0}, {3, 5, 8, 0}}, 1.0f,
       {10.5f, 10.5f, 5.5f, 5.5f}, {8, 13, 3, 8}},
      {"right and up one longer: starts stay",
       {{2, 11, 9, 0}, {3, 11, 14, 0}, {3, 5, 2, 0}, {2, 5, 7, 0}}, 0.5f,
       {11, 11, 5, 5}, {10, 12.5f, 3.5f, 6}},
      {"own-line stop halves its pair only",
       {{4, 11, 7, 0}, {4, 11, 15, ownLineStop}, {2, 5, 3, 0}, {2, 5, 7, 0}}, 1.0f,
       {11, 11, 5, 5}, {9, 13, 3, 7}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Arm arms[4] = {c.in[0], c.in[1], c.in[2], c.in[3]};
    AdjustArms(arms, c.weightFactor);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(arms[i].start, c.starts[i]) << "arm " << i;
      EXPECT_EQ(arms[i].end, c.ends[i]) << "arm " << i;
    }
  }
}

// One ramp on a paper frame with ink along row 5 or column 10 and the corner
// pixel at (x, 5). The line on the side opposite the partner is green, so a
// ramp that mixed with the wrong side would show it.
template <class Pixel>
struct RampCase {
  const char* name;
  void (*ramp)(const EdgeContext<Pixel>&);
  ArmIndex index;
  Arm arm;
  bool horizontal;
  int32_t partnerSide;  // +1: below or right, -1: above or left
  std::vector<std::pair<std::pair<int32_t, int32_t>, float>> writes;  // weight on the ink
  int32_t x = 10;
};

template <class Pixel>
class CornerRamp : public ::testing::Test {};
TYPED_TEST_SUITE(CornerRamp, Depths);

TYPED_TEST(CornerRamp, WeightsFromTheFarEndTowardsTheCorner) {
  using P = TypeParam;
  // Four pixels from the far end over span 4: 15/16, 13/16, 11/16, 9/16.
  auto four = [](std::vector<std::pair<int32_t, int32_t>> pixels) {
    const float weights[] = {0.9375f, 0.8125f, 0.6875f, 0.5625f};
    std::vector<std::pair<std::pair<int32_t, int32_t>, float>> writes;
    for (size_t i = 0; i < pixels.size(); ++i) writes.push_back({pixels[i], weights[i]});
    return writes;
  };
  // clang-format off
  const RampCase<P> cases[] = {
      {"upper left", &RampLeftArm<upper, P, OutputWriter<P>, PlainSteps>, leftArm, {4, 11, 7, 0}, true, -1,
       four({{7, 5}, {8, 5}, {9, 5}, {10, 5}})},
      {"upper right", &RampRightArm<upper, P, OutputWriter<P>, PlainSteps>, rightArm, {4, 11, 15, 0}, true, 1,
       four({{14, 5}, {13, 5}, {12, 5}, {11, 5}})},
      {"upper up", &RampUpArm<upper, P, OutputWriter<P>, PlainSteps>, upArm, {4, 5, 1, 0}, false, -1,
       four({{10, 1}, {10, 2}, {10, 3}, {10, 4}})},
      {"upper down", &RampDownArm<upper, P, OutputWriter<P>, PlainSteps>, downArm, {4, 5, 9, 0}, false, 1,
       four({{10, 8}, {10, 7}, {10, 6}, {10, 5}})},
      {"lower left", &RampLeftArm<lower, P, OutputWriter<P>, PlainSteps>, leftArm, {4, 11, 7, 0}, true, 1,
       four({{7, 5}, {8, 5}, {9, 5}, {10, 5}})},
      {"lower right", &RampRightArm<lower, P, OutputWriter<P>, PlainSteps>, rightArm, {4, 11, 15, 0}, true, -1,
       four({{14, 5}, {13, 5}, {12, 5}, {11, 5}})},
      {"lower up", &RampUpArm<lower, P, OutputWriter<P>, PlainSteps>, upArm, {4, 5, 1, 0}, false, 1,
       four({{10, 2}, {10, 3}, {10, 4}, {10, 5}})},
      {"lower down", &RampDownArm<lower, P, OutputWriter<P>, PlainSteps>, downArm, {4, 5, 9, 0}, false, -1,
       four({{10, 9}, {10, 8}, {10, 7}, {10, 6}})},
      {"left, Line Weight 0: end pulled to 9", &RampLeftArm<upper, P, OutputWriter<P>, PlainSteps>, leftArm,
       {4, 11, 9, 0}, true, -1, {{{9, 5}, 0.875f}, {{10, 5}, 0.625f}}},
      {"left, start shifted to 10.5: the count still starts at 11", &RampLeftArm<upper, P, OutputWriter<P>, PlainSteps>,
       leftArm, {4, 10.5f, 7, 0}, true, -1,
       {{{7, 5}, 0.9285714f}, {{8, 5}, 0.7857143f}, {{9, 5}, 0.6428572f},
        {{10, 5}, 0.49999994f}}},
      {"left, shifted start, end 8.75: three pixels", &RampLeftArm<upper, P, OutputWriter<P>, PlainSteps>, leftArm,
       {4, 10.5f, 8.75f, 0}, true, -1,
       {{{8, 5}, 0.991071403f}, {{9, 5}, 0.785714269f}, {{10, 5}, 0.5f}}},
      {"right, whole end 14: the first t is 1", &RampRightArm<upper, P, OutputWriter<P>, PlainSteps>, rightArm,
       {3, 11, 14, 0}, true, 1, {{{13, 5}, 0.9166667f}, {{12, 5}, 0.75f}, {{11, 5}, 0.5833334f}}},
      {"right, end 13.000001: every t one larger", &RampRightArm<upper, P, OutputWriter<P>, PlainSteps>, rightArm,
       {3, 11, 13.000001f, 0}, true, 1,
       {{{13, 5}, 0.8749998f}, {{12, 5}, 0.62499994f}, {{11, 5}, 0.3750001f}}},
      {"down, end 8.000008: the wider epsilon gives 7", &RampDownArm<upper, P, OutputWriter<P>, PlainSteps>, downArm,
       {3, 5, 8.000008f, 0}, false, 1,
       {{{10, 8}, 0.916665614f}, {{10, 7}, 0.749999344f}, {{10, 6}, 0.583333135f},
        {{10, 5}, 0.416666865f}}},
      // Zero-length arms with ends that would cover pixels.
      {"empty upper right", &RampRightArm<upper, P, OutputWriter<P>, PlainSteps>, rightArm, {0, 11, 14, 0}, true, 1, {}},
      {"empty lower right", &RampRightArm<lower, P, OutputWriter<P>, PlainSteps>, rightArm, {0, 11, 14, 0}, true, 1, {}},
      {"empty upper up", &RampUpArm<upper, P, OutputWriter<P>, PlainSteps>, upArm, {0, 5, 2, 0}, false, 1, {}},
      {"empty lower down", &RampDownArm<lower, P, OutputWriter<P>, PlainSteps>, downArm, {0, 5, 8, 0}, false, 1, {}},
      {"upper left at column 1", &RampLeftArm<upper, P, OutputWriter<P>, PlainSteps>, leftArm, {0, 2, 2, 0}, true, -1,
       {}, 1},
      {"lower left at column 1", &RampLeftArm<lower, P, OutputWriter<P>, PlainSteps>, leftArm, {0, 2, 2, 0}, true, -1,
       {}, 1},
  };
  // clang-format on
  constexpr uint32_t M = ChannelMax<P>();
  for (const RampCase<P>& c : cases)
    for (int32_t padding : {0, 3}) {
      SCOPED_TRACE(::testing::Message() << c.name << ", padding " << padding);
      TestFrame<P> f(20, 12, Paper<P>(), padding);
      for (int32_t i = 0; i < 20; ++i) {
        if (c.horizontal) {
          f.in(i, 5) = Ink<P>();
          f.in(i, 5 - c.partnerSide) = Colour<P>(M, 0, M, 0);
        } else if (i < 12) {
          f.in(10, i) = Ink<P>();
          f.in(10 - c.partnerSide, i) = Colour<P>(M, 0, M, 0);
        }
      }
      auto ctx = f.ContextAt(c.x, 5);
      ctx.arms[c.index] = c.arm;
      c.ramp(ctx);
      Expected<P> e(f);
      for (const auto& [pixel, weight] : c.writes)
        e.Set(pixel.first, pixel.second, InkOverPaper<P>(weight));
      e.Check();
    }
}

}  // namespace
}  // namespace corvalin::test

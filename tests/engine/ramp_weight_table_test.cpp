// The ramp weights the fast engine looks up are compile-time constants; they
// must equal, entry for entry, what the ramp arithmetic gives at run time.
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/scan/engine_choice.h"

#if CORVALIN_FAST_ENGINE
#include "engine/fast/ramps_fast.h"

namespace corvalin::test {
namespace {

// The run-time arithmetic of one entry. The operands pass through volatile
// variables, so the compiler cannot fold the computation at compile time.
template <class Pixel>
uint32_t RunTimeWeight(int32_t halves, int32_t runLength, int32_t k) {
  volatile double height = halves * 0.5;
  volatile double span = static_cast<double>(runLength) * 0.5;
  volatile int32_t pixel = k;
  return BlendWeight<Pixel>(detail::KeepWeight(height, span, pixel));
}

template <class Pixel, int32_t halves>
void ExpectTableEqualsRunTimeArithmetic() {
  for (int32_t runLength = 0; runLength <= fast::detail::kTabledRun; ++runLength) {
    const uint16_t* row = fast::detail::HalfSpanBlendWeights<Pixel, halves>(runLength);
    volatile double span = static_cast<double>(runLength) * 0.5;
    const int32_t count = detail::RampCount(span, runLength);
    ASSERT_EQ(fast::detail::RampCount(span, runLength), count);
    ASSERT_LE(count, fast::detail::kTabledRampPixels);
    for (int32_t k = 0; k < count; ++k)
      ASSERT_EQ(row[k], RunTimeWeight<Pixel>(halves, runLength, k))
          << "run " << runLength << ", pixel " << k << ", height " << halves << "/2";
  }
}

TEST(RampWeightTable, EveryEntryEqualsTheRunTimeArithmetic) {
  ExpectTableEqualsRunTimeArithmetic<PF_Pixel8, 1>();
  ExpectTableEqualsRunTimeArithmetic<PF_Pixel8, 2>();
  ExpectTableEqualsRunTimeArithmetic<PF_Pixel16, 1>();
  ExpectTableEqualsRunTimeArithmetic<PF_Pixel16, 2>();
}

template <class Pixel, int32_t halves>
uint32_t Tabled(int32_t runLength, int32_t k) {
  return fast::detail::HalfSpanBlendWeights<Pixel, halves>(runLength)[k];
}

// Worked entries. Run 2, span 1: A(0) = h / 2, A(1) = 0, so pixel 0 keeps
// 1 - h / 2: 0.75 (h = 0.5) and 0.5 (h = 1). Run 4, span 2, h = 0.5:
// A(0) = 0.5, A(1) = 0.125, A(2) = 0, so pixels keep 0.625 and 0.875.
TEST(RampWeightTable, WorkedEntries) {
  EXPECT_EQ((Tabled<PF_Pixel8, 1>(2, 0)), 191u);  // trunc(255 * 0.75)
  EXPECT_EQ((Tabled<PF_Pixel8, 2>(2, 0)), 127u);  // trunc(255 * 0.5)
  EXPECT_EQ((Tabled<PF_Pixel16, 1>(2, 0)), 24576u);
  EXPECT_EQ((Tabled<PF_Pixel16, 2>(2, 0)), 16384u);
  EXPECT_EQ((Tabled<PF_Pixel16, 1>(4, 0)), 20480u);  // 32768 * 0.625
  EXPECT_EQ((Tabled<PF_Pixel16, 1>(4, 1)), 28672u);  // 32768 * 0.875
  EXPECT_EQ((Tabled<PF_Pixel8, 1>(4, 0)), 159u);     // trunc(159.375)
  EXPECT_EQ((Tabled<PF_Pixel8, 1>(4, 1)), 223u);     // trunc(223.125)
  // A run of one pixel, span 0.5: A(0) = h / 4, so h = 0.5 keeps 0.875.
  EXPECT_EQ((Tabled<PF_Pixel16, 1>(1, 0)), 28672u);
}

// Made at compile time: usable where only constants are.
static_assert((fast::detail::kHalfSpanWeightRow<PF_Pixel16, 1, 2>[0]) == 24576);
static_assert((fast::detail::kHalfSpanWeightRow<PF_Pixel8, 2, 2>[0]) == 127);

}  // namespace
}  // namespace corvalin::test

#endif

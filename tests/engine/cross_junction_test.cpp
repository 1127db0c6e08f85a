#include "engine/junction/cross_junction.h"

#include <gtest/gtest.h>

#include "junction_test_support.h"

namespace corvalin {
namespace {

using namespace testing;  // TestFrame, Expected and the test colours

TEST(JunctionCross, LonePixelBecomesTheMeanOfItsHalfBlends) {
  {
    TestFrame<PF_Pixel16> f(7, 7, black16, 1);
    f.in(3, 3) = red16;
    SmoothCrossJunction(f.ContextAt(3, 3));
    Expected(f).Set(3, 3, Mix16(16384)).Check();
  }
  {
    // 8 bits: weight 0.5 keeps 127 of 255.
    TestFrame<PF_Pixel8> f(7, 7, PF_Pixel8{255, 0, 0, 0});
    f.in(3, 3) = PF_Pixel8{255, 255, 0, 0};
    SmoothCrossJunction(f.ContextAt(3, 3));
    Expected(f).Set(3, 3, PF_Pixel8{255, 127, 0, 0}).Check();
  }
  {
    // Mixed channels and a transparent diagonal, truncating mean.
    TestFrame<PF_Pixel8> f(5, 5, PF_Pixel8{255, 0, 0, 0});
    f.in(2, 2) = PF_Pixel8{255, 200, 101, 7};
    f.in(1, 1) = PF_Pixel8{0, 50, 50, 50};
    SmoothCrossJunction(f.ContextAt(2, 2));
    // Upper-left: b transparent, alpha (255 * 127) / 255 = 127, P's colour;
    // the other three: (255, 99, 50, 3). Mean: (223, 124, 62, 4).
    Expected(f).Set(2, 2, PF_Pixel8{223, 124, 62, 4}).Check();
  }
}

TEST(JunctionCross, CrossingDiagonalsLeaveEverythingUnchanged) {
  TestFrame<PF_Pixel16> f(9, 9, black16);
  for (int32_t k = 0; k < 9; ++k) {
    f.in(k, k) = red16;
    f.in(8 - k, k) = red16;
  }
  SmoothCrossJunction(f.ContextAt(4, 4));
  Expected(f).Check();
}

TEST(JunctionCross, OneDiagonalLineRampsAllFourSidesTowardsIt) {
  // Line down to the right through P = (4, 4). Each walk stops at once on
  // the partner line, so each ramp is one pixel over span 0.5 ("Line
  // Weight" 0): partner share 0.125.
  TestFrame<PF_Pixel16> f(9, 9, black16);
  for (int32_t k = 0; k < 9; ++k) f.in(k, k) = red16;
  SmoothCrossJunction(f.ContextAt(4, 4));
  Expected(f)
      .Set(4, 4, Mix16(24576))
      .Set(3, 4, Mix16(4096))  // left, from above
      .Set(4, 3, Mix16(4096))  // up, from the left
      .Set(5, 4, Mix16(4096))  // right, from below
      .Set(4, 5, Mix16(4096))  // down, from the right
      .Check();
}

TEST(JunctionCross, ThreeAlikeDiagonalsRampOnlyLeftAndDown) {
  TestFrame<PF_Pixel16> f(9, 9, black16, 2);
  f.in(4, 4) = red16;
  f.in(3, 3) = red16;
  f.in(5, 3) = red16;
  f.in(5, 5) = red16;
  SmoothCrossJunction(f.ContextAt(4, 4));
  Expected(f).Set(4, 4, Mix16(28672)).Set(3, 4, Mix16(4096)).Set(4, 5, Mix16(4096)).Check();
}

// P = (3, 3) with only its lower-right diagonal alike; the row below carries
// that colour on to x = 7, so the right ramp's walk ends after 4 positions at
// a change in its partner line.
TestFrame<PF_Pixel16> FourPositionRamp() {
  TestFrame<PF_Pixel16> f(12, 8, black16, 1);
  f.in(3, 3) = red16;
  f.Fill(4, 4, 8, 5, red16);
  return f;
}

TEST(JunctionCross, FourPositionRampFollowsLineWeight) {
  {
    // "Line Weight" 1: span 4, shares 7/16, 5/16, 3/16, 1/16. The down
    // ramp (partner on the right) stops at once: span 1, share 1/4.
    TestFrame<PF_Pixel16> f = FourPositionRamp();
    SmoothCrossJunction(f.ContextAt(3, 3, 1.0, 1.0));
    Expected(f)
        .Set(3, 3, Mix16(20480))
        .Set(4, 3, Mix16(14336))
        .Set(5, 3, Mix16(10240))
        .Set(6, 3, Mix16(6144))
        .Set(7, 3, Mix16(2048))
        .Set(3, 4, Mix16(8192))
        .Check();
  }
  {
    // "Line Weight" 0: span 2, shares 3/8, 1/8; the down ramp span 0.5.
    TestFrame<PF_Pixel16> f = FourPositionRamp();
    SmoothCrossJunction(f.ContextAt(3, 3, 1.0, 0.0));
    Expected(f)
        .Set(3, 3, Mix16(20480))
        .Set(4, 3, Mix16(12288))
        .Set(5, 3, Mix16(4096))
        .Set(3, 4, Mix16(4096))
        .Check();
  }
}

TEST(JunctionCross, RampEndingOnItsOwnLineSpansHalfAtAnyLineWeight) {
  // The ramp's own row changes colour after 4 positions (red at x = 8).
  TestFrame<PF_Pixel16> f = FourPositionRamp();
  f.in(8, 3) = red16;
  SmoothCrossJunction(f.ContextAt(3, 3, 1.0, 1.0));
  Expected(f)
      .Set(3, 3, Mix16(20480))
      .Set(4, 3, Mix16(12288))
      .Set(5, 3, Mix16(4096))
      .Set(3, 4, Mix16(8192))
      .Check();
}

}  // namespace
}  // namespace corvalin

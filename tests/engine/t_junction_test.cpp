#include "engine/junction/t_junction.h"

#include <gtest/gtest.h>

#include "junction_test_support.h"

namespace corvalin {
namespace {

using namespace testing;  // TestFrame, Expected and the test colours

TEST(JunctionTRight, FreeEndOfThinLineMergesBothStagedSides) {
  // Line y = 2, x = 2..5, ending at P = (5, 2). Both sides are staged with
  // shares 0.75 and 0.25 of the background and averaged.
  {
    TestFrame<PF_Pixel16> f(10, 5, black16, 1);
    f.Fill(2, 2, 6, 3, red16);
    SmoothTJunctionRight(f.ContextAt(5, 2));
    Expected(f).Set(5, 2, Mix16(8192)).Set(4, 2, Mix16(24576)).Check();
  }
  {
    TestFrame<PF_Pixel8> f(10, 5, black8, 3);
    f.Fill(2, 2, 6, 3, red8);
    SmoothTJunctionRight(f.ContextAt(5, 2));
    Expected(f).Set(5, 2, Red8(63)).Set(4, 2, Red8(191)).Check();
  }
}

TEST(JunctionTRight, MergeOfUnequalSidesAveragesThenHalfBlendsTheLonger) {
  // As the free end, with the lower side line changing colour after 2: slot 0
  // holds one entry (share 0.5), slot 1 two (shares 0.75, 0.25). At 8 bits:
  // P = (127 + 63) / 2; its neighbour = (255 * 127 + 191 * 128) / 255.
  TestFrame<PF_Pixel8> f(10, 5, black8);
  f.Fill(2, 2, 6, 3, red8);
  f.in(3, 3) = PF_Pixel8{255, 0, 0, 255};
  SmoothTJunctionRight(f.ContextAt(5, 2));
  Expected(f).Set(5, 2, Red8(95)).Set(4, 2, Red8(222)).Check();
}

TEST(JunctionTRight, ThinLineStepRampsTheLowerSideAndMergesTheUpperAlone) {
  // Row 2 x = 1..4, then row 3 from x = 5: the line steps down at P = (4, 2).
  TestFrame<PF_Pixel16> f(12, 6, black16);
  f.Fill(1, 2, 5, 3, red16);
  f.Fill(5, 3, 11, 4, red16);
  SmoothTJunctionRight(f.ContextAt(4, 2));
  Expected(f)
      .Set(4, 3, Mix16(12288))  // side line takes 0.375 and 0.125 of the run
      .Set(3, 3, Mix16(4096))
      .Set(4, 2, Mix16(20480))  // half of the run, half its staged blend
      .Set(3, 2, Mix16(28672))
      .Check();
}

TEST(JunctionTRight, ThinSidesStageBothSidesEvenWhereTheRunGoesOn) {
  // As the step above, but both background rows beside the run are one pixel
  // thick (blue rows 1 and 5): no side line is written.
  TestFrame<PF_Pixel16> f(10, 7, black16, 2);
  f.Fill(0, 1, 10, 2, blue16);
  f.Fill(0, 5, 10, 6, blue16);
  f.Fill(1, 3, 5, 4, red16);
  f.in(5, 4) = red16;
  SmoothTJunctionRight(f.ContextAt(4, 3));
  Expected(f).Set(4, 3, Mix16(8192)).Set(3, 3, Mix16(24576)).Check();
}

TEST(JunctionTRight, SpurOutOfVerticalBarFillsBothInnerCorners) {
  // Bar x = 2, y = 3..11, its green 100 * y (alike from row to row, but it
  // shows which bar pixel lent its colour); spur P = (3, 7). The corner
  // ramps run down and up column 3, each pixel taking a share of its
  // diagonal one row further out: 0.375 and 0.125.
  TestFrame<PF_Pixel16> f(6, 14, black16);
  for (int32_t y = 3; y < 12; ++y) f.in(2, y) = PF_Pixel16{M16, M16, uint16_t(100 * y), 0};
  f.in(3, 7) = red16;
  SmoothTJunctionRight(f.ContextAt(3, 7));
  auto corner = [](uint16_t red, uint16_t green) { return PF_Pixel16{M16, red, green, 0}; };
  Expected(f)
      .Set(3, 7, Mix16(24576))
      .Set(3, 8, corner(12288, 337))  // from (2, 9)
      .Set(3, 9, corner(4096, 125))   // from (2, 10)
      .Set(3, 6, corner(12288, 187))  // from (2, 5)
      .Set(3, 5, corner(4096, 50))    // from (2, 4)
      .Check();
}

TEST(JunctionTRight, SidesOfDifferentColourTaperTowardsTheColourBeyond) {
  // Blue above and beyond the end, black below: the run fades into blue over
  // half the shorter length (the lower side line changes after 2).
  TestFrame<PF_Pixel16> f(10, 6, black16);
  f.Fill(0, 0, 10, 3, blue16);
  f.Fill(1, 3, 5, 4, red16);
  f.Fill(5, 3, 10, 4, blue16);
  f.in(2, 4) = blue16;
  SmoothTJunctionRight(f.ContextAt(4, 3));
  Expected(f).Set(4, 3, Mix16(24576, 8192)).Check();
}

TEST(JunctionTRight, RunsLongerThan128AreHeldTo128) {
  // A 200-pixel line: staged shares (127 - 2k) / 128 over 64 pixels, each
  // red value exactly 256 * (1 + 2k); pixel 64 and beyond untouched.
  TestFrame<PF_Pixel16> f(210, 5, black16, 1);
  f.Fill(1, 2, 201, 3, red16);
  SmoothTJunctionRight(f.ContextAt(200, 2));
  Expected e(f);
  for (int32_t k = 0; k < 64; ++k) e.Set(200 - k, 2, Mix16(static_cast<uint16_t>(256 * (1 + 2 * k))));
  e.Check();
}

TEST(JunctionTUpDown, SpursFillOnlyTheCornerRightOfP) {
  // Up: spur (7, 2) on top of bar y = 3, x = 3..11.
  {
    TestFrame<PF_Pixel16> f(14, 6, black16);
    f.Fill(3, 3, 12, 4, red16);
    f.in(7, 2) = red16;
    SmoothTJunctionUp(f.ContextAt(7, 2));
    Expected(f).Set(7, 2, Mix16(24576)).Set(8, 2, Mix16(12288)).Set(9, 2, Mix16(4096)).Check();
  }
  // Down: spur (7, 3) under bar y = 2.
  {
    TestFrame<PF_Pixel16> f(14, 6, black16, 1);
    f.Fill(3, 2, 12, 3, red16);
    f.in(7, 3) = red16;
    SmoothTJunctionDown(f.ContextAt(7, 3));
    Expected(f).Set(7, 3, Mix16(24576)).Set(8, 3, Mix16(12288)).Set(9, 3, Mix16(4096)).Check();
  }
}

TEST(JunctionTUpDown, TaperOnlyWhenTheBeyondPixelMatchesItsPositiveDiagonal) {
  // Run x = 4, y = 3..6 below P = (4, 3), blue on its left, black on its
  // right; B = (4, 2) is blue.
  TestFrame<PF_Pixel16> f(8, 10, black16);
  f.Fill(0, 0, 5, 3, blue16);
  f.Fill(0, 3, 4, 10, blue16);
  f.Fill(4, 3, 5, 7, red16);
  SmoothTJunctionUp(f.ContextAt(4, 3));
  Expected(f).Check();  // the pixel right of B is black: nothing written

  f.in(5, 2) = blue16;
  SmoothTJunctionUp(f.ContextAt(4, 3));
  Expected(f).Set(4, 3, Mix16(20480, 12288)).Set(4, 4, Mix16(28672, 4096)).Check();
}

TEST(JunctionTLeft, FreeEndAndSpurWriteOnlyTheRun) {
  // Left end of line y = 2, x = 4..7.
  {
    TestFrame<PF_Pixel16> f(10, 5, black16);
    f.Fill(4, 2, 8, 3, red16);
    SmoothTJunctionLeft(f.ContextAt(4, 2));
    Expected(f).Set(4, 2, Mix16(8192)).Set(5, 2, Mix16(24576)).Check();
  }
  // Spur (3, 7) out of the left of bar x = 4: no corner ramps.
  {
    TestFrame<PF_Pixel16> f(7, 14, black16);
    f.Fill(4, 3, 5, 12, red16);
    f.in(3, 7) = red16;
    SmoothTJunctionLeft(f.ContextAt(3, 7));
    Expected(f).Set(3, 7, Mix16(24576)).Check();
  }
}

TEST(JunctionTLeft, TapersOnlyWhenBothBeyondDiagonalsMatchTheBeyondPixel) {
  // Blue above and left of the run y = 3, x = 5..8; black below.
  TestFrame<PF_Pixel16> f(10, 6, black16);
  f.Fill(0, 0, 10, 3, blue16);
  f.Fill(0, 3, 5, 4, blue16);
  f.Fill(5, 3, 9, 4, red16);
  SmoothTJunctionLeft(f.ContextAt(5, 3));
  Expected(f).Check();  // the pixel below B is black: nothing written

  f.in(4, 4) = blue16;
  SmoothTJunctionLeft(f.ContextAt(5, 3));
  Expected(f).Set(5, 3, Mix16(20480, 12288)).Set(6, 3, Mix16(28672, 4096)).Check();
}

}  // namespace
}  // namespace corvalin

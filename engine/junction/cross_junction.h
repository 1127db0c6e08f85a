// Cross-junctions: lone pixels and crossings of thin diagonal lines
// (four-sided pixels). P touches its own colour only at its corners: it is
// mixed with the diagonals that differ from it, and the inner corners of the
// diagonal steps through P get ramps along P's row and column.
#pragma once

#include <cstdint>

#include "engine/junction/junction_ramp.h"
#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

// Bits of the diagonals alike P.
enum AlikeDiagonal : uint32_t {
  upperLeftAlike = 1,
  upperRightAlike = 2,
  lowerRightAlike = 4,
  lowerLeftAlike = 8,
};

// One ramp along the line from startIndex, partnered with the line beside it.
// It spans half the walk when its own line changed first, otherwise the walk
// times the weight factor ("Line Weight").
template <class Pixel, class Destination>
void MeasureAndRamp(const EdgeContext<Pixel, Destination>& ctx, int32_t startIndex, int32_t startDst,
                    int32_t partnerOffset, int32_t step, int32_t stepDst, int32_t low,
                    int32_t high, int32_t coord) {
  const RunLength run =
      MeasureRun(ctx, startIndex, startIndex + partnerOffset, step, low, high, coord);
  WriteRamp(ctx, run.length, startIndex, startDst, partnerOffset, step, stepDst,
            run.stoppedOnOwnLine);
}

// A side of P whose ramp runs away from P, in (column, row) steps. The ramp
// starts at P's neighbour on that side; its partner line lies one step
// towards whichever of the two flanking diagonals is alike P.
struct CrossSide {
  uint32_t firstDiagonal = 0, secondDiagonal = 0;  // AlikeDiagonal bits
  int32_t outX = 0, outY = 0;                      // from P away over the side
  int32_t towardsFirstX = 0, towardsFirstY = 0;    // from the ramp to the first diagonal's line
};

constexpr CrossSide crossSides[4] = {
    {.firstDiagonal = upperLeftAlike, .secondDiagonal = lowerLeftAlike, .outX = -1,
     .towardsFirstY = -1},
    {.firstDiagonal = upperLeftAlike, .secondDiagonal = upperRightAlike, .outY = -1,
     .towardsFirstX = -1},
    {.firstDiagonal = upperRightAlike, .secondDiagonal = lowerRightAlike, .outX = 1,
     .towardsFirstY = -1},
    {.firstDiagonal = lowerRightAlike, .secondDiagonal = lowerLeftAlike, .outY = 1,
     .towardsFirstX = 1},
};

template <class Pixel, class Destination>
void SmoothCrossJunction(const EdgeContext<Pixel, Destination>& ctx) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  const Pixel* in = ctx.sourcePixels;
  const uint32_t threshold = ctx.threshold;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t destinationStride = DestinationStride(ctx);
  const int32_t height = ctx.sourceWorld->height;
  const int32_t p = ctx.sourceIndex;
  const int32_t pd = ctx.destinationIndex;

  // Upper-left, upper-right, lower-right, lower-left, in bit order.
  const int32_t diagonals[4] = {p - sourceStride - 1, p - sourceStride + 1,
                                p + sourceStride + 1, p + sourceStride - 1};
  uint32_t alikeDiagonals = 0;
  for (int32_t i = 0; i < 4; ++i)
    if (PixelsAlike(in[p], in[diagonals[i]], threshold)) alikeDiagonals |= 1u << i;

  // P becomes the truncated mean of itself half-mixed with each differing
  // diagonal.
  int32_t sumA = 0, sumR = 0, sumG = 0, sumB = 0;
  for (int32_t i = 0; i < 4; ++i) {
    const Pixel value = (alikeDiagonals & (1u << i))
                            ? in[p]
                            : BlendPixels(in[p], in[diagonals[i]], 0.5f);
    sumA += value.alpha;
    sumR += value.red;
    sumG += value.green;
    sumB += value.blue;
  }
  ctx.destination.Write(pd, Pixel{static_cast<Channel>(sumA / 4), static_cast<Channel>(sumR / 4),
                                  static_cast<Channel>(sumG / 4), static_cast<Channel>(sumB / 4)});

  // A side flanked by exactly one alike diagonal lies in the inner corner of
  // a diagonal step: ramp along it, away from P, towards that diagonal's side.
  // The walk stays between 1 and the last but one column (by the source
  // stride) or row.
  for (const CrossSide& side : crossSides) {
    const bool first = (alikeDiagonals & side.firstDiagonal) != 0;
    const bool second = (alikeDiagonals & side.secondDiagonal) != 0;
    if (first == second) continue;
    const bool horizontal = side.outX != 0;
    const int32_t step = side.outX + side.outY * sourceStride;
    const int32_t stepDst = side.outX + side.outY * destinationStride;
    const int32_t towardsFirst = side.towardsFirstX + side.towardsFirstY * sourceStride;
    MeasureAndRamp(ctx, p + step, pd + stepDst, first ? towardsFirst : -towardsFirst, step,
                   stepDst, 1, horizontal ? sourceStride - 2 : height - 2,
                   horizontal ? ctx.x : ctx.y);
  }
}

}  // namespace corvalin

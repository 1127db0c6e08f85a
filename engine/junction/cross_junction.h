// Cross-junctions: lone pixels and crossings of thin diagonal lines
// (four-sided pixels). P touches its own colour only at its corners: it is
// mixed with the diagonals that differ from it, and the inner corners of the
// diagonal steps through P get ramps along P's row and column.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/junction/junction_ramp.h"
#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"
#include "engine/scan/step_pixels.h"

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
template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void MeasureAndRamp(const EdgeContext<Pixel, Destination, EngineSteps>& ctx,
                                           int32_t startIndex, int32_t startDst,
                                           int32_t partnerOffset, int32_t step, int32_t stepDst,
                                           int32_t low, int32_t high, int32_t coord) {
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
    {.firstDiagonal = upperLeftAlike,
     .secondDiagonal = lowerLeftAlike,
     .outX = -1,
     .towardsFirstY = -1},
    {.firstDiagonal = upperLeftAlike,
     .secondDiagonal = upperRightAlike,
     .outY = -1,
     .towardsFirstX = -1},
    {.firstDiagonal = upperRightAlike,
     .secondDiagonal = lowerRightAlike,
     .outX = 1,
     .towardsFirstY = -1},
    {.firstDiagonal = lowerRightAlike,
     .secondDiagonal = lowerLeftAlike,
     .outY = 1,
     .towardsFirstX = 1},
};

// P's new value: the truncated mean of P half-mixed with each of its four
// diagonals, where a diagonal alike P counts as P itself.
template <class Pixel, class Destination, class EngineSteps>
Pixel MeanOfHalfMixes(const EdgeContext<Pixel, Destination, EngineSteps>& ctx, const Pixel& P,
                      const Pixel& q0, const Pixel& q1, const Pixel& q2, const Pixel& q3,
                      uint32_t alikeDiagonals) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  const Pixel* diagonal[4] = {&q0, &q1, &q2, &q3};
  int32_t sumA = 0, sumR = 0, sumG = 0, sumB = 0;
  for (int32_t i = 0; i < 4; ++i) {
    const Pixel value = (alikeDiagonals & (1u << i)) ? P : BlendPixels(ctx, P, *diagonal[i], 0.5f);
    sumA += value.alpha;
    sumR += value.red;
    sumG += value.green;
    sumB += value.blue;
  }
  return Pixel{static_cast<Channel>(sumA / 4), static_cast<Channel>(sumR / 4),
               static_cast<Channel>(sumG / 4), static_cast<Channel>(sumB / 4)};
}

// P's new value into `centre`, given the bits of the diagonals that differ
// from P (upper-left, upper-right, lower-right, lower-left); returns the bits
// of those alike P.
template <class Pixel, class Destination, class EngineSteps>
uint32_t CrossCentre(const EdgeContext<Pixel, Destination, EngineSteps>& ctx, const Pixel& P,
                     const Pixel& q0, const Pixel& q1, const Pixel& q2, const Pixel& q3,
                     uint32_t differingDiagonals, Pixel& centre) {
  const uint32_t alikeDiagonals = ~differingDiagonals & 15u;
  centre = MeanOfHalfMixes(ctx, P, q0, q1, q2, q3, alikeDiagonals);
  return alikeDiagonals;
}

// The ramps of a cross-junction: a side flanked by exactly one alike
// diagonal lies in the inner corner of a diagonal step; ramp along it, away
// from P, towards that diagonal's side. The walk stays between 1 and the last
// but one column (by the source stride) or row. Each side is a template
// argument, so that its steps and bounds are fixed when it is compiled.
template <CrossSide side, class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void RampCrossSide(const EdgeContext<Pixel, Destination, EngineSteps>& ctx,
                                          uint32_t alikeDiagonals) {
  const bool first = (alikeDiagonals & side.firstDiagonal) != 0;
  const bool second = (alikeDiagonals & side.secondDiagonal) != 0;
  if (first == second) return;
  constexpr bool horizontal = side.outX != 0;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t step = side.outX + side.outY * sourceStride;
  const int32_t stepDst = side.outX + side.outY * DestinationStride(ctx);
  const int32_t towardsFirst = side.towardsFirstX + side.towardsFirstY * sourceStride;
  MeasureAndRamp(ctx, ctx.sourceIndex + step, ctx.destinationIndex + stepDst,
                 first ? towardsFirst : -towardsFirst, step, stepDst, 1,
                 horizontal ? sourceStride - 2 : ctx.sourceWorld->height - 2,
                 horizontal ? ctx.x : ctx.y);
}

template <class Pixel, class Destination, class EngineSteps>
void RampCrossSides(const EdgeContext<Pixel, Destination, EngineSteps>& ctx,
                    uint32_t alikeDiagonals) {
  RampCrossSide<crossSides[0]>(ctx, alikeDiagonals);
  RampCrossSide<crossSides[1]>(ctx, alikeDiagonals);
  RampCrossSide<crossSides[2]>(ctx, alikeDiagonals);
  RampCrossSide<crossSides[3]>(ctx, alikeDiagonals);
}

// P's new value, then the ramps, given the bits of the diagonals that differ
// from P (DifferingOfFour of P and its upper-left, upper-right, lower-right
// and lower-left neighbours), for a scan that has tested them already.
template <class Pixel, class Destination, class EngineSteps>
inline void SmoothCrossJunctionGivenDiagonals(
    const EdgeContext<Pixel, Destination, EngineSteps>& ctx, uint32_t differingDiagonals) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t p = ctx.sourceIndex;
  const int32_t pd = ctx.destinationIndex;

  // Upper-left, upper-right, lower-right, lower-left, in bit order.
  const Pixel& P = in[p];
  const Pixel& upperLeft = in[p - sourceStride - 1];
  const Pixel& upperRight = in[p - sourceStride + 1];
  const Pixel& lowerRight = in[p + sourceStride + 1];
  const Pixel& lowerLeft = in[p + sourceStride - 1];
  Pixel centre;
  const uint32_t alikeDiagonals =
      CrossCentre(ctx, P, upperLeft, upperRight, lowerRight, lowerLeft, differingDiagonals, centre);
  ctx.destination.Write(pd, centre);
  RampCrossSides(ctx, alikeDiagonals);
}

template <class Pixel, class Destination, class EngineSteps>
inline void SmoothCrossJunction(const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t p = ctx.sourceIndex;
  SmoothCrossJunctionGivenDiagonals(
      ctx, DifferingOfFour(ctx, in[p], in[p - sourceStride - 1], in[p - sourceStride + 1],
                           in[p + sourceStride + 1], in[p + sourceStride - 1]));
}

}  // namespace corvalin

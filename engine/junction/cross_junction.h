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

template <class Pixel, class Destination>
void SmoothCrossJunction(const EdgeContext<Pixel, Destination>& ctx) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  const Pixel* in = ctx.sourcePixels;
  const uint32_t threshold = ctx.threshold;
  const int32_t S = SourceStride(ctx), D = DestinationStride(ctx);
  const int32_t H = ctx.sourceWorld->height;
  const int32_t p = ctx.sourceIndex;
  const int32_t pd = ctx.destinationIndex;

  // Upper-left, upper-right, lower-right, lower-left, in bit order.
  const int32_t diagonals[4] = {p - S - 1, p - S + 1, p + S + 1, p + S - 1};
  uint32_t alikeDiagonals = 0;
  for (int32_t i = 0; i < 4; ++i)
    if (PixelsAlike(in[p], in[diagonals[i]], threshold)) alikeDiagonals |= 1u << i;

  // P becomes the truncated mean of itself half-mixed with each differing
  // diagonal.
  int32_t sumA = 0, sumR = 0, sumG = 0, sumB = 0;
  for (int32_t i = 0; i < 4; ++i) {
    Pixel value = in[p];
    if (!(alikeDiagonals & (1u << i))) BlendPixels(in[p], in[diagonals[i]], value, 0.5f);
    sumA += value.alpha;
    sumR += value.red;
    sumG += value.green;
    sumB += value.blue;
  }
  ctx.destinationPixels[pd] =
      Pixel{static_cast<Channel>(sumA / 4), static_cast<Channel>(sumR / 4),
            static_cast<Channel>(sumG / 4), static_cast<Channel>(sumB / 4)};

  // A side flanked by exactly one alike diagonal lies in the inner corner of
  // a diagonal step: ramp along it, away from P, towards that diagonal's side.
  struct Side {
    uint32_t first, second;
    int32_t start, startDst, step, stepDst;
    int32_t partnerFirst, partnerSecond;
    int32_t low, high, coord;
  };
  const Side sides[4] = {
      {upperLeftAlike, lowerLeftAlike, p - 1, pd - 1, -1, -1, -S, S, 1, S - 2, ctx.x},
      {upperLeftAlike, upperRightAlike, p - S, pd - D, -S, -D, -1, 1, 1, H - 2, ctx.y},
      {upperRightAlike, lowerRightAlike, p + 1, pd + 1, 1, 1, -S, S, 1, S - 2, ctx.x},
      {lowerRightAlike, lowerLeftAlike, p + S, pd + D, S, D, 1, -1, 1, H - 2, ctx.y},
  };
  for (const Side& side : sides) {
    const bool first = (alikeDiagonals & side.first) != 0;
    const bool second = (alikeDiagonals & side.second) != 0;
    if (first == second) continue;
    MeasureAndRamp(ctx, side.start, side.startDst, first ? side.partnerFirst : side.partnerSecond,
                   side.step, side.stepDst, side.low, side.high, side.coord);
  }
}

}  // namespace corvalin

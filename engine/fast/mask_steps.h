// The steps at a scanned pixel, shared by both row scans of the fast engine:
// the straight-run step, and the step of the pixel's neighbour mask as the
// plain scan's dispatch runs it. The arms are cleared only for the corner
// steps, the only ones that read them; a cross-junction whose diagonals the
// straight-run step has tested takes them from there.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "engine/fast/corner_fast.h"
#include "engine/fast/cross_junction_fast.h"
#include "engine/fast/fast_pixels.h"
#include "engine/fast/fast_steps.h"
#include "engine/fast/measure_run_fast.h"
#include "engine/fast/pixel_simd.h"
#include "engine/fast/ramps_fast.h"
#include "engine/fast/straight_run_fast.h"
#include "engine/fast/t_junction_fast.h"
#include "engine/scan/scan_rows.h"

namespace corvalin::fast {

// The straight-run step at the placed pixel, which differs from the pixel
// above or below it. Where both differ, its four diagonals are tested at
// once (bits: upper-left, upper-right, lower-right, lower-left) and kept in
// differingDiagonals, for the cross-junction that the pixel then is unless
// its right neighbour is alike; the result says whether they were.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE bool RunStraightRunStep(const FastContext<Pixel, Destination>& ctx,
                                               bool upDiffers, bool downDiffers, __m128i limit,
                                               uint32_t& differingDiagonals) {
  if (!(upDiffers && downDiffers)) {
    SmoothStraightRun(ctx, upDiffers, downDiffers);
    return false;
  }
  const Pixel* in = ctx.sourcePixels;
  const int32_t p = ctx.sourceIndex;
  const int32_t sourceStride = SourceStride(ctx);
  differingDiagonals =
      simd::DifferingOfFour(in[p], in[p - sourceStride - 1], in[p - sourceStride + 1],
                            in[p + sourceStride + 1], in[p + sourceStride - 1], limit);
  SmoothStraightRunBetweenEdges(ctx, (differingDiagonals & 2u) != 0,
                                (differingDiagonals & 4u) != 0);
  return true;
}

template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void RunMaskStep(FastContext<Pixel, Destination>& ctx, uint32_t mask,
                                        bool diagonalsKnown, uint32_t differingDiagonals) {
  switch (mask) {
    case rightDiffers | upDiffers:
      for (Arm& arm : ctx.arms) arm = Arm{0, 0.0f, 0.0f, 0};
      UpperCorner(ctx);
      break;
    case rightDiffers | downDiffers:
      for (Arm& arm : ctx.arms) arm = Arm{0, 0.0f, 0.0f, 0};
      LowerCorner(ctx);
      break;
    case rightDiffers | upDiffers | downDiffers: SmoothTJunctionRight(ctx); break;
    case rightDiffers | upDiffers | leftDiffers: SmoothTJunctionUp(ctx); break;
    case rightDiffers | downDiffers | leftDiffers: SmoothTJunctionDown(ctx); break;
    case rightDiffers | upDiffers | downDiffers | leftDiffers:
      if (diagonalsKnown)
        SmoothCrossJunctionGivenDiagonals(ctx, differingDiagonals);
      else
        SmoothCrossJunction(ctx);
      break;
    default: break;
  }
}

}  // namespace corvalin::fast

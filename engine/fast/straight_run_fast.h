// The straight-run step in the fast engine, in the forms the fast scan calls
// with what it has tested already (SmoothStraightRun in
// engine/runs/straight_run.h is the plain one).
#pragma once

#include <cstdint>

#include "engine/fast/fast_pixels.h"
#include "engine/fast/fast_steps.h"
#include "engine/runs/straight_run.h"

namespace corvalin::fast {

// The step only asks whether a run is 2 or 3 long (SmallCornerFits), so a
// walk ends at 4: every longer run answers the same.
template <class Pixel, class Destination>
constexpr int32_t RunLengthCap(const FastContext<Pixel, Destination>&) {
  return 4;
}

// The step where P differs from the pixels above and below it and the scan
// has tested P against its upper-right and lower-right neighbours.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void SmoothStraightRunBetweenEdges(
    const FastContext<Pixel, Destination>& ctx, bool upperRightDiffers, bool lowerRightDiffers) {
  using namespace straight_run_detail;
  if (!upperRightDiffers)
    LowerLeftCorner(ctx);
  else if (!lowerRightDiffers)
    UpperLeftCorner(ctx);
}

// The same step where the scan already knows whether P differs from the
// pixels above and below it: the tests have no side effects, so taking those
// two from the scan, testing them first and making the two diagonal tests at
// once decides exactly as the plain SmoothStraightRun.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void SmoothStraightRun(const FastContext<Pixel, Destination>& ctx,
                                              bool upDiffers, bool downDiffers) {
  using namespace straight_run_detail;
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t i = ctx.sourceIndex;
  const Pixel& P = in[i];
  if (!upDiffers && !downDiffers) return;
  const Pixel& upperRight = in[i - sourceStride + 1];
  const Pixel& lowerRight = in[i + sourceStride + 1];
  if (upDiffers && downDiffers) {
    const uint32_t differ = DifferingOfFour(ctx, P, upperRight, lowerRight, P, P);
    SmoothStraightRunBetweenEdges(ctx, (differ & 1u) != 0, (differ & 2u) != 0);
  } else if (downDiffers) {
    if (PixelsAlike(ctx, P, upperRight)) LowerLeftCorner(ctx);
  } else if (PixelsAlike(ctx, P, lowerRight)) {
    UpperLeftCorner(ctx);
  }
}

}  // namespace corvalin::fast

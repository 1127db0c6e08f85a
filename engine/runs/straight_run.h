// The straight-run step: left-hand corners of a region, run at the pixel that
// follows a colour change, before that pixel's own classification.
#pragma once

#include <cstdint>

#include "engine/pixel/pixel_model.h"
#include "engine/runs/corner_blend.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

namespace straight_run_detail {

// The step only asks whether a run is 2 or 3 long (SmallCornerFits), so the
// fast engine ends a walk at 4: every longer run answers the same.
constexpr int32_t kRunLengthCap = kFastEngine ? 4 : INT32_MAX;

// Pixels from P rightwards over which both P's row and the row across the
// horizontal edge (acrossOffset) keep their colour; at most to the last column.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE int32_t HorizontalRun(const EdgeContext<Pixel, Destination>& ctx, int32_t acrossOffset) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t width = ctx.sourceWorld->width;
  int32_t h = 1;
  for (int32_t k = ctx.x, m = ctx.sourceIndex; k < width - 1 && h < kRunLengthCap;
       ++k, ++m, ++h) {
    if (PixelsDiffer(in[m], in[m + 1], ctx.threshold)) break;
    if (PixelsDiffer(in[m + acrossOffset], in[m + acrossOffset + 1], ctx.threshold)) break;
  }
  return h;
}

// Pixels of P's column, away from the horizontal edge, over which both P's
// column and the one on its left keep their colour. Upwards it stops before
// comparing row 1 with row 0; downwards it reaches at most the last row.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE int32_t VerticalRun(const EdgeContext<Pixel, Destination>& ctx, bool upwards) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t height = ctx.sourceWorld->height;
  const int32_t step = upwards ? -sourceStride : sourceStride;
  int32_t v = 1;
  for (int32_t r = ctx.y, m = ctx.sourceIndex;
       (upwards ? r > 1 : r < height - 1) && v < kRunLengthCap; r += upwards ? -1 : 1, m += step,
               ++v) {
    if (PixelsDiffer(in[m], in[m + step], ctx.threshold)) break;
    if (PixelsDiffer(in[m - 1], in[m - 1 + step], ctx.threshold)) break;
  }
  return v;
}

template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void LowerLeftCorner(const EdgeContext<Pixel, Destination>& ctx) {
  const int32_t sourceStride = SourceStride(ctx);
  if (!SmallCornerFits(HorizontalRun(ctx, sourceStride)) ||
      !SmallCornerFits(VerticalRun(ctx, true)))
    return;
  BlendCorner(ctx, -1, sourceStride, sourceStride - 1);
}

template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void UpperLeftCorner(const EdgeContext<Pixel, Destination>& ctx) {
  const int32_t sourceStride = SourceStride(ctx);
  if (!SmallCornerFits(HorizontalRun(ctx, -sourceStride)) ||
      !SmallCornerFits(VerticalRun(ctx, false)))
    return;
  BlendCorner(ctx, -1, -sourceStride, -sourceStride - 1);
}

}  // namespace straight_run_detail

// P's left neighbour differs from P. The lower-left case (the edge along P's
// bottom) is tried first; when its test holds, the upper-left case is not.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void SmoothStraightRun(const EdgeContext<Pixel, Destination>& ctx) {
  using namespace straight_run_detail;
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t i = ctx.sourceIndex;
  const Pixel& P = in[i];

  if (PixelsAlike(P, in[i - sourceStride + 1], ctx.threshold) &&
      PixelsDiffer(P, in[i + sourceStride], ctx.threshold)) {
    LowerLeftCorner(ctx);
    return;
  }

  if (!PixelsAlike(P, in[i + sourceStride + 1], ctx.threshold)) return;
  if (!PixelsDiffer(P, in[i - sourceStride], ctx.threshold)) return;
  UpperLeftCorner(ctx);
}

// The step where P differs from the pixels above and below it and the scan
// has tested P against its upper-right and lower-right neighbours.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void SmoothStraightRunBetweenEdges(const EdgeContext<Pixel, Destination>& ctx,
                                   bool upperRightDiffers, bool lowerRightDiffers) {
  using namespace straight_run_detail;
  if (!upperRightDiffers)
    LowerLeftCorner(ctx);
  else if (!lowerRightDiffers)
    UpperLeftCorner(ctx);
}

// The same step where the scan already knows whether P differs from the
// pixels above and below it: the tests have no side effects, so taking those
// two from the scan, testing them first and making the two diagonal tests at
// once decides exactly as above.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void SmoothStraightRun(const EdgeContext<Pixel, Destination>& ctx, bool upDiffers,
                       bool downDiffers) {
  using namespace straight_run_detail;
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t i = ctx.sourceIndex;
  const Pixel& P = in[i];
  if (!upDiffers && !downDiffers) return;
  const Pixel& upperRight = in[i - sourceStride + 1];
  const Pixel& lowerRight = in[i + sourceStride + 1];
  if (upDiffers && downDiffers) {
    const uint32_t differ = DifferingOfFour(P, upperRight, lowerRight, P, P, ctx.threshold);
    SmoothStraightRunBetweenEdges(ctx, (differ & 1u) != 0, (differ & 2u) != 0);
  } else if (downDiffers) {
    if (PixelsAlike(P, upperRight, ctx.threshold)) LowerLeftCorner(ctx);
  } else if (PixelsAlike(P, lowerRight, ctx.threshold)) {
    UpperLeftCorner(ctx);
  }
}

}  // namespace corvalin

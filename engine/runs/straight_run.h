// The straight-run step: left-hand corners of a region, run at the pixel that
// follows a colour change, before that pixel's own classification.
#pragma once

#include <cstdint>

#include "engine/pixel/pixel_model.h"
#include "engine/runs/corner_blend.h"
#include "engine/scan/edge_context.h"
#include "engine/scan/step_pixels.h"

namespace corvalin {

namespace straight_run_detail {

// The longest run a walk measures; the plain walks go to the image's edge.
template <class Pixel, class Destination, class EngineSteps>
constexpr int32_t RunLengthCap(const EdgeContext<Pixel, Destination, EngineSteps>&) {
  return INT32_MAX;
}

// Pixels from P rightwards over which both P's row and the row across the
// horizontal edge (acrossOffset) keep their colour; at most to the last column.
template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE int32_t
HorizontalRun(const EdgeContext<Pixel, Destination, EngineSteps>& ctx, int32_t acrossOffset) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t width = ctx.sourceWorld->width;
  int32_t h = 1;
  for (int32_t k = ctx.x, m = ctx.sourceIndex; k < width - 1 && h < RunLengthCap(ctx);
       ++k, ++m, ++h) {
    if (PixelsDiffer(ctx, in[m], in[m + 1])) break;
    if (PixelsDiffer(ctx, in[m + acrossOffset], in[m + acrossOffset + 1])) break;
  }
  return h;
}

// Pixels of P's column, away from the horizontal edge, over which both P's
// column and the one on its left keep their colour. Upwards it stops before
// comparing row 1 with row 0; downwards it reaches at most the last row.
template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE int32_t VerticalRun(const EdgeContext<Pixel, Destination, EngineSteps>& ctx,
                                           bool upwards) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t height = ctx.sourceWorld->height;
  const int32_t step = upwards ? -sourceStride : sourceStride;
  int32_t v = 1;
  for (int32_t r = ctx.y, m = ctx.sourceIndex;
       (upwards ? r > 1 : r < height - 1) && v < RunLengthCap(ctx);
       r += upwards ? -1 : 1, m += step, ++v) {
    if (PixelsDiffer(ctx, in[m], in[m + step])) break;
    if (PixelsDiffer(ctx, in[m - 1], in[m - 1 + step])) break;
  }
  return v;
}

template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void LowerLeftCorner(
    const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  const int32_t sourceStride = SourceStride(ctx);
  if (!SmallCornerFits(HorizontalRun(ctx, sourceStride)) ||
      !SmallCornerFits(VerticalRun(ctx, true)))
    return;
  BlendCorner(ctx, -1, sourceStride, sourceStride - 1);
}

template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void UpperLeftCorner(
    const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  const int32_t sourceStride = SourceStride(ctx);
  if (!SmallCornerFits(HorizontalRun(ctx, -sourceStride)) ||
      !SmallCornerFits(VerticalRun(ctx, false)))
    return;
  BlendCorner(ctx, -1, -sourceStride, -sourceStride - 1);
}

}  // namespace straight_run_detail

// P's left neighbour differs from P. The lower-left case (the edge along P's
// bottom) is tried first; when its test holds, the upper-left case is not.
template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void SmoothStraightRun(
    const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  using namespace straight_run_detail;
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t i = ctx.sourceIndex;
  const Pixel& P = in[i];

  if (PixelsAlike(ctx, P, in[i - sourceStride + 1]) && PixelsDiffer(ctx, P, in[i + sourceStride])) {
    LowerLeftCorner(ctx);
    return;
  }

  if (!PixelsAlike(ctx, P, in[i + sourceStride + 1])) return;
  if (!PixelsDiffer(ctx, P, in[i - sourceStride])) return;
  UpperLeftCorner(ctx);
}

}  // namespace corvalin

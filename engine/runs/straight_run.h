// The straight-run step: left-hand corners of a region, run at the pixel that
// follows a colour change, before that pixel's own classification.
#pragma once

#include "engine/pixel/pixel_model.h"
#include "engine/runs/corner_blend.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

namespace straight_run_detail {

// Pixels from P rightwards over which both P's row and the row across the
// horizontal edge (acrossOffset) keep their colour; at most to the last column.
template <class Pixel, class Destination>
int32_t HorizontalRun(const EdgeContext<Pixel, Destination>& ctx, int32_t acrossOffset) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t width = ctx.sourceWorld->width;
  int32_t h = 1;
  for (int32_t k = ctx.x, m = ctx.sourceIndex; k < width - 1; ++k, ++m, ++h) {
    if (PixelsDiffer(in[m], in[m + 1], ctx.threshold)) break;
    if (PixelsDiffer(in[m + acrossOffset], in[m + acrossOffset + 1], ctx.threshold)) break;
  }
  return h;
}

// Pixels of P's column, away from the horizontal edge, over which both P's
// column and the one on its left keep their colour. Upwards it stops before
// comparing row 1 with row 0; downwards it reaches at most the last row.
template <class Pixel, class Destination>
int32_t VerticalRun(const EdgeContext<Pixel, Destination>& ctx, bool upwards) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t height = ctx.sourceWorld->height;
  const int32_t step = upwards ? -sourceStride : sourceStride;
  int32_t v = 1;
  for (int32_t r = ctx.y, m = ctx.sourceIndex; upwards ? r > 1 : r < height - 1;
       r += upwards ? -1 : 1, m += step, ++v) {
    if (PixelsDiffer(in[m], in[m + step], ctx.threshold)) break;
    if (PixelsDiffer(in[m - 1], in[m - 1 + step], ctx.threshold)) break;
  }
  return v;
}

}  // namespace straight_run_detail

// P's left neighbour differs from P. The lower-left case (the edge along P's
// bottom) is tried first; when its test holds, the upper-left case is not.
template <class Pixel, class Destination>
void SmoothStraightRun(const EdgeContext<Pixel, Destination>& ctx) {
  using namespace straight_run_detail;
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t i = ctx.sourceIndex;
  const Pixel& P = in[i];

  if (PixelsAlike(P, in[i - sourceStride + 1], ctx.threshold) &&
      PixelsDiffer(P, in[i + sourceStride], ctx.threshold)) {
    if (!SmallCornerFits(HorizontalRun(ctx, sourceStride)) ||
        !SmallCornerFits(VerticalRun(ctx, true)))
      return;
    BlendCorner(ctx, -1, sourceStride, sourceStride - 1);
    return;
  }

  if (!PixelsAlike(P, in[i + sourceStride + 1], ctx.threshold)) return;
  if (!PixelsDiffer(P, in[i - sourceStride], ctx.threshold)) return;
  if (!SmallCornerFits(HorizontalRun(ctx, -sourceStride)) ||
      !SmallCornerFits(VerticalRun(ctx, false)))
    return;
  BlendCorner(ctx, -1, -sourceStride, -sourceStride - 1);
}

}  // namespace corvalin

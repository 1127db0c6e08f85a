// The single-step corner: a right-hand corner whose two edges run on for only
// two or three pixels is pulled halfway towards the colour outside the corner.
#pragma once

#include "engine/pixel/pixel_model.h"
#include "engine/runs/corner_blend.h"
#include "engine/scan/edge_context.h"
#include "engine/scan/step_pixels.h"

namespace corvalin {

// Reads the arm lengths that the traces stored. The upper variant works on
// P's top-right corner (left and down arms), the lower on its bottom-right
// corner (left and up arms).
template <CornerFamily family, class Pixel, class Destination, class EngineSteps>
void SmoothSingleStepCorner(const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  constexpr bool upper = family == CornerFamily::upper;
  const int32_t sourceStride = SourceStride(ctx);
  const Pixel* in = ctx.sourcePixels;
  const int32_t i = ctx.sourceIndex;
  // The row away from the corner, and the row across its horizontal edge.
  const int32_t behind = upper ? sourceStride : -sourceStride;
  const int32_t across = -behind;
  if (PixelsDiffer(ctx, in[i], in[i + behind - 1])) return;
  if (!SmallCornerFits(ctx.arms[leftArm].length) ||
      !SmallCornerFits(ctx.arms[upper ? downArm : upArm].length))
    return;
  BlendCorner(ctx, 1, across, across + 1);
}

}  // namespace corvalin

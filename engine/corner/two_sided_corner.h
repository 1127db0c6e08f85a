// Two-sided corners (NeighbourMask 3: right and up differ, the upper family;
// NeighbourMask 5: right and down differ, the lower family): trace the four
// arms, shift and shorten them, then blend with the single-step corner or the
// ramps along the arms.
#pragma once

#include "engine/corner/arm_trace.h"
#include "engine/corner/corner_ramp.h"
#include "engine/runs/single_step_corner.h"

namespace corvalin {

// When one arm of a pair is exactly one pixel longer, both starts move half a
// pixel towards it; then each end is pulled towards its start, leaving the
// fraction w of the arm (0.5 when either arm of the pair stopped on its own
// line). All in float32.
inline void AdjustArms(Arm (&arms)[4], float weightFactor) {
  Arm& left = arms[leftArm];
  Arm& right = arms[rightArm];
  Arm& up = arms[upArm];
  Arm& down = arms[downArm];
  if (left.length - right.length == 1) {
    left.start = left.start - 0.5f;
    right.start = right.start - 0.5f;
  }
  float w = ((left.stopFlags | right.stopFlags) & ownLineStop) ? 0.5f : weightFactor;
  left.end = left.start - (left.start - left.end) * w;
  right.end = right.start + (right.end - right.start) * w;
  if (down.length - up.length == 1) {
    up.start = up.start + 0.5f;
    down.start = down.start + 0.5f;
  }
  w = ((up.stopFlags | down.stopFlags) & ownLineStop) ? 0.5f : weightFactor;
  up.end = up.start - (up.start - up.end) * w;
  down.end = down.start + (down.end - down.start) * w;
}

// Traces all four arms, adjusts them, then blends by the single-step corner
// or ramps along the arms.
template <CornerFamily family, class Pixel, class Destination, class EngineSteps>
void TraceAndBlend(EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  constexpr bool upper = family == CornerFamily::upper;
  TraceLeftArm<family>(ctx);
  TraceRightArm<family>(ctx);
  TraceUpArm<family>(ctx);
  TraceDownArm<family>(ctx);
  AdjustArms(ctx.arms, ctx.weightFactor);

  // The riser on P's right side and the previous riser, one column left.
  const int32_t ownRiser = ctx.arms[upper ? downArm : upArm].length;
  const int32_t previousRiser = ctx.arms[upper ? upArm : downArm].length;
  if (ctx.arms[leftArm].length >= 2 && ownRiser >= 2) {
    SmoothSingleStepCorner<family>(ctx);
  } else if (ctx.arms[rightArm].length >= 1) {
    RampLeftArm<family>(ctx);
    RampRightArm<family>(ctx);
    if (previousRiser >= 2) {
      RampUpArm<family>(ctx);
      RampDownArm<family>(ctx);
    }
  } else if (previousRiser >= 1) {
    RampUpArm<family>(ctx);
    RampDownArm<family>(ctx);
  }
}

template <CornerFamily family, class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void TwoSidedCorner(EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  constexpr bool upper = family == CornerFamily::upper;
  const int32_t sourceStride = SourceStride(ctx);
  const Pixel* in = ctx.sourcePixels;
  const int32_t p = ctx.sourceIndex;
  // The vertical neighbour that differs (U or D) and the pixel beside it over R.
  const int32_t vertical = upper ? p - sourceStride : p + sourceStride;
  const Pixel& V = in[vertical];
  const Pixel& R = in[p + 1];
  const Pixel& VR = in[vertical + 1];
  if (PixelsAlike(ctx, V, R) && PixelsDiffer(ctx, VR, V) && PixelsDiffer(ctx, VR, R)) return;
  TraceAndBlend<family>(ctx);
}

template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void UpperCorner(EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  TwoSidedCorner<CornerFamily::upper>(ctx);
}

template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void LowerCorner(EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  TwoSidedCorner<CornerFamily::lower>(ctx);
}

}  // namespace corvalin

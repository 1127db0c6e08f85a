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

// The fast engine's corner after the first test: it traces what the branch
// taken reads, and no more. The single-step corner reads two arm lengths
// alone, and a walk sets its arm's length before the nested trace, which
// moves only the arm's end; AdjustArms moves starts and ends only, and a ramp
// reads only its own arm. Walks and nested traces only read the source, so
// their order changes nothing.
template <CornerFamily family, class Pixel, class Destination>
void TraceAndBlendByNeed(EdgeContext<Pixel, Destination>& ctx) {
  using namespace arm_trace_detail;
  constexpr bool upper = family == CornerFamily::upper;
  constexpr ArmIndex ownRiserArm = upper ? downArm : upArm;
  constexpr ArmIndex previousRiserArm = upper ? upArm : downArm;
  Arm (&arms)[4] = ctx.arms;
  const int32_t x = ctx.x, y = ctx.y, p = ctx.sourceIndex;
  const bool mayNest = !(ctx.nested & 1);
  const bool leftTurned = WalkArm<family, leftArm>(ctx, x, y, p, arms[leftArm]);
  const bool ownRiserTurned = WalkArm<family, ownRiserArm>(ctx, x, y, p, arms[ownRiserArm]);
  if (arms[leftArm].length >= 2 && arms[ownRiserArm].length >= 2) {
    SmoothSingleStepCorner<family>(ctx);
    return;
  }
  const bool rightTurned = WalkArm<family, rightArm>(ctx, x, y, p, arms[rightArm]);
  const bool previousRiserTurned =
      WalkArm<family, previousRiserArm>(ctx, x, y, p, arms[previousRiserArm]);
  const bool rampAcross = arms[rightArm].length >= 1;
  const bool rampRisers = arms[previousRiserArm].length >= (rampAcross ? 2 : 1);
  if (!rampAcross && !rampRisers) return;
  if (rampAcross && mayNest) {
    if (leftTurned) MoveEndByNextCorner<family, leftArm>(ctx, arms[leftArm]);
    if (rightTurned) MoveEndByNextCorner<family, rightArm>(ctx, arms[rightArm]);
  }
  if (rampRisers && mayNest) {
    if (ownRiserTurned) MoveEndByNextCorner<family, ownRiserArm>(ctx, arms[ownRiserArm]);
    if (previousRiserTurned)
      MoveEndByNextCorner<family, previousRiserArm>(ctx, arms[previousRiserArm]);
  }
  AdjustArms(ctx.arms, ctx.weightFactor);
  if (rampAcross) {
    RampLeftArm<family>(ctx);
    RampRightArm<family>(ctx);
  }
  if (rampRisers) {
    RampUpArm<family>(ctx);
    RampDownArm<family>(ctx);
  }
}

template <CornerFamily family, class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void TwoSidedCorner(EdgeContext<Pixel, Destination>& ctx) {
  constexpr bool upper = family == CornerFamily::upper;
  const int32_t sourceStride = SourceStride(ctx);
  const Pixel* in = ctx.sourcePixels;
  const int32_t p = ctx.sourceIndex;
  // The vertical neighbour that differs (U or D) and the pixel beside it over R.
  const int32_t vertical = upper ? p - sourceStride : p + sourceStride;
  const Pixel& V = in[vertical];
  const Pixel& R = in[p + 1];
  const Pixel& VR = in[vertical + 1];
  if (PixelsAlike(V, R, ctx.threshold) && PixelsDiffer(VR, V, ctx.threshold) &&
      PixelsDiffer(VR, R, ctx.threshold))
    return;
  if constexpr (kFastEngine) {
    TraceAndBlendByNeed<family>(ctx);
    return;
  }

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

template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void UpperCorner(EdgeContext<Pixel, Destination>& ctx) {
  TwoSidedCorner<CornerFamily::upper>(ctx);
}

template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void LowerCorner(EdgeContext<Pixel, Destination>& ctx) {
  TwoSidedCorner<CornerFamily::lower>(ctx);
}

}  // namespace corvalin

// The two-sided corner's traces and its arm ramps in the fast engine
// (TraceAndBlend in engine/corner/two_sided_corner.h and ArmRampCount in
// engine/corner/corner_ramp.h are the plain ones).
#pragma once

#include <cstdint>

#include "engine/corner/two_sided_corner.h"
#include "engine/fast/fast_pixels.h"
#include "engine/fast/fast_steps.h"

namespace corvalin::fast {

// ceil without a call: the truncation towards zero is the ceiling of a
// negative or whole reach, and one less than it of a positive fraction. The
// reach lies within the image, so its truncation is in range, as the plain
// conversion of the ceiling assumes too.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE int32_t ArmRampCount(const FastContext<Pixel, Destination>&, double reach) {
  const int32_t whole = static_cast<int32_t>(reach);
  return static_cast<double>(whole) < reach ? whole + 1 : whole;
}

// The corner after the first test, tracing what the branch taken reads, and
// no more. The single-step corner reads two arm lengths alone, and a walk
// sets its arm's length before the nested trace, which moves only the arm's
// end; AdjustArms moves starts and ends only, and a ramp reads only its own
// arm. Walks and nested traces only read the source, so
// their order changes nothing.
template <CornerFamily family, class Pixel, class Destination>
void TraceAndBlend(FastContext<Pixel, Destination>& ctx) {
  using namespace arm_trace_detail;
  constexpr bool upper = family == CornerFamily::upper;
  constexpr ArmIndex ownRiserArm = upper ? downArm : upArm;
  constexpr ArmIndex previousRiserArm = upper ? upArm : downArm;
  Arm(&arms)[4] = ctx.arms;
  const int32_t x = ctx.x, y = ctx.y, p = ctx.sourceIndex;
  const bool mayNest = !(ctx.traceFlags & inNestedTrace);
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

}  // namespace corvalin::fast

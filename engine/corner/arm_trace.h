// Arm tracing at two-sided corners: how far the staircase edge runs from the
// corner pixel to the left, right, up and down.
//
// Every arm walks away from the corner along two adjacent pixel lines: the
// corner pixel's own line and the parallel line across the edge. A colour
// change on the own line ends the arm with ownLineStop; one on the other line
// means the staircase turns there, and a one-level nested trace of the next
// corner may move the arm's far end by half a pixel.
#pragma once

#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"
#include "engine/scan/step_pixels.h"

namespace corvalin {

namespace arm_trace_detail {

// How one of the eight arms walks. Offsets are in (column, row).
struct ArmWalk {
  int32_t stepX = 0, stepY = 0;  // away from the corner
  int32_t sideX = 0, sideY = 0;  // from the own line to the neighbour line
  // Arms with a pre-check start their pairs one pixel out (the previous
  // riser, the next step) and may be empty; the others start at the corner.
  bool preCheck = false;
  // The nested end move: a "longer" arm reaches half a pixel further when the
  // next arm is one longer; a "shorter" one ends half a pixel sooner when the
  // next arm is one shorter (and, where required, not empty).
  bool longerRule = false;
  bool nonZeroNested = false;
};

// Upper corners sit at P's top-right, lower ones at its bottom-right. The
// horizontal arms differ between the families only in the side they look
// across; the vertical arms swap roles (P's own riser against the previous
// one).
constexpr ArmWalk Walk(CornerFamily family, ArmIndex arm) {
  const bool upper = family == CornerFamily::upper;
  const int32_t across = upper ? -1 : 1;  // the row across P's corner edge
  switch (arm) {
    case leftArm: return {.stepX = -1, .sideY = across, .longerRule = true};
    case rightArm: return {.stepX = 1, .sideY = -across, .preCheck = true, .nonZeroNested = true};
    case upArm:
      return upper ? ArmWalk{.stepY = -1, .sideX = -1, .preCheck = true, .nonZeroNested = true}
                   : ArmWalk{.stepY = -1, .sideX = 1};
    case downArm:
    default:
      return upper ? ArmWalk{.stepY = 1, .sideX = 1, .longerRule = true}
                   : ArmWalk{.stepY = 1, .sideX = -1, .preCheck = true, .longerRule = true};
  }
}

// The walk goes on while its length is below the limit; a walk that reaches
// it takes the limit as its length. These keep every arm inside columns
// 1..sourceStride-2 and rows 1..height-2.
template <CornerFamily family, class Pixel, class Destination, class EngineSteps>
int32_t WalkLimit(const EdgeContext<Pixel, Destination, EngineSteps>& ctx, int32_t x, int32_t y,
                  ArmIndex arm) {
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t height = ctx.destinationHeight;
  const bool upper = family == CornerFamily::upper;
  switch (arm) {
    case leftArm: return x - 1;
    case rightArm: return sourceStride - 2 - x;
    case upArm: return upper ? y - 1 : y;
    case downArm:
    default: return upper ? height - 1 - y : height - 2 - y;
  }
}

// The walk of one arm from the corner pixel at (x, y), source index p: sets
// the arm's length, start and end, and adds its stop flags. Returns whether
// the walk ended where the staircase turns, the one end after which the next
// corner may move the arm's far end (MoveEndByNextCorner).
template <CornerFamily family, ArmIndex arm, class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE bool WalkArm(const EdgeContext<Pixel, Destination, EngineSteps>& ctx,
                                    int32_t x, int32_t y, int32_t p, Arm& result) {
  constexpr ArmWalk walk = Walk(family, arm);
  constexpr bool horizontal = arm == leftArm || arm == rightArm;
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t step = walk.stepX + walk.stepY * sourceStride;
  const int32_t side = walk.sideX + walk.sideY * sourceStride;

  if constexpr (walk.preCheck) {
    // The edge turns straight away: no arm in this direction.
    if (PixelsDiffer(ctx, in[p + side], in[p + side + step]) &&
        PixelsAlike(ctx, in[p + step], in[p + step + side])) {
      result.length = 0;
      return false;
    }
  }

  const int32_t limit = WalkLimit<family>(ctx, x, y, arm);
  const float start = static_cast<float>(horizontal ? x + 1 : y);
  auto finish = [&](int32_t armLength, int32_t flags) {
    result.length = armLength;
    result.start = start;
    result.end = start + static_cast<float>(horizontal ? walk.stepX : walk.stepY) *
                             static_cast<float>(armLength);
    result.stopFlags |= flags;
  };

  int32_t length = 1;
  if (walk.preCheck && !(length < limit)) {
    finish(limit, 0);
    return false;
  }
  for (;;) {
    // The first pixel of the pair at this length: the corner pixel itself at
    // length 1, or one pixel out for the arms with a pre-check.
    const int32_t a = p + step * (walk.preCheck ? length : length - 1);
    if (PixelsDiffer(ctx, in[a], in[a + step])) {
      finish(length, ownLineStop);
      return false;
    }
    if (PixelsDiffer(ctx, in[a + side], in[a + side + step])) {
      finish(length, 0);
      return true;
    }
    ++length;
    if (!(length < limit)) {
      finish(limit, 0);
      return false;
    }
  }
}

// After a walk that ended where the staircase turns: a one-level nested
// trace of the next corner of the same family, whose length alone may move
// the arm's far end by half a pixel. The nested trace starts no further one,
// so it is the walk alone.
template <CornerFamily family, ArmIndex arm, class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void MoveEndByNextCorner(
    const EdgeContext<Pixel, Destination, EngineSteps>& ctx, Arm& result) {
  constexpr ArmWalk walk = Walk(family, arm);
  constexpr bool horizontal = arm == leftArm || arm == rightArm;
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t height = ctx.destinationHeight;
  const int32_t length = result.length;
  if (!(ctx.x > 2 && ctx.x < sourceStride - 2 && ctx.y > 2 && ctx.y < height - 2)) return;
  const int32_t qx = ctx.x + walk.stepX * length + walk.sideX;
  const int32_t qy = ctx.y + walk.stepY * length + walk.sideY;
  const int32_t q = qy * sourceStride + qx;
  // Q's other differing neighbour: the one on the family's side for the
  // horizontal arms, the right one for the vertical arms.
  const int32_t other =
      horizontal ? q + (family == CornerFamily::upper ? -sourceStride : sourceStride) : q + 1;
  if (!PixelsDiffer(ctx, in[q], in[other])) return;

  Arm next = result;
  WalkArm<family, arm>(ctx, qx, qy, q, next);
  const int32_t nestedLength = next.length;

  if constexpr (walk.longerRule) {
    if (nestedLength - length == 1)
      result.end = result.end + static_cast<float>(walk.stepX + walk.stepY) * 0.5f;
  } else {
    if (length - nestedLength == 1 && (!walk.nonZeroNested || nestedLength != 0))
      result.end = result.end - static_cast<float>(walk.stepX + walk.stepY) * 0.5f;
  }
}

// The walk, then the end move by the next corner unless the context is
// itself a nested trace's.
template <CornerFamily family, ArmIndex arm, class Pixel, class Destination, class EngineSteps>
void TraceArm(EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  Arm& result = ctx.arms[arm];
  if (WalkArm<family, arm>(ctx, ctx.x, ctx.y, ctx.sourceIndex, result) &&
      !(ctx.traceFlags & inNestedTrace))
    MoveEndByNextCorner<family, arm>(ctx, result);
}

}  // namespace arm_trace_detail

template <CornerFamily family, class Pixel, class Destination, class EngineSteps>
void TraceLeftArm(EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  arm_trace_detail::TraceArm<family, leftArm>(ctx);
}

template <CornerFamily family, class Pixel, class Destination, class EngineSteps>
void TraceRightArm(EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  arm_trace_detail::TraceArm<family, rightArm>(ctx);
}

template <CornerFamily family, class Pixel, class Destination, class EngineSteps>
void TraceUpArm(EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  arm_trace_detail::TraceArm<family, upArm>(ctx);
}

template <CornerFamily family, class Pixel, class Destination, class EngineSteps>
void TraceDownArm(EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  arm_trace_detail::TraceArm<family, downArm>(ctx);
}

}  // namespace corvalin

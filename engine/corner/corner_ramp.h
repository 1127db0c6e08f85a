// Coverage ramps along the traced arms of a two-sided corner.
//
// A ramp walks an arm from its far end towards the corner and mixes every
// covered pixel with its partner across the edge. The partner's share is the
// area over the pixel under a line rising from 0 at `end` to 0.5 at `start`:
// up to distance t from `end` that area is t*t / (4 * span).
#pragma once

#include <cmath>

#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"
#include "engine/scan/step_pixels.h"

namespace corvalin {

namespace corner_ramp_detail {

// The pixels a ramp covers over a reach from the corner: its ceiling.
template <class Pixel, class Destination, class EngineSteps>
int32_t ArmRampCount(const EdgeContext<Pixel, Destination, EngineSteps>&, double reach) {
  return static_cast<int32_t>(std::ceil(reach));
}

struct RampShape {
  bool lengthCheck = false;  // for the arms that may be empty
  // Where pixel i lies on the axis: c - count + i + offset (ascending ramps)
  // or c + count - 1 - i + offset (descending ramps). The lower vertical grid
  // counts bottom edges, hence offset 1 there.
  int32_t offset = 0;
  int32_t partnerX = 0, partnerY = 0;  // the pixel across the edge
};

// The riser on P's right (upper down, lower up) covers P's row and mixes with
// the right neighbour; the previous riser (upper up, lower down) stops one row
// short of P and mixes with the left one.
constexpr RampShape Shape(CornerFamily family, ArmIndex arm) {
  const bool upper = family == CornerFamily::upper;
  switch (arm) {
    case leftArm: return {.partnerY = upper ? -1 : 1};
    case rightArm: return {.lengthCheck = true, .partnerY = upper ? 1 : -1};
    case upArm:
      return upper ? RampShape{.lengthCheck = true, .partnerX = -1}
                   : RampShape{.offset = 1, .partnerX = 1};
    case downArm:
    default:
      return upper ? RampShape{.partnerX = 1}
                   : RampShape{.lengthCheck = true, .offset = 1, .partnerX = -1};
  }
}

template <CornerFamily family, ArmIndex arm, class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void RampArm(const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  constexpr RampShape shape = Shape(family, arm);
  constexpr bool horizontal = arm == leftArm || arm == rightArm;
  constexpr bool descending = arm == rightArm || arm == downArm;
  const Arm& a = ctx.arms[arm];
  if (shape.lengthCheck && a.length < 1) return;

  const float armStart = a.start;
  const float armEnd = a.end;
  // The unshifted corner: a half-pixel start shift does not change the count.
  const int32_t cornerEdge = horizontal ? ctx.x + 1 : ctx.y;
  const float c = static_cast<float>(cornerEdge);
  const double reach = static_cast<double>(descending ? armEnd - c : c - armEnd);
  const int32_t count = ArmRampCount(ctx, reach);
  if (count <= 0) return;

  // The whole grid line below the end (at it, for ascending arms), from which
  // the covered pixels count.
  int32_t endLine;
  if constexpr (!descending) {
    endLine = static_cast<int32_t>(armEnd);
  } else if constexpr (arm == rightArm) {
    endLine = static_cast<int32_t>(static_cast<double>(armEnd) - 0.000001);
  } else {
    endLine = static_cast<int32_t>(static_cast<double>(armEnd) - 0.00001);
  }
  const float span = descending ? armEnd - armStart : armStart - armEnd;

  const int32_t sourceStride = SourceStride(ctx);
  const int32_t destinationStride = DestinationStride(ctx);
  const int32_t along = horizontal ? 1 : sourceStride;
  const int32_t alongDst = horizontal ? 1 : destinationStride;
  const int32_t partner = shape.partnerX + shape.partnerY * sourceStride;
  const int32_t corner = horizontal ? ctx.x : ctx.y;
  // Axis position of pixel 0 and the direction of the walk towards the corner.
  const int32_t first =
      descending ? cornerEdge + count - 1 + shape.offset : cornerEdge - count + shape.offset;
  const int32_t direction = descending ? -1 : 1;

  float prev = 0.0f;
  for (int32_t i = 0; i < count; ++i) {
    const float t = descending ? armEnd - static_cast<float>(endLine - i)
                               : static_cast<float>(endLine + i + 1) - armEnd;
    const float m = ((t * t) * 0.5f) * 0.5f / span;
    const float weight = 1.0f - (m - prev);
    const int32_t delta = first + direction * i - corner;
    const int32_t pixel = ctx.sourceIndex + delta * along;
    BlendAt(ctx, pixel, pixel + partner, ctx.destinationIndex + delta * alongDst, weight);
    prev = m;
  }
}

}  // namespace corner_ramp_detail

template <CornerFamily family, class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void RampLeftArm(const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  corner_ramp_detail::RampArm<family, leftArm>(ctx);
}

template <CornerFamily family, class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void RampRightArm(const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  corner_ramp_detail::RampArm<family, rightArm>(ctx);
}

template <CornerFamily family, class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void RampUpArm(const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  corner_ramp_detail::RampArm<family, upArm>(ctx);
}

template <CornerFamily family, class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void RampDownArm(const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  corner_ramp_detail::RampArm<family, downArm>(ctx);
}

}  // namespace corvalin

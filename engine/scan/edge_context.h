// The per-render working record that the scan driver fills and hands to every
// smoothing step. A plain value: nested arm traces copy it whole.
#pragma once

#include <cstdint>

#include "sdk/AE_Effect.h"

namespace corvalin {

// One arm of a two-sided corner. `start` and `end` lie on the pixel-boundary
// grid (x for left/right arms, y for up/down arms) and are whole or half
// numbers, exact in float32.
struct Arm {
  int32_t length;
  float start;
  float end;
  int32_t stopFlags;
};

// Bit 0 of Arm::stopFlags: the trace ended at a colour change on the corner
// pixel's own row (left/right arms) or own column (up/down arms).
constexpr int32_t ownLineStop = 1;

enum ArmIndex : int32_t { leftArm = 0, rightArm = 1, upArm = 2, downArm = 3 };

// Destination is the output pixel base for the serial scan; the banded
// parallel scan substitutes a writer that routes writes outside the band.
template <class PixelType, class Destination = PixelType*>
struct EdgeContext {
  using Pixel = PixelType;
  PF_EffectWorld* sourceWorld;
  PF_EffectWorld* destinationWorld;
  const Pixel* sourcePixels;
  Destination destinationPixels;
  int32_t x;
  int32_t y;
  int32_t sourceIndex;
  int32_t destinationIndex;
  Arm arms[4];
  int32_t nested;  // bit 0: a copy made for a nested trace; starts no further one
  uint32_t threshold;
  float weightFactor;
};

template <class Pixel, class Destination>
inline int32_t SourceStride(const EdgeContext<Pixel, Destination>& ctx) {
  return ctx.sourceWorld->rowbytes / static_cast<int32_t>(sizeof(Pixel));
}

template <class Pixel, class Destination>
inline int32_t DestinationStride(const EdgeContext<Pixel, Destination>& ctx) {
  return ctx.destinationWorld->rowbytes / static_cast<int32_t>(sizeof(Pixel));
}

// The two corner families: the corner at the pixel's top-right (NeighbourMask
// 3, right and up differ) or bottom-right (mask 5, right and down differ).
enum class CornerFamily { upper, lower };

}  // namespace corvalin

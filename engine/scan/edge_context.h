// The per-render working record that the scan driver fills and hands to every
// smoothing step. A plain value: nested arm traces copy it whole.
#pragma once

#include <cstdint>

#include "engine/pixel/pixel_destination.h"
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

// The steps as written here, the definition of the output. A context of
// another kind of steps (the fast engine's) makes the steps call that kind's
// variants where it has one: each variant is an overload for its contexts,
// found by argument-dependent lookup wherever a step calls it unqualified.
struct PlainSteps {};

// The steps read sourcePixels and write through `destination`: the output
// itself in the serial scan, a writer that routes writes outside the band in
// the banded parallel scan.
template <class PixelType, PixelDestination<PixelType> Destination = OutputWriter<PixelType>,
          class StepsType = PlainSteps>
struct EdgeContext {
  using Pixel = PixelType;
  using Steps = StepsType;
  PF_EffectWorld* sourceWorld;
  const Pixel* sourcePixels;
  // The output is reached only through `destination`, which can only write:
  // the steps know of it no more than its rows and their stride.
  Destination destination;
  int32_t destinationHeight;
  // Pixels per row, padding included: rowbytes / pixel size of each world.
  int32_t sourceStride;
  int32_t destinationStride;
  // Placed by the scan at every pixel it classifies.
  int32_t x = 0;
  int32_t y = 0;
  int32_t sourceIndex = 0;
  int32_t destinationIndex = 0;
  Arm arms[4] = {};
  int32_t nested = 0;  // bit 0: a copy made for a nested trace; starts no further one
  uint32_t threshold;
  float weightFactor;
};

template <class Pixel, class Destination, class Steps>
inline int32_t SourceStride(const EdgeContext<Pixel, Destination, Steps>& ctx) {
  return ctx.sourceStride;
}

template <class Pixel, class Destination, class Steps>
inline int32_t DestinationStride(const EdgeContext<Pixel, Destination, Steps>& ctx) {
  return ctx.destinationStride;
}

// The two corner families: the corner at the pixel's top-right (NeighbourMask
// 3, right and up differ) or bottom-right (mask 5, right and down differ).
enum class CornerFamily { upper, lower };

}  // namespace corvalin

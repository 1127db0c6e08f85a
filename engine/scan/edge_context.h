// The working record that the row scan fills and hands to every smoothing
// step, made afresh for each part of a frame that is scanned (the whole frame,
// or one band).
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

// A bit of EdgeContext::traceFlags: the context was made to trace the next
// corner for another corner's arm, so its traces start no nested trace. The
// engine's own nested traces are walks alone (MoveEndByNextCorner) and never
// set it.
constexpr int32_t inNestedTrace = 1;

enum ArmIndex : int32_t { leftArm = 0, rightArm = 1, upArm = 2, downArm = 3 };

// The plain engine's tag, the EngineSteps of its contexts: the steps as
// written here, the definition of the output. A context tagged with another
// engine's steps (fast::FastSteps) makes the steps call that engine's variants
// where it has one: each variant is an overload for its contexts, found by
// argument-dependent lookup wherever a step calls it unqualified.
struct PlainSteps {};

// The steps read sourcePixels and write through `destination`: the output
// itself in the serial scan, a writer that routes writes outside the band in
// the banded parallel scan. EngineSteps, an engine's tag, picks whose steps run.
template <class PixelType, PixelDestination<PixelType> Destination = OutputWriter<PixelType>,
          class EngineStepsType = PlainSteps>
struct EdgeContext {
  using Pixel = PixelType;
  using EngineSteps = EngineStepsType;
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
  int32_t traceFlags = 0;  // inNestedTrace or 0; cleared at every pixel the scan places
  uint32_t threshold;
  float weightFactor;
};

template <class Pixel, class Destination, class EngineSteps>
inline int32_t SourceStride(const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  return ctx.sourceStride;
}

template <class Pixel, class Destination, class EngineSteps>
inline int32_t DestinationStride(const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  return ctx.destinationStride;
}

// The two corner families: the corner at the pixel's top-right (NeighbourMask
// 3, right and up differ) or bottom-right (mask 5, right and down differ).
enum class CornerFamily { upper, lower };

}  // namespace corvalin

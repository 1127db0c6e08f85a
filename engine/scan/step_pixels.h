// The pixel comparisons and blends as the steps make them: through the step
// context, with its threshold, so that a context of the fast engine puts
// that engine's forms of them in their place (engine/fast/fast_pixels.h).
// Here they are the pixel model's definitions, unchanged.
#pragma once

#include <cstdint>

#include "engine/pixel/always_inline.h"
#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE bool PixelsDiffer(const EdgeContext<Pixel, Destination, EngineSteps>& ctx,
                                         const Pixel& a, const Pixel& b) {
  return PixelsDiffer(a, b, ctx.threshold);
}

template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE bool PixelsAlike(const EdgeContext<Pixel, Destination, EngineSteps>& ctx,
                                        const Pixel& a, const Pixel& b) {
  return !PixelsDiffer(ctx, a, b);
}

template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE uint32_t
DifferingOfFour(const EdgeContext<Pixel, Destination, EngineSteps>& ctx, const Pixel& p,
                const Pixel& q0, const Pixel& q1, const Pixel& q2, const Pixel& q3) {
  return DifferingOfFour(p, q0, q1, q2, q3, ctx.threshold);
}

template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE Pixel
BlendPixelsByWeight(const EdgeContext<Pixel, Destination, EngineSteps>&, const Pixel& a,
                    const Pixel& b, uint32_t wA) {
  return BlendPixelsByWeight(a, b, wA);
}

template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE Pixel BlendPixels(const EdgeContext<Pixel, Destination, EngineSteps>& ctx,
                                         const Pixel& a, const Pixel& b, float weight) {
  return BlendPixelsByWeight(ctx, a, b, BlendWeight<Pixel>(weight));
}

// Blends two source pixels into one destination pixel.
template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void BlendAt(const EdgeContext<Pixel, Destination, EngineSteps>& ctx,
                                    int32_t indexA, int32_t indexB, int32_t destinationIndex,
                                    float weight) {
  ctx.destination.Write(destinationIndex, BlendPixels(ctx, ctx.sourcePixels[indexA],
                                                      ctx.sourcePixels[indexB], weight));
}

}  // namespace corvalin

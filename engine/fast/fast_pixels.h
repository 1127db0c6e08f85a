// The steps' pixel comparisons and blends in the fast engine
// (engine/scan/step_pixels.h has the plain ones).
#pragma once

#include <cstdint>

#include "engine/fast/fast_steps.h"
#include "engine/fast/pixel_simd.h"
#include "engine/scan/step_pixels.h"

namespace corvalin::fast {

// Identical pixels (distance 0, alike at any threshold) are answered with one
// word comparison: the walks along an edge compare mostly identical pairs.
// Otherwise the distance is psadbw's exact sum.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE bool PixelsDiffer(const FastContext<Pixel, Destination>& ctx, const Pixel& a,
                                         const Pixel& b) {
  if (SamePixel(a, b)) return false;
  return ctx.threshold < static_cast<uint32_t>(simd::SumOfAbsoluteDifferences<Pixel>(
                             simd::LoadPixel(a), simd::LoadPixel(b)));
}

// The four comparisons at once.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE uint32_t DifferingOfFour(const FastContext<Pixel, Destination>& ctx,
                                                const Pixel& p, const Pixel& q0, const Pixel& q1,
                                                const Pixel& q2, const Pixel& q3) {
  return simd::DifferingOfFour(p, q0, q1, q2, q3, simd::ThresholdLanes(ctx.threshold));
}

// Unless a pixel is fully transparent all four channels mix: two opaque
// pixels mix to alpha (M * wA + M * wB) / M = M, as the pixel model's first
// case sets. The other cases are the pixel model's own.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE Pixel BlendPixelsByWeight(const FastContext<Pixel, Destination>&,
                                                 const Pixel& a, const Pixel& b, uint32_t wA) {
  if (a.alpha != 0 && b.alpha != 0) return simd::MixAllChannels(a, b, wA, ChannelMax<Pixel>() - wA);
  return corvalin::BlendPixelsByWeight(a, b, wA);
}

}  // namespace corvalin::fast

// The blend that ends every small-corner step: the corner pixel pulled halfway
// towards the colour outside the corner, the truncated average of the three
// pixels that touch that corner from outside.
#pragma once

#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"
#include "engine/scan/step_pixels.h"

namespace corvalin {

template <class Pixel>
CORVALIN_ALWAYS_INLINE Pixel OuterAverage(const Pixel& a, const Pixel& b, const Pixel& c) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  auto average = [](uint32_t ca, uint32_t cb, uint32_t cc) {
    return static_cast<Channel>((ca + cb + cc) / 3u);
  };
  Pixel result;
  result.alpha = average(a.alpha, b.alpha, c.alpha);
  result.red = average(a.red, b.red, c.red);
  result.green = average(a.green, b.green, c.green);
  result.blue = average(a.blue, b.blue, c.blue);
  return result;
}

// Offsets are from the corner pixel's source index.
template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE void BlendCorner(const EdgeContext<Pixel, Destination, EngineSteps>& ctx,
                                        int32_t first, int32_t second, int32_t third) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t i = ctx.sourceIndex;
  const Pixel outside = OuterAverage(in[i + first], in[i + second], in[i + third]);
  ctx.destination.Write(ctx.destinationIndex, BlendPixels(ctx, in[i], outside, 0.5f));
}

// A run or arm of two or three pixels makes a small corner.
inline bool SmallCornerFits(int32_t length) { return length == 2 || length == 3; }

}  // namespace corvalin

// Associated ("premultiplied") alpha and the straight colour the effect
// works on. OpenEXR files, associated-alpha TIFFs and most compositing hosts
// hold colour already multiplied by alpha; the effect compares and blends
// straight colour, so such a picture is unpremultiplied before the render
// and its result premultiplied after it. Every adapter does it here, so the
// same picture gives the same bytes through each of them.
//
// Render channels (PF_Pixel8: M = 255; PF_Pixel16: M = 32768), in unsigned
// integer arithmetic with the remainder dropped:
//   unpremultiply  alpha 0: colour 0; else colour = min(M, (c x M + a / 2) / a)
//   premultiply    colour = (c x a + M / 2) / M
// Float samples (float32, before and after the conversion to render channels):
//   unpremultiply  alpha above 0: colour = c / a; else colour 0 (NaN alpha too)
//   premultiply    colour = c x a
// Alpha itself never changes. A pixel whose alpha is M (float: 1) comes out
// of both unchanged, so an opaque picture renders exactly as it would with
// straight alpha. Premultiplying a straight colour c and unpremultiplying it
// again gives c back to within M / (2a) + 1/2 channel steps (integer), the
// rounding of one product and one quotient (float32).
#pragma once

#include <cstdint>

#include "engine/pixel/pixel_model.h"

namespace corvalin {

// How a picture's colour relates to its alpha.
enum class AlphaConvention { straight, premultiplied };

template <class Pixel>
constexpr Pixel UnpremultiplyPixel(Pixel p) {
  using T = decltype(p.red);
  constexpr uint32_t m = ChannelMax<Pixel>();
  const uint32_t a = p.alpha;
  if (a == m) return p;
  if (a == 0) {
    p.red = p.green = p.blue = 0;
    return p;
  }
  const auto channel = [a](uint32_t c) {
    const uint32_t v = (c * m + a / 2) / a;
    return static_cast<T>(v < m ? v : m);
  };
  p.red = channel(p.red);
  p.green = channel(p.green);
  p.blue = channel(p.blue);
  return p;
}

template <class Pixel>
constexpr Pixel PremultiplyPixel(Pixel p) {
  using T = decltype(p.red);
  constexpr uint32_t m = ChannelMax<Pixel>();
  const uint32_t a = p.alpha;
  if (a == m) return p;
  const auto channel = [a](uint32_t c) { return static_cast<T>((c * a + m / 2) / m); };
  p.red = channel(p.red);
  p.green = channel(p.green);
  p.blue = channel(p.blue);
  return p;
}

// Red, green and blue of one float pixel, in place.
inline void UnpremultiplyFloat(float& red, float& green, float& blue, float alpha) {
  if (alpha > 0.0f) {
    red = red / alpha;
    green = green / alpha;
    blue = blue / alpha;
  } else {
    red = green = blue = 0.0f;
  }
}

inline void PremultiplyFloat(float& red, float& green, float& blue, float alpha) {
  red = red * alpha;
  green = green * alpha;
  blue = blue * alpha;
}

}  // namespace corvalin

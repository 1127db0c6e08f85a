// Pixel model of the smoothing engine: channel maximum, colour distance, the
// two comparisons and the one blend through which every output pixel is made.
//
// Contract, for both depths (PF_Pixel8: ChannelMax 255; PF_Pixel16: 32768):
// - ColourDistance is the exact sum of the four absolute channel differences,
//   alpha included, in 0..4*ChannelMax.
// - PixelsDiffer(a, b, t) is t < distance; PixelsAlike is its complement.
// - BlendPixels(a, b, w): wA = trunc(float(M) * w) (one float32 product),
//   wB = M - wA, each channel (ca*wA + cb*wB) / M in 32-bit unsigned integers
//   with the remainder dropped, under the alpha rule: both opaque -> opaque mix
//   of colours; a transparent -> b's colour; b transparent -> a's colour;
//   otherwise all four channels mixed. Weights outside 0..1 are clamped.
// Exact under -ffp-contract=off and without -ffast-math (no fused or
// reordered float operations), identical on gcc, mingw and MSVC.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/pixel/always_inline.h"
#include "sdk/AE_Effect.h"

namespace corvalin {

template <class Pixel>
struct PixelTraits;

template <>
struct PixelTraits<PF_Pixel8> {
  using Channel = uint8_t;
  using Word = uint32_t;  // the whole pixel, for the identity test
  static constexpr uint32_t channelMax = 255;
};

template <>
struct PixelTraits<PF_Pixel16> {
  using Channel = uint16_t;
  using Word = uint64_t;
  static constexpr uint32_t channelMax = 32768;
};

template <class Pixel>
constexpr uint32_t ChannelMax() {
  return PixelTraits<Pixel>::channelMax;
}

// All four channels equal, as one machine-word comparison.
template <class Pixel>
CORVALIN_ALWAYS_INLINE bool SamePixel(const Pixel& a, const Pixel& b) {
  using Word = typename PixelTraits<Pixel>::Word;
  static_assert(sizeof(Word) == sizeof(Pixel));
  Word wa, wb;
  std::memcpy(&wa, &a, sizeof wa);
  std::memcpy(&wb, &b, sizeof wb);
  return wa == wb;
}

template <class Pixel>
CORVALIN_ALWAYS_INLINE int32_t ColourDistance(const Pixel& a, const Pixel& b) {
  auto diff = [](int32_t ca, int32_t cb) { return ca > cb ? ca - cb : cb - ca; };
  return diff(a.alpha, b.alpha) + diff(a.red, b.red) + diff(a.green, b.green) +
         diff(a.blue, b.blue);
}

template <class Pixel>
CORVALIN_ALWAYS_INLINE bool PixelsDiffer(const Pixel& a, const Pixel& b, uint32_t threshold) {
  return threshold < static_cast<uint32_t>(ColourDistance(a, b));
}

template <class Pixel>
CORVALIN_ALWAYS_INLINE bool PixelsAlike(const Pixel& a, const Pixel& b, uint32_t threshold) {
  return !PixelsDiffer(a, b, threshold);
}

// Bit i set when PixelsDiffer(p, q[i], threshold).
template <class Pixel>
CORVALIN_ALWAYS_INLINE uint32_t DifferingOfFour(const Pixel& p, const Pixel& q0, const Pixel& q1,
                                                const Pixel& q2, const Pixel& q3,
                                                uint32_t threshold) {
  return (PixelsDiffer(p, q0, threshold) ? 1u : 0u) | (PixelsDiffer(p, q1, threshold) ? 2u : 0u) |
         (PixelsDiffer(p, q2, threshold) ? 4u : 0u) | (PixelsDiffer(p, q3, threshold) ? 8u : 0u);
}

// wA of BlendPixels: trunc(float(M) * weight), the weight held to 0..1.
template <class Pixel>
constexpr uint32_t BlendWeight(float weight) {
  constexpr uint32_t M = ChannelMax<Pixel>();
  float product = static_cast<float>(M) * weight;
  // Clamp before converting: callers pass 0..1, and a float-to-int conversion
  // out of range (or of NaN) would be undefined.
  if (!(product > 0.0f)) product = 0.0f;
  if (product > static_cast<float>(M)) product = static_cast<float>(M);
  return static_cast<uint32_t>(static_cast<int32_t>(product));
}

// BlendPixels with its integer weight wA = BlendWeight(weight) given.
template <class Pixel>
CORVALIN_ALWAYS_INLINE Pixel BlendPixelsByWeight(const Pixel& a, const Pixel& b, uint32_t wA) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  constexpr uint32_t M = ChannelMax<Pixel>();
  const uint32_t wB = M - wA;
  auto mix = [wA, wB](uint32_t ca, uint32_t cb) {
    return static_cast<Channel>((ca * wA + cb * wB) / M);
  };
  Pixel result;
  if (a.alpha == M && b.alpha == M) {
    result.alpha = static_cast<Channel>(M);
    result.red = mix(a.red, b.red);
    result.green = mix(a.green, b.green);
    result.blue = mix(a.blue, b.blue);
  } else if (a.alpha == 0) {
    result = b;
    result.alpha = mix(a.alpha, b.alpha);
  } else if (b.alpha == 0) {
    result = a;
    result.alpha = mix(a.alpha, b.alpha);
  } else {
    result.alpha = mix(a.alpha, b.alpha);
    result.red = mix(a.red, b.red);
    result.green = mix(a.green, b.green);
    result.blue = mix(a.blue, b.blue);
  }
  return result;
}

template <class Pixel>
CORVALIN_ALWAYS_INLINE Pixel BlendPixels(const Pixel& a, const Pixel& b, float weight) {
  return BlendPixelsByWeight(a, b, BlendWeight<Pixel>(weight));
}

}  // namespace corvalin

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

#include "engine/pixel/fast_engine.h"
#include "engine/pixel/pixel_destination.h"
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

#ifdef CORVALIN_SSE2
namespace simd {

// One pixel in the low lanes of a vector, the rest zero.
template <class Pixel>
inline __m128i LoadPixel(const Pixel& p) {
  if constexpr (sizeof(Pixel) == 4) {
    int32_t word;
    std::memcpy(&word, &p, sizeof word);
    return _mm_cvtsi32_si128(word);
  } else {
    static_assert(sizeof(Pixel) == 8);
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&p));
  }
}

// The sum of the absolute channel differences of two pixels loaded by
// LoadPixel. Exact: psadbw sums absolute byte differences without rounding;
// for words, one of the two saturated differences is |a - b| and the other
// 0, and the four word sums are widened to 32 bits before they are added.
template <class Pixel>
inline int32_t SumOfAbsoluteDifferences(__m128i a, __m128i b) {
  if constexpr (sizeof(Pixel) == 4) {
    return _mm_cvtsi128_si32(_mm_sad_epu8(a, b));
  } else {
    const __m128i difference = _mm_or_si128(_mm_subs_epu16(a, b), _mm_subs_epu16(b, a));
    __m128i sums = _mm_unpacklo_epi16(difference, _mm_setzero_si128());
    sums = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, _MM_SHUFFLE(1, 0, 3, 2)));
    sums = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(sums);
  }
}

}  // namespace simd
#endif

template <class Pixel>
inline int32_t ColourDistance(const Pixel& a, const Pixel& b) {
#ifdef CORVALIN_SSE2
  return simd::SumOfAbsoluteDifferences<Pixel>(simd::LoadPixel(a), simd::LoadPixel(b));
#else
  auto diff = [](int32_t ca, int32_t cb) { return ca > cb ? ca - cb : cb - ca; };
  return diff(a.alpha, b.alpha) + diff(a.red, b.red) + diff(a.green, b.green) +
         diff(a.blue, b.blue);
#endif
}

template <class Pixel>
inline bool PixelsDiffer(const Pixel& a, const Pixel& b, uint32_t threshold) {
  return threshold < static_cast<uint32_t>(ColourDistance(a, b));
}

template <class Pixel>
inline bool PixelsAlike(const Pixel& a, const Pixel& b, uint32_t threshold) {
  return static_cast<uint32_t>(ColourDistance(a, b)) <= threshold;
}

// All four channels equal, as one machine-word comparison.
template <class Pixel>
inline bool SamePixel(const Pixel& a, const Pixel& b) {
  using Word = typename PixelTraits<Pixel>::Word;
  static_assert(sizeof(Word) == sizeof(Pixel));
  Word wa, wb;
  std::memcpy(&wa, &a, sizeof wa);
  std::memcpy(&wb, &b, sizeof wb);
  return wa == wb;
}

template <class Pixel>
inline Pixel BlendPixels(const Pixel& a, const Pixel& b, float weight) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  constexpr uint32_t M = ChannelMax<Pixel>();
  float product = static_cast<float>(M) * weight;
  // Clamp before converting: callers pass 0..1, and a float-to-int conversion
  // out of range (or of NaN) would be undefined.
  if (!(product > 0.0f)) product = 0.0f;
  if (product > static_cast<float>(M)) product = static_cast<float>(M);
  const uint32_t wA = static_cast<uint32_t>(static_cast<int32_t>(product));
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

// Blends two input pixels into one destination pixel.
template <class Pixel, PixelDestination<Pixel> Destination>
inline void BlendAt(const Pixel* input, const Destination& destination, int32_t indexA,
                    int32_t indexB, int32_t destinationIndex, float weight) {
  destination.Write(destinationIndex, BlendPixels(input[indexA], input[indexB], weight));
}

}  // namespace corvalin

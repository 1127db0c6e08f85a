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

#ifdef CORVALIN_SSE2
namespace simd {

// One pixel in the low lanes of a vector, the rest zero.
template <class Pixel>
CORVALIN_ALWAYS_INLINE __m128i LoadPixel(const Pixel& p) {
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
CORVALIN_ALWAYS_INLINE int32_t SumOfAbsoluteDifferences(__m128i a, __m128i b) {
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

// Four pixels side by side: all four in `low` at 8 bits; at 16 bits the
// first two in `low` and the last two in `high`.
struct FourPixels {
  __m128i low, high;
};

template <class Pixel>
CORVALIN_ALWAYS_INLINE FourPixels LoadFour(const Pixel& q0, const Pixel& q1, const Pixel& q2, const Pixel& q3) {
  if constexpr (sizeof(Pixel) == 4)
    return {_mm_unpacklo_epi64(_mm_unpacklo_epi32(LoadPixel(q0), LoadPixel(q1)),
                               _mm_unpacklo_epi32(LoadPixel(q2), LoadPixel(q3))),
            _mm_setzero_si128()};
  else
    return {_mm_unpacklo_epi64(LoadPixel(q0), LoadPixel(q1)),
            _mm_unpacklo_epi64(LoadPixel(q2), LoadPixel(q3))};
}

template <class Pixel>
CORVALIN_ALWAYS_INLINE FourPixels FourTimes(const Pixel& p) {
  if constexpr (sizeof(Pixel) == 4) {
    return {_mm_shuffle_epi32(LoadPixel(p), 0), _mm_setzero_si128()};
  } else {
    const __m128i twice = _mm_unpacklo_epi64(LoadPixel(p), LoadPixel(p));
    return {twice, twice};
  }
}

// All ones in 32-bit lane i where the colour distance of a[i] and b[i]
// exceeds the threshold. The distances are the exact sums of absolute
// differences as above, side by side. A distance is at most 4 * 65535, so a
// threshold held to INT32_MAX compares the same as a signed number.
// The threshold in every 32-bit lane, for DifferLanes. A distance is at most
// 4 * 65535, so a threshold held to INT32_MAX compares the same as a signed
// number. A scan makes this once.
CORVALIN_ALWAYS_INLINE __m128i ThresholdLanes(uint32_t threshold) {
  return _mm_set1_epi32(threshold > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(threshold));
}

template <class Pixel>
CORVALIN_ALWAYS_INLINE __m128i DifferLanes(const FourPixels& a, const FourPixels& b, __m128i limit) {
  __m128i sums;
  if constexpr (sizeof(Pixel) == 4) {
    const __m128i difference =
        _mm_or_si128(_mm_subs_epu8(a.low, b.low), _mm_subs_epu8(b.low, a.low));
    // psadbw sums eight bytes, two pixels; the even pixels alone, then the
    // odd ones shifted down, give the four sums.
    const __m128i even =
        _mm_sad_epu8(_mm_and_si128(difference, _mm_set_epi32(0, -1, 0, -1)), _mm_setzero_si128());
    const __m128i odd = _mm_sad_epu8(_mm_srli_epi64(difference, 32), _mm_setzero_si128());
    sums = _mm_or_si128(even, _mm_slli_epi64(odd, 32));
  } else {
    // Each pixel's four word differences summed pairwise into two 32-bit
    // lanes, then the pairs added across.
    auto pairSums = [](__m128i x, __m128i y) {
      const __m128i difference = _mm_or_si128(_mm_subs_epu16(x, y), _mm_subs_epu16(y, x));
      return _mm_castsi128_ps(_mm_add_epi32(_mm_and_si128(difference, _mm_set1_epi32(0xFFFF)),
                                            _mm_srli_epi32(difference, 16)));
    };
    const __m128 first = pairSums(a.low, b.low), second = pairSums(a.high, b.high);
    sums = _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0))),
                         _mm_castps_si128(_mm_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1))));
  }
  return _mm_cmpgt_epi32(sums, limit);
}

CORVALIN_ALWAYS_INLINE uint32_t LaneBits(__m128i lanes) {
  return static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(lanes)));
}

template <class Pixel>
CORVALIN_ALWAYS_INLINE uint32_t DifferingOfFour(const Pixel& p, const Pixel& q0, const Pixel& q1,
                                const Pixel& q2, const Pixel& q3, __m128i limit) {
  return LaneBits(DifferLanes<Pixel>(FourTimes(p), LoadFour(q0, q1, q2, q3), limit));
}

// Every channel of a and b mixed as (ca * wA + cb * wB) / M, truncated, for
// weights with wA + wB = M. At 8 bits the products and their sum fit 16 bits,
// pmaddwd forms the sums exactly and (x + 1 + (x >> 8)) >> 8 is x / 255 for
// every x up to 255 * 255. At 16 bits each product is put together from its
// low and high 16 bits and the sum, below 2^31, is divided by the shift.
template <class Pixel>
CORVALIN_ALWAYS_INLINE Pixel MixAllChannels(const Pixel& a, const Pixel& b, uint32_t wA, uint32_t wB) {
  const __m128i zero = _mm_setzero_si128();
  Pixel result;
  if constexpr (sizeof(Pixel) == 4) {
    static_assert(PixelTraits<Pixel>::channelMax == 255);
    const __m128i pairs = _mm_unpacklo_epi8(_mm_unpacklo_epi8(LoadPixel(a), LoadPixel(b)), zero);
    const __m128i sums =
        _mm_madd_epi16(pairs, _mm_set1_epi32(static_cast<int32_t>(wA | (wB << 16))));
    const __m128i quotients = _mm_srli_epi32(
        _mm_add_epi32(_mm_add_epi32(sums, _mm_set1_epi32(1)), _mm_srli_epi32(sums, 8)), 8);
    const __m128i words = _mm_packs_epi32(quotients, quotients);
    const int32_t word = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    std::memcpy(&result, &word, sizeof result);
  } else {
    static_assert(PixelTraits<Pixel>::channelMax == 32768);
    auto products = [](__m128i channels, uint32_t w) {
      const __m128i weight = _mm_set1_epi16(static_cast<int16_t>(w));
      return _mm_unpacklo_epi16(_mm_mullo_epi16(channels, weight),
                                _mm_mulhi_epu16(channels, weight));
    };
    const __m128i sums = _mm_add_epi32(products(LoadPixel(a), wA), products(LoadPixel(b), wB));
    // At most 65535; biased by -32768 the quotients pack to signed words
    // without saturating, and the bias comes off as the sign bit.
    const __m128i biased = _mm_sub_epi32(_mm_srli_epi32(sums, 15), _mm_set1_epi32(32768));
    const __m128i packed =
        _mm_xor_si128(_mm_packs_epi32(biased, biased), _mm_set1_epi16(INT16_MIN));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&result), packed);
  }
  return result;
}

}  // namespace simd
#endif

template <class Pixel>
CORVALIN_ALWAYS_INLINE int32_t ColourDistance(const Pixel& a, const Pixel& b) {
#ifdef CORVALIN_SSE2
  return simd::SumOfAbsoluteDifferences<Pixel>(simd::LoadPixel(a), simd::LoadPixel(b));
#else
  auto diff = [](int32_t ca, int32_t cb) { return ca > cb ? ca - cb : cb - ca; };
  return diff(a.alpha, b.alpha) + diff(a.red, b.red) + diff(a.green, b.green) +
         diff(a.blue, b.blue);
#endif
}

// The fast engine answers identical pixels (distance 0, alike at any
// threshold) with one word comparison: the walks along an edge compare
// mostly identical pairs.
template <class Pixel>
CORVALIN_ALWAYS_INLINE bool PixelsDiffer(const Pixel& a, const Pixel& b, uint32_t threshold) {
  if (kFastEngine && SamePixel(a, b)) return false;
  return threshold < static_cast<uint32_t>(ColourDistance(a, b));
}

template <class Pixel>
CORVALIN_ALWAYS_INLINE bool PixelsAlike(const Pixel& a, const Pixel& b, uint32_t threshold) {
  return !PixelsDiffer(a, b, threshold);
}

// Bit i set when PixelsDiffer(p, q[i], threshold): four comparisons with one
// pixel, which the fast engine makes at once.
template <class Pixel>
CORVALIN_ALWAYS_INLINE uint32_t DifferingOfFour(const Pixel& p, const Pixel& q0, const Pixel& q1, const Pixel& q2,
                                const Pixel& q3, uint32_t threshold) {
#ifdef CORVALIN_SSE2
  return simd::DifferingOfFour(p, q0, q1, q2, q3, simd::ThresholdLanes(threshold));
#else
  return (PixelsDiffer(p, q0, threshold) ? 1u : 0u) | (PixelsDiffer(p, q1, threshold) ? 2u : 0u) |
         (PixelsDiffer(p, q2, threshold) ? 4u : 0u) | (PixelsDiffer(p, q3, threshold) ? 8u : 0u);
#endif
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
#ifdef CORVALIN_SSE2
  // Unless a pixel is fully transparent all four channels mix: two opaque
  // pixels mix to alpha (M * wA + M * wB) / M = M, as the first case sets.
  if (a.alpha != 0 && b.alpha != 0) return simd::MixAllChannels(a, b, wA, wB);
#endif
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

// Blends two input pixels into one destination pixel.
template <class Pixel, PixelDestination<Pixel> Destination>
CORVALIN_ALWAYS_INLINE void BlendAt(const Pixel* input, const Destination& destination, int32_t indexA,
                    int32_t indexB, int32_t destinationIndex, float weight) {
  destination.Write(destinationIndex, BlendPixels(input[indexA], input[indexB], weight));
}

}  // namespace corvalin

// Pixel comparisons and blends on SSE2 vectors, each exactly the pixel
// model's arithmetic (engine/pixel/pixel_model.h) for the pixels it takes.
#pragma once

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "engine/pixel/always_inline.h"
#include "engine/pixel/pixel_model.h"

namespace corvalin::fast {

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
CORVALIN_ALWAYS_INLINE FourPixels LoadFour(const Pixel& q0, const Pixel& q1, const Pixel& q2,
                                           const Pixel& q3) {
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

// The threshold in every 32-bit lane, for DifferLanes. A distance is at most
// 4 * 65535, so a threshold held to INT32_MAX compares the same as a signed
// number. A scan makes this once.
CORVALIN_ALWAYS_INLINE __m128i ThresholdLanes(uint32_t threshold) {
  return _mm_set1_epi32(threshold > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(threshold));
}

// All ones in 32-bit lane i where the colour distance of a[i] and b[i]
// exceeds the threshold. The distances are the exact sums of absolute
// differences as above, side by side.
template <class Pixel>
CORVALIN_ALWAYS_INLINE __m128i DifferLanes(const FourPixels& a, const FourPixels& b,
                                           __m128i limit) {
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
CORVALIN_ALWAYS_INLINE Pixel MixAllChannels(const Pixel& a, const Pixel& b, uint32_t wA,
                                            uint32_t wB) {
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

}  // namespace corvalin::fast

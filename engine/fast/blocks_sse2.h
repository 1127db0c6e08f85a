// The fast engine's bulk comparisons on SSE2, four pixels a block: the
// baseline vector path (vector_path.h). blocks_avx2.h has the same
// operations eight pixels a block; row_relations.h and row_by_search.h are
// written once over either. Each is the pixel model's exact arithmetic.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "engine/fast/pixel_simd.h"
#include "engine/pixel/always_inline.h"

namespace corvalin::fast {

struct Sse2Blocks {
  static constexpr int32_t kPixels = 4;
  static constexpr int32_t kVectorBytes = 16;
  using Limit = __m128i;
  using Pixels = simd::FourPixels;
  using Bytes = __m128i;

  static CORVALIN_ALWAYS_INLINE Limit Threshold(uint32_t threshold) {
    return simd::ThresholdLanes(threshold);
  }

  // kPixels pixels from `at`.
  template <class Pixel>
  static CORVALIN_ALWAYS_INLINE Pixels Load(const Pixel* at) {
    const __m128i* vectors = reinterpret_cast<const __m128i*>(at);
    if constexpr (sizeof(Pixel) == 4)
      return {_mm_loadu_si128(vectors), _mm_setzero_si128()};
    else
      return {_mm_loadu_si128(vectors), _mm_loadu_si128(vectors + 1)};
  }

  // Bit k set where pixel k is identical in a and b.
  template <class Pixel>
  static CORVALIN_ALWAYS_INLINE uint32_t Identical(const Pixels& a, const Pixels& b) {
    if constexpr (sizeof(Pixel) == 4) {
      return simd::LaneBits(_mm_cmpeq_epi32(a.low, b.low));
    } else {
      // Two pixels a vector; a pixel is identical where both its lanes are.
      auto pairs = [](uint32_t lanes) {
        return (lanes & (lanes >> 1) & 1u) | ((lanes >> 2) & (lanes >> 3) & 1u) << 1;
      };
      return pairs(simd::LaneBits(_mm_cmpeq_epi32(a.low, b.low))) |
             pairs(simd::LaneBits(_mm_cmpeq_epi32(a.high, b.high))) << 2;
    }
  }

  // Bit k set where pixels k of a and b differ (simd::DifferLanes).
  template <class Pixel>
  static CORVALIN_ALWAYS_INLINE uint32_t Differ(const Pixels& a, const Pixels& b, Limit limit) {
    return simd::LaneBits(simd::DifferLanes<Pixel>(a, b, limit));
  }

  // Pixel p in every place of a vector.
  template <class Pixel>
  static CORVALIN_ALWAYS_INLINE Bytes Broadcast(const Pixel& p) {
    const __m128i one = simd::LoadPixel(p);
    return sizeof(Pixel) == 4 ? _mm_shuffle_epi32(one, 0) : _mm_unpacklo_epi64(one, one);
  }

  // Bit b set where byte b of the vector at `at` differs from `pattern`'s.
  static CORVALIN_ALWAYS_INLINE uint32_t UnequalBytes(const void* at, Bytes pattern) {
    return ~static_cast<uint32_t>(_mm_movemask_epi8(Equal(at, 0, pattern))) & 0xFFFFu;
  }

  // The same for the 64 bytes from `at`, 0 when all are alike: tested at
  // once, so a block with a difference gives its place without a second
  // search.
  static CORVALIN_ALWAYS_INLINE uint64_t UnequalBytes64(const void* at, Bytes pattern) {
    const __m128i e0 = Equal(at, 0, pattern), e1 = Equal(at, 1, pattern);
    const __m128i e2 = Equal(at, 2, pattern), e3 = Equal(at, 3, pattern);
    if (_mm_movemask_epi8(_mm_and_si128(_mm_and_si128(e0, e1), _mm_and_si128(e2, e3))) == 0xFFFF)
      return 0;
    return ~(static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(e0))) |
             static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(e1))) << 16 |
             static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(e2))) << 32 |
             static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(e3))) << 48);
  }

  // Whether all `vectors` vectors from `at` equal `pattern`: one comparison
  // a vector, one test in all.
  static CORVALIN_ALWAYS_INLINE bool AllEqual(const void* at, int32_t vectors, Bytes pattern) {
    __m128i equal = _mm_set1_epi8(-1);
    for (int32_t k = 0; k < vectors; ++k) equal = _mm_and_si128(equal, Equal(at, k, pattern));
    return _mm_movemask_epi8(equal) == 0xFFFF;
  }

 private:
  static CORVALIN_ALWAYS_INLINE __m128i Equal(const void* at, int32_t k, Bytes pattern) {
    return _mm_cmpeq_epi8(_mm_loadu_si128(static_cast<const __m128i*>(at) + k), pattern);
  }
};

}  // namespace corvalin::fast

// The fast engine's bulk comparisons on AVX2, eight pixels a block: the
// operations of blocks_sse2.h, the same answers for twice the pixels an
// instruction. Only functions of the AVX2 path call these (vector_path.h).
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "engine/fast/vector_path.h"

namespace corvalin::fast {

struct Avx2Blocks {
  static constexpr int32_t kPixels = 8;
  static constexpr int32_t kVectorBytes = 32;
  struct Limit {
    __m256i lanes;
  };
  // At 8 bits all eight pixels in `low`; at 16 bits the first four in `low`
  // and the last four in `high`.
  struct Pixels {
    __m256i low, high;
  };
  struct Bytes {
    __m256i pattern;
  };

  // A distance is at most 4 * 65535: a threshold held to INT32_MAX compares
  // the same as a signed number.
  static CORVALIN_TARGET_AVX2 inline Limit Threshold(uint32_t threshold) {
    return {
        _mm256_set1_epi32(threshold > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(threshold))};
  }

  template <class Pixel>
  static CORVALIN_TARGET_AVX2 inline Pixels Load(const Pixel* at) {
    const __m256i* vectors = reinterpret_cast<const __m256i*>(at);
    if constexpr (sizeof(Pixel) == 4)
      return {_mm256_loadu_si256(vectors), _mm256_setzero_si256()};
    else
      return {_mm256_loadu_si256(vectors), _mm256_loadu_si256(vectors + 1)};
  }

  template <class Pixel>
  static CORVALIN_TARGET_AVX2 inline uint32_t Identical(const Pixels& a, const Pixels& b) {
    if constexpr (sizeof(Pixel) == 4) {
      return LaneBits(_mm256_cmpeq_epi32(a.low, b.low));
    } else {
      return IdenticalQuads(a.low, b.low) | IdenticalQuads(a.high, b.high) << 4;
    }
  }

  // As simd::DifferLanes: psadbw of the even and the odd pixels at 8 bits;
  // at 16 bits each pixel's word differences summed in pairs, then the pairs
  // added across. vshufps pairs within each 128-bit half, so the pixels come
  // out as 0 1 4 5 2 3 6 7 and one permutation puts them in order.
  template <class Pixel>
  static CORVALIN_TARGET_AVX2 inline uint32_t Differ(const Pixels& a, const Pixels& b,
                                                     Limit limit) {
    __m256i sums;
    if constexpr (sizeof(Pixel) == 4) {
      const __m256i difference =
          _mm256_or_si256(_mm256_subs_epu8(a.low, b.low), _mm256_subs_epu8(b.low, a.low));
      const __m256i even = _mm256_sad_epu8(
          _mm256_and_si256(difference, _mm256_set1_epi64x(0xFFFFFFFF)), _mm256_setzero_si256());
      const __m256i odd =
          _mm256_sad_epu8(_mm256_srli_epi64(difference, 32), _mm256_setzero_si256());
      sums = _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
    } else {
      const __m256 first = PairSums(a.low, b.low), second = PairSums(a.high, b.high);
      const __m256i halves = _mm256_add_epi32(
          _mm256_castps_si256(_mm256_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0))),
          _mm256_castps_si256(_mm256_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1))));
      sums = _mm256_permute4x64_epi64(halves, _MM_SHUFFLE(3, 1, 2, 0));
    }
    return LaneBits(_mm256_cmpgt_epi32(sums, limit.lanes));
  }

  template <class Pixel>
  static CORVALIN_TARGET_AVX2 inline Bytes Broadcast(const Pixel& p) {
    if constexpr (sizeof(Pixel) == 4) {
      int32_t word;
      std::memcpy(&word, &p, sizeof word);
      return {_mm256_set1_epi32(word)};
    } else {
      int64_t word;
      std::memcpy(&word, &p, sizeof word);
      return {_mm256_set1_epi64x(word)};
    }
  }

  static CORVALIN_TARGET_AVX2 inline uint32_t UnequalBytes(const void* at, Bytes pattern) {
    return ~static_cast<uint32_t>(_mm256_movemask_epi8(Equal(at, 0, pattern)));
  }

  static CORVALIN_TARGET_AVX2 inline uint64_t UnequalBytes64(const void* at, Bytes pattern) {
    const __m256i e0 = Equal(at, 0, pattern), e1 = Equal(at, 1, pattern);
    if (_mm256_movemask_epi8(_mm256_and_si256(e0, e1)) == -1) return 0;
    return ~(static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(e0))) |
             static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(e1))) << 32);
  }

  static CORVALIN_TARGET_AVX2 inline bool AllEqual(const void* at, int32_t vectors, Bytes pattern) {
    __m256i equal = _mm256_set1_epi8(-1);
    for (int32_t k = 0; k < vectors; ++k) equal = _mm256_and_si256(equal, Equal(at, k, pattern));
    return _mm256_movemask_epi8(equal) == -1;
  }

 private:
  // (Lambdas would not take the function's target: these are functions.)
  static CORVALIN_TARGET_AVX2 inline uint32_t IdenticalQuads(__m256i x, __m256i y) {
    return static_cast<uint32_t>(_mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpeq_epi64(x, y))));
  }
  static CORVALIN_TARGET_AVX2 inline __m256 PairSums(__m256i x, __m256i y) {
    const __m256i difference = _mm256_or_si256(_mm256_subs_epu16(x, y), _mm256_subs_epu16(y, x));
    return _mm256_castsi256_ps(
        _mm256_add_epi32(_mm256_and_si256(difference, _mm256_set1_epi32(0xFFFF)),
                         _mm256_srli_epi32(difference, 16)));
  }
  static CORVALIN_TARGET_AVX2 inline uint32_t LaneBits(__m256i lanes) {
    return static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(lanes)));
  }
  static CORVALIN_TARGET_AVX2 inline __m256i Equal(const void* at, int32_t k, Bytes pattern) {
    return _mm256_cmpeq_epi8(_mm256_loadu_si256(static_cast<const __m256i*>(at) + k),
                             pattern.pattern);
  }
};

}  // namespace corvalin::fast

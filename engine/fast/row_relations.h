// The neighbour relations the fast scan asks about, computed for a whole row
// at once and kept as bit masks, one bit a pixel, 64 pixels a word.
//
// For pixels row[0..count) of one row, with the rows above and below it one
// stride away, ClassifyRow sets, for i < rightCount,
//   differsRight bit i: PixelsDiffer(row[i], row[i + 1]),
//   sameAsRight  bit i: SamePixel(row[i], row[i + 1]),
// and, for i < count, wherever pixel i or pixel i - 1 is not identical to
// its right neighbour (or has none),
//   differsDown  bit i: PixelsDiffer(row[i], below[i]),
//   differsUp    bit i: PixelsDiffer(row[i], above[i]).
// A scan reads the up and down relations nowhere else: every step starts at
// a pixel unlike its right neighbour or at the pixel after one. Elsewhere
// those bits are exact or 0, and the rows above and below are read only in
// groups of four pixels that hold such a pixel, so flat stretches cost one
// comparison with the right neighbour a pixel. Exact for any threshold: the
// distances are the pixel model's sums of absolute differences
// (simd::DifferLanes).
#pragma once

#include <emmintrin.h>

#include <algorithm>
#include <cstddef>
#include <bit>
#include <cstdint>

#include "engine/fast/pixel_simd.h"
#include "engine/pixel/pixel_model.h"

namespace corvalin::fast {

constexpr int32_t kRelationBits = 64;

constexpr int32_t RelationWords(int32_t pixels) {
  return (pixels + kRelationBits - 1) / kRelationBits;
}

namespace detail {

// Four pixels from row + i, as DifferLanes takes them.
template <class Pixel>
CORVALIN_ALWAYS_INLINE simd::FourPixels LoadFourAt(const Pixel* row) {
  const __m128i* at = reinterpret_cast<const __m128i*>(row);
  if constexpr (sizeof(Pixel) == 4)
    return {_mm_loadu_si128(at), _mm_setzero_si128()};
  else
    return {_mm_loadu_si128(at), _mm_loadu_si128(at + 1)};
}

// Bit k set where pixel k of the four is identical in a and b.
template <class Pixel>
CORVALIN_ALWAYS_INLINE uint32_t IdenticalBits(const simd::FourPixels& a,
                                              const simd::FourPixels& b) {
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

// Whether row[1..64] are all identical to row[0]: one load and comparison
// a vector, against pixel 0 (they are each identical to the next exactly
// when all equal the first).
template <class Pixel>
CORVALIN_ALWAYS_INLINE bool FlatWord(const Pixel* row) {
  constexpr int32_t perVector = 16 / static_cast<int32_t>(sizeof(Pixel));
  const __m128i one = simd::LoadPixel(row[0]);
  const __m128i first =
      sizeof(Pixel) == 4 ? _mm_shuffle_epi32(one, 0) : _mm_unpacklo_epi64(one, one);
  __m128i equal = _mm_set1_epi8(-1);
  for (int32_t k = 0; k < kRelationBits; k += perVector)
    equal = _mm_and_si128(
        equal,
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 1 + k)), first));
  return _mm_movemask_epi8(equal) == 0xFFFF;
}

}  // namespace detail

// A row's masks, each of RelationWords(count) words.
struct RowMasks {
  uint64_t* differsUp;
  uint64_t* differsRight;
  uint64_t* sameAsRight;
  uint64_t* differsDown;
};

template <class Pixel>
void ClassifyRow(const Pixel* row, ptrdiff_t stride, int32_t count, int32_t rightCount,
                 uint32_t threshold, const RowMasks& masks) {
  const __m128i limit = simd::ThresholdLanes(threshold);
  const Pixel* above = row - stride;
  const Pixel* below = row + stride;
  const int32_t words = RelationWords(count);
  uint64_t unlikeCarry = 0;  // bit 63 of the previous word's "not identical"
  for (int32_t w = 0; w < words; ++w) {
    const int32_t first = w * kRelationBits;
    const int32_t end = std::min(first + kRelationBits, count);
    // Four pixels a step while their right neighbours are in the row; the
    // rest one by one.
    const int32_t vectorEnd = first + (std::min(end, rightCount) - first) / 4 * 4;
    uint64_t same = 0;
    if (end - first == kRelationBits && end <= rightCount && detail::FlatWord(row + first))
      same = ~uint64_t{0};
    else
      for (int32_t i = first; i < vectorEnd; i += 4)
        same |= uint64_t{detail::IdenticalBits<Pixel>(detail::LoadFourAt(row + i),
                                                      detail::LoadFourAt(row + i + 1))}
                << (i - first);
    for (int32_t i = vectorEnd; same != ~uint64_t{0} && i < std::min(end, rightCount); ++i)
      if (SamePixel(row[i], row[i + 1])) same |= uint64_t{1} << (i - first);
    const uint64_t covered =
        end - first == kRelationBits ? ~uint64_t{0} : (uint64_t{1} << (end - first)) - 1;
    const uint64_t unlike = ~same & covered;
    uint64_t needed = (unlike | unlike << 1 | unlikeCarry) & covered;
    unlikeCarry = unlike >> 63;
    uint64_t right = 0, up = 0, down = 0;
    while (needed != 0) {
      const int32_t group = std::countr_zero(needed) & ~3;
      needed &= ~(uint64_t{0xF} << group);
      const int32_t i = first + group;
      if (i + 4 <= vectorEnd) {
        const simd::FourPixels here = detail::LoadFourAt(row + i);
        right |= uint64_t{simd::LaneBits(
                     simd::DifferLanes<Pixel>(here, detail::LoadFourAt(row + i + 1), limit))}
                 << group;
        down |= uint64_t{simd::LaneBits(
                    simd::DifferLanes<Pixel>(here, detail::LoadFourAt(below + i), limit))}
                << group;
        up |= uint64_t{simd::LaneBits(
                  simd::DifferLanes<Pixel>(here, detail::LoadFourAt(above + i), limit))}
              << group;
        continue;
      }
      for (int32_t k = i; k < std::min(i + 4, end); ++k) {
        const uint64_t bit = uint64_t{1} << (k - first);
        if (k < rightCount && corvalin::PixelsDiffer(row[k], row[k + 1], threshold)) right |= bit;
        if (corvalin::PixelsDiffer(row[k], below[k], threshold)) down |= bit;
        if (corvalin::PixelsDiffer(row[k], above[k], threshold)) up |= bit;
      }
    }
    masks.differsRight[w] = right;
    masks.sameAsRight[w] = same;
    masks.differsDown[w] = down;
    masks.differsUp[w] = up;
  }
}

}  // namespace corvalin::fast

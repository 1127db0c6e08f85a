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
// blocks of pixels (four or eight, by the vector path) that hold such a
// pixel, so flat stretches cost one comparison with the right neighbour a
// pixel. Exact for any threshold: the distances are the pixel model's sums
// of absolute differences (simd::DifferLanes).
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "engine/fast/blocks_avx2.h"
#include "engine/fast/blocks_sse2.h"
#include "engine/fast/vector_path.h"
#include "engine/pixel/pixel_model.h"

namespace corvalin::fast {

constexpr int32_t kRelationBits = 64;

constexpr int32_t RelationWords(int32_t pixels) {
  return (pixels + kRelationBits - 1) / kRelationBits;
}

// A row's masks, each of RelationWords(count) words.
struct RowMasks {
  uint64_t* differsUp;
  uint64_t* differsRight;
  uint64_t* sameAsRight;
  uint64_t* differsDown;
};

template <class Blocks, class Pixel>
inline void ClassifyRowWith(const Pixel* row, ptrdiff_t stride, int32_t count, int32_t rightCount,
                            uint32_t threshold, const RowMasks& masks) {
  constexpr int32_t block = Blocks::kPixels;
  constexpr uint64_t blockBits = (uint64_t{1} << block) - 1;
  const auto limit = Blocks::Threshold(threshold);
  const Pixel* above = row - stride;
  const Pixel* below = row + stride;
  const int32_t words = RelationWords(count);
  uint64_t unlikeCarry = 0;  // bit 63 of the previous word's "not identical"
  for (int32_t w = 0; w < words; ++w) {
    const int32_t first = w * kRelationBits;
    const int32_t end = std::min(first + kRelationBits, count);
    // A block a step while their right neighbours are in the row; the rest
    // one by one.
    const int32_t vectorEnd = first + (std::min(end, rightCount) - first) / block * block;
    uint64_t same = 0;
    // Pixels first..first + 63 are each identical to the next exactly when
    // the 64 after the first all equal it.
    if (end - first == kRelationBits && end <= rightCount &&
        Blocks::AllEqual(row + first + 1,
                         kRelationBits * static_cast<int32_t>(sizeof(Pixel)) / Blocks::kVectorBytes,
                         Blocks::Broadcast(row[first])))
      same = ~uint64_t{0};
    else
      for (int32_t i = first; i < vectorEnd; i += block)
        same |= uint64_t{Blocks::template Identical<Pixel>(Blocks::Load(row + i),
                                                           Blocks::Load(row + i + 1))}
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
      const int32_t group = std::countr_zero(needed) & ~(block - 1);
      needed &= ~(blockBits << group);
      const int32_t i = first + group;
      if (i + block <= vectorEnd) {
        const auto here = Blocks::Load(row + i);
        right |= uint64_t{Blocks::template Differ<Pixel>(here, Blocks::Load(row + i + 1), limit)}
                 << group;
        down |= uint64_t{Blocks::template Differ<Pixel>(here, Blocks::Load(below + i), limit)}
                << group;
        up |= uint64_t{Blocks::template Differ<Pixel>(here, Blocks::Load(above + i), limit)}
              << group;
        continue;
      }
      for (int32_t k = i; k < std::min(i + block, end); ++k) {
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

template <class Pixel>
CORVALIN_TARGET_AVX2 void ClassifyRowAvx2(const Pixel* row, ptrdiff_t stride, int32_t count,
                                          int32_t rightCount, uint32_t threshold,
                                          const RowMasks& masks) {
  ClassifyRowWith<Avx2Blocks>(row, stride, count, rightCount, threshold, masks);
}

// The row's masks on the given vector path; the processor must run it.
template <VectorPath path = VectorPath::sse2, class Pixel>
void ClassifyRow(const Pixel* row, ptrdiff_t stride, int32_t count, int32_t rightCount,
                 uint32_t threshold, const RowMasks& masks) {
  if constexpr (path == VectorPath::avx2)
    ClassifyRowAvx2(row, stride, count, rightCount, threshold, masks);
  else
    ClassifyRowWith<Sse2Blocks>(row, stride, count, rightCount, threshold, masks);
}

}  // namespace corvalin::fast

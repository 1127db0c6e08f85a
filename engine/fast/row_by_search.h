// The fast scan of one row by search, for rows where few pixels differ
// from their right neighbour (row_by_masks.h has the other).
#pragma once

#include <emmintrin.h>

#include <bit>
#include <cstdint>

#include "engine/fast/blocks_avx2.h"
#include "engine/fast/blocks_sse2.h"
#include "engine/fast/mask_steps.h"
#include "engine/fast/pixel_simd.h"
#include "engine/fast/vector_path.h"
#include "engine/rect/process_rect.h"

namespace corvalin::fast {

// The first of `count` pixels from `row` that is not identical to its right
// neighbour, as an offset from `row`, or `count` when there is none; reads
// row[0] to row[count]. The plain scan passes over the same pixels one by one
// (or in blocks), since an identical right neighbour runs no step and sets
// nothing; this lands on the next pixel that does in one search. Pixels
// 0..i-1 are each identical to the next exactly when 1..i all equal pixel 0,
// so the search compares with pixel 0, one load per vector: the first pixel
// i >= 1 unlike it gives the answer i - 1.
template <class Blocks, class Pixel>
inline int32_t FirstChangeWith(const Pixel* row, int32_t count) {
  constexpr int32_t perVector = Blocks::kVectorBytes / static_cast<int32_t>(sizeof(Pixel));
  constexpr int32_t perBlock = 64 / static_cast<int32_t>(sizeof(Pixel));
  const auto first = Blocks::Broadcast(row[0]);
  const Pixel* next = row + 1;
  auto offsetOf = [](int32_t from, uint64_t unequal) {
    return from +
           static_cast<int32_t>(static_cast<uint32_t>(std::countr_zero(unequal)) / sizeof(Pixel));
  };
  int32_t k = 0;
  // Most stretches beside thin lines are a few pixels long: the first vector
  // is tested on its own. Then blocks of 64 bytes, two to a turn of the loop.
  if (perVector <= count) {
    if (const uint32_t unequal = Blocks::UnequalBytes(next, first)) return offsetOf(0, unequal);
    k = perVector;
  }
  for (; k + 2 * perBlock <= count; k += 2 * perBlock) {
    if (const uint64_t unequal = Blocks::UnequalBytes64(next + k, first))
      return offsetOf(k, unequal);
    if (const uint64_t unequal = Blocks::UnequalBytes64(next + k + perBlock, first))
      return offsetOf(k + perBlock, unequal);
  }
  if (k + perBlock <= count) {
    if (const uint64_t unequal = Blocks::UnequalBytes64(next + k, first))
      return offsetOf(k, unequal);
    k += perBlock;
  }
  for (; k + perVector <= count; k += perVector)
    if (const uint32_t unequal = Blocks::UnequalBytes(next + k, first)) return offsetOf(k, unequal);
  for (; k < count; ++k)
    if (!SamePixel(row[0], row[k + 1])) return k;
  return count;
}

template <class Pixel>
CORVALIN_TARGET_AVX2 int32_t FirstChangeAvx2(const Pixel* row, int32_t count) {
  return FirstChangeWith<Avx2Blocks>(row, count);
}

// The search on the given vector path; the processor must run it.
template <VectorPath path = VectorPath::sse2, class Pixel>
CORVALIN_ALWAYS_INLINE int32_t FirstChange(const Pixel* row, int32_t count) {
  if constexpr (path == VectorPath::avx2)
    return FirstChangeAvx2(row, count);
  else
    return FirstChangeWith<Sse2Blocks>(row, count);
}

// One row of the fast scan, found by search: the same pixels classified and
// the same steps run in the same order as by the plain ScanRows. It differs
// in what it computes, never in what it decides:
// - pixels identical to their right neighbour are passed over by a search
//   for the next one that is not (FirstChange);
// - a pixel's four neighbour tests are made at once, and mostly not made at
//   all: colour distance is symmetric, so a pixel's left bit is the right bit
//   of the pixel before it (0 when that one was passed over as identical),
//   and the look-ahead at the pixel before it has tested its up, down and
//   right neighbours; the straight-run step takes its up and down tests from
//   there too.
// Returns how many of the row's pixels are not identical to their right
// neighbour.
template <VectorPath path, class Pixel, class Destination>
int32_t ScanRowBySearch(FastContext<Pixel, Destination>& ctx, const ProcessRect& rect, int32_t y,
                        __m128i limit) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t destinationStride = DestinationStride(ctx);
  const int32_t width = ctx.sourceWorld->width;
  int32_t unlike = 0;
  bool continueRight = false;
  uint32_t previousRight = 0;
  bool aheadKnown = false;
  uint32_t ahead = 0;
  int32_t p = y * sourceStride + rect.left;
  int32_t pd = y * destinationStride + rect.left;
  for (int32_t x = rect.left; x < rect.right; ++x, ++p, ++pd) {
    // The straight-run step does nothing unless P differs from the pixel
    // above or below it; its diagonal tests serve a cross-junction at P.
    bool diagonalsKnown = false;
    uint32_t differingDiagonals = 0;
    if (continueRight) {
      continueRight = false;
      if (ahead & (aheadUpDiffers | aheadDownDiffers)) {
        PlaceContext(ctx, x, y, p, pd);
        diagonalsKnown =
            RunStraightRunStep(ctx, (ahead & aheadUpDiffers) != 0, (ahead & aheadDownDiffers) != 0,
                               limit, differingDiagonals);
      }
    }
    if (SamePixel(in[p], in[p + 1])) {
      const int32_t passed = FirstChange<path>(&in[p], rect.right - x);
      x += passed;
      p += passed;
      pd += passed;
      previousRight = 0;
      aheadKnown = false;
      diagonalsKnown = false;
      if (x == rect.right) break;
    }
    const Pixel& P = in[p];
    PlaceContext(ctx, x, y, p, pd);
    ++unlike;

    uint32_t mask;
    if (aheadKnown) {
      mask = ((ahead & aheadRightDiffers) ? uint32_t{rightDiffers} : 0u) |
             ((ahead & aheadUpDiffers) ? uint32_t{upDiffers} : 0u) |
             ((ahead & aheadDownDiffers) ? uint32_t{downDiffers} : 0u) |
             (previousRight ? uint32_t{leftDiffers} : 0u);
    } else {
      mask = simd::DifferingOfFour(P, in[p + 1], in[p - sourceStride], in[p + sourceStride],
                                   in[p - 1], limit);
    }
    previousRight = mask & rightDiffers;
    aheadKnown = false;
    if (mask == 0) continue;

    if (x < width - 2 && (mask & rightDiffers)) continueRight = true;

    RunMaskStep(ctx, mask, diagonalsKnown, differingDiagonals);

    if (x < width - 2) {
      const Pixel& next = in[p + 1];
      // The fourth test, of the pixel with itself, never differs.
      ahead = simd::DifferingOfFour(next, in[p + 1 - sourceStride], in[p + 1 + sourceStride],
                                    in[p + 2], next, limit);
      aheadKnown = true;
      // Only the step reads the context, and the next pixel places it anew.
      if (ahead == (aheadUpDiffers | aheadDownDiffers)) {
        PlaceContext(ctx, x + 1, y, p + 1, pd + 1);
        SmoothTJunctionLeft(ctx);
      }
    }
  }
  return unlike;
}

}  // namespace corvalin::fast

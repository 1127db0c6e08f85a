// The fast scan of one row from bit masks of its neighbour relations, for
// rows where many pixels differ from their right neighbour
// (row_by_search.h has the other).
#pragma once

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/fast/mask_steps.h"
#include "engine/fast/pixel_simd.h"
#include "engine/fast/row_relations.h"
#include "engine/rect/process_rect.h"

namespace corvalin::fast {

// Bits lo <= j < hi of word `word` of a row's masks.
inline uint64_t BitRange(int32_t word, int32_t lo, int32_t hi) {
  const int32_t first = std::clamp(lo - word * kRelationBits, 0, kRelationBits);
  const int32_t last = std::clamp(hi - word * kRelationBits, 0, kRelationBits);
  if (first >= last) return 0;
  const uint64_t upTo = last == kRelationBits ? ~uint64_t{0} : (uint64_t{1} << last) - 1;
  return upTo & ~((uint64_t{1} << first) - 1);
}

// The masks of the row being scanned, made once per band.
struct BandRelations {
  explicit BandRelations(int32_t pixels)
      : words(RelationWords(pixels)), storage(static_cast<size_t>(words + 1) * 4, 0) {}
  // Word w of each mask, w from 0 to words; word `words` stays 0, so the
  // masks shifted by a pixel read it past the row's end.
  uint64_t* Mask(int32_t which) {
    return storage.data() + static_cast<size_t>(which) * static_cast<size_t>(words + 1);
  }
  int32_t words;
  std::vector<uint64_t> storage;
};

// One row of the fast scan, found from masks: the same pixels classified and
// the same steps run in the same order as by the plain ScanRows. The row is
// classified first (ClassifyRow: a pixel's relations with its right
// neighbour and the ones above and below, many pixels an instruction), and
// the plain scan's decisions become bit arithmetic on the masks, for each
// pixel x of the row:
// - the straight run at x follows a pixel whose right neighbour differs
//   (continueRight), and does nothing unless x differs from the pixel above
//   or below it;
// - the neighbour-mask steps need the right neighbour and the one above or
//   below to differ; the left bit is the right bit of the pixel before
//   (colour distance is symmetric);
// - the look-ahead's mirrored T-junction at x + 1 follows a pixel that is
//   not identical to its right neighbour and differs from some neighbour;
//   then x + 1 differs up and down and not right.
// The scan then visits only the pixels where one of them runs, in row order
// (the next set bit), and at each runs them in the plain order: the straight
// run, the mask's step, the look-ahead. Steps read the source and write the
// output, so the masks made before them stay true. The straight-run step's
// diagonal tests serve a cross-junction at the same pixel.
template <class Pixel, VectorPath path = VectorPath::sse2>
class MaskRowScan {
 public:
  // Bit j of a row's masks is column base + j, from the left neighbour of
  // the first pixel scanned to the right neighbour of the last. The scan
  // covers row padding too, so right neighbours are bounded by the stride,
  // and only the straight run and the look-ahead by the width.
  MaskRowScan(const ProcessRect& rect, int32_t width, int32_t sourceStride)
      : base_(rect.left - 1), pixels_(rect.right - rect.left + 2),
        rightCount_(std::min(pixels_, sourceStride - 1 - base_)), scannedEnd_(rect.right - base_),
        straightEnd_(std::min(scannedEnd_, width - 1 - base_)),
        aheadEnd_(std::min(scannedEnd_, width - 2 - base_)), relations_(pixels_) {}

  // Returns how many of the row's pixels are not identical to their right
  // neighbour.
  template <class Destination>
  int32_t Scan(FastContext<Pixel, Destination>& ctx, int32_t y, __m128i limit) {
    const Pixel* in = ctx.sourcePixels;
    const int32_t sourceStride = SourceStride(ctx);
    const int32_t base = base_;
    const RowMasks masks{relations_.Mask(0), relations_.Mask(1), relations_.Mask(2),
                         relations_.Mask(3)};
    ClassifyRow<path>(in + static_cast<ptrdiff_t>(y) * sourceStride + base, sourceStride, pixels_,
                      rightCount_, ctx.threshold, masks);
    const uint64_t* differsUp = masks.differsUp;
    const uint64_t* differsDown = masks.differsDown;
    const uint64_t* differsRight = masks.differsRight;
    const uint64_t* sameAsRight = masks.sameAsRight;
    const int32_t rowStart = y * sourceStride + base;
    const int32_t rowStartOut = y * DestinationStride(ctx) + base;
    const int32_t straightEnd = straightEnd_, scannedEnd = scannedEnd_, aheadEnd = aheadEnd_;
    int32_t unlike = 0;
    for (int32_t w = 0; w < relations_.words; ++w) {
      const uint64_t right = differsRight[w], up = differsUp[w], down = differsDown[w];
      const uint64_t left = right << 1 | (w > 0 ? differsRight[w - 1] >> 63 : 0);
      auto next = [w](const uint64_t* mask) { return mask[w] >> 1 | mask[w + 1] << 63; };
      const uint64_t upOrDown = up | down;
      const uint64_t straight = left & upOrDown & BitRange(w, 2, straightEnd);
      const uint64_t stepped = right & upOrDown & BitRange(w, 1, scannedEnd);
      const uint64_t ahead = ~sameAsRight[w] & (right | upOrDown | left) & next(differsUp) &
                             next(differsDown) & ~next(differsRight) & BitRange(w, 1, aheadEnd);
      unlike += std::popcount(~sameAsRight[w] & BitRange(w, 1, scannedEnd));
      for (uint64_t sites = straight | stepped | ahead; sites != 0; sites &= sites - 1) {
        const int32_t j = w * kRelationBits + std::countr_zero(sites);
        const uint64_t bit = sites & -sites;
        const int32_t x = base + j;
        const int32_t p = rowStart + j;
        const int32_t pd = rowStartOut + j;
        bool diagonalsKnown = false;
        uint32_t differingDiagonals = 0;
        if (straight & bit) {
          PlaceContext(ctx, x, y, p, pd);
          diagonalsKnown = RunStraightRunStep(ctx, (up & bit) != 0, (down & bit) != 0, limit,
                                              differingDiagonals);
        }
        if (stepped & bit) {
          PlaceContext(ctx, x, y, p, pd);
          const uint32_t mask = rightDiffers | ((up & bit) ? uint32_t{upDiffers} : 0u) |
                                ((down & bit) ? uint32_t{downDiffers} : 0u) |
                                ((left & bit) ? uint32_t{leftDiffers} : 0u);
          RunMaskStep(ctx, mask, diagonalsKnown, differingDiagonals);
        }
        if (ahead & bit) {
          PlaceContext(ctx, x + 1, y, p + 1, pd + 1);
          SmoothTJunctionLeft(ctx);
        }
      }
    }
    return unlike;
  }

 private:
  int32_t base_, pixels_, rightCount_, scannedEnd_, straightEnd_, aheadEnd_;
  BandRelations relations_;
};

}  // namespace corvalin::fast

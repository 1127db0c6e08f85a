// The row scan of the fast engine (ScanRows in engine/scan/scan_rows.h is
// the plain one). Each row is scanned one of two ways, with the same steps
// in the same order and so the same bytes: by a search for the next pixel
// unlike its right neighbour (row_by_search.h), cheapest where such pixels
// are few, or from bit masks of the whole row's neighbour relations
// (row_by_masks.h), cheapest where they are many. Rows of a picture are
// mostly like the row above, so each row takes the way that suits the row
// before it.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "engine/fast/fast_steps.h"
#include "engine/fast/pixel_simd.h"
#include "engine/fast/row_by_masks.h"
#include "engine/fast/row_by_search.h"
#include "engine/fast/vector_path.h"
#include "engine/rect/process_rect.h"

namespace corvalin::fast {

enum class RowScan { bySearch, byMasks, byDensity };

// A row is scanned from masks after a row in which more than one pixel in
// kMaskDensity differed from its right neighbour.
constexpr int32_t kMaskDensity = 4;

// The fast scan with the way of each row fixed (tests hold each way to the
// plain scan), or chosen by density as ScanRows does.
template <RowScan how, VectorPath path = VectorPath::sse2, class Pixel, class Destination>
void ScanRowsWith(FastContext<Pixel, Destination>& ctx, const ProcessRect& rect, int32_t rowBegin,
                  int32_t rowEnd) {
  if (rowBegin >= rowEnd || rect.left >= rect.right) return;
  const __m128i limit = simd::ThresholdLanes(ctx.threshold);
  MaskRowScan<Pixel, path> byMasks(rect, ctx.sourceWorld->width, SourceStride(ctx));
  const int32_t scanned = rect.right - rect.left;
  bool masks = how == RowScan::byMasks;
  for (int32_t y = rowBegin; y < rowEnd; ++y) {
    const int32_t unlike =
        masks ? byMasks.Scan(ctx, y, limit) : ScanRowBySearch<path>(ctx, rect, y, limit);
    if constexpr (how == RowScan::byDensity) masks = unlike * kMaskDensity > scanned;
  }
}

template <VectorPath path = VectorPath::sse2, class Pixel, class Destination>
void ScanRows(FastContext<Pixel, Destination>& ctx, const ProcessRect& rect, int32_t rowBegin,
              int32_t rowEnd) {
  ScanRowsWith<RowScan::byDensity, path>(ctx, rect, rowBegin, rowEnd);
}

}  // namespace corvalin::fast

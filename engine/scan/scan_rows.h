// The row-major scan over the processing rectangle: the identity filter, the
// NeighbourMask dispatch, the look-ahead for the mirrored T-junction and the
// straight-run step at the pixel after a colour change.
//
// Only the arms (cleared at each classified pixel) and continueRight (cleared
// at each row) carry from one pixel to the next, so any band of rows can be
// scanned on its own; the output differs from a whole scan only where writes
// of different bands land on the same pixel.
#pragma once

#include <cstring>

#include "engine/corner/two_sided_corner.h"
#include "engine/junction/cross_junction.h"
#include "engine/junction/t_junction.h"
#include "engine/rect/process_rect.h"
#include "engine/runs/straight_run.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

// Pixels compared at once when passing over flat stretches of a row.
constexpr int32_t kFlatBlock = 16;

enum NeighbourBit : uint32_t { rightDiffers = 1, upDiffers = 2, downDiffers = 4, leftDiffers = 8 };
enum LookAheadBit : uint32_t { aheadUpDiffers = 1, aheadDownDiffers = 2, aheadRightDiffers = 4 };

template <class Pixel, class Destination>
inline void PlaceContext(EdgeContext<Pixel, Destination>& ctx, int32_t x, int32_t y, int32_t s, int32_t d) {
  ctx.x = x;
  ctx.y = y;
  ctx.sourceIndex = s;
  ctx.destinationIndex = d;
  ctx.nested = 0;
}

// Scans rows rowBegin <= y < rowEnd, columns rect.left <= x < rect.right of an
// adjusted rectangle (every visited pixel has all four neighbours in the
// buffer).
template <class Pixel, class Destination>
void ScanRows(EdgeContext<Pixel, Destination>& ctx, const ProcessRect& rect, int32_t rowBegin,
              int32_t rowEnd) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t W = SourceStride(ctx);
  const int32_t D = DestinationStride(ctx);
  const int32_t width = ctx.sourceWorld->width;
  const uint32_t threshold = ctx.threshold;
  for (int32_t y = rowBegin; y < rowEnd; ++y) {
    bool continueRight = false;
    int32_t s = y * W + rect.left;
    int32_t d = y * D + rect.left;
    for (int32_t x = rect.left; x < rect.right; ++x, ++s, ++d) {
      if (continueRight) {
        continueRight = false;
        PlaceContext(ctx, x, y, s, d);
        SmoothStraightRun(ctx);
      }
      // Flat stretches: a block of pixels each identical to its right
      // neighbour runs no step and sets nothing, so it is passed over whole.
      while (x + kFlatBlock <= rect.right &&
             std::memcmp(&in[s], &in[s + 1], kFlatBlock * sizeof(Pixel)) == 0) {
        x += kFlatBlock;
        s += kFlatBlock;
        d += kFlatBlock;
      }
      if (x == rect.right) break;
      const Pixel& P = in[s];
      if (SamePixel(P, in[s + 1])) continue;

      PlaceContext(ctx, x, y, s, d);
      for (Arm& arm : ctx.arms) arm = Arm{0, 0.0f, 0.0f, 0};

      uint32_t mask = 0;
      if (PixelsDiffer(P, in[s + 1], threshold)) mask |= rightDiffers;
      if (PixelsDiffer(P, in[s - W], threshold)) mask |= upDiffers;
      if (PixelsDiffer(P, in[s + W], threshold)) mask |= downDiffers;
      if (PixelsDiffer(P, in[s - 1], threshold)) mask |= leftDiffers;
      if (mask == 0) continue;

      if (x < width - 2 && (mask & rightDiffers)) continueRight = true;

      switch (mask) {
        case 3: UpperCorner(ctx); break;
        case 5: LowerCorner(ctx); break;
        case 7: SmoothTJunctionRight(ctx); break;
        case 11: SmoothTJunctionUp(ctx); break;
        case 13: SmoothTJunctionDown(ctx); break;
        case 15: SmoothCrossJunction(ctx); break;
        default: break;
      }

      if (x < width - 2) {
        PlaceContext(ctx, x + 1, y, s + 1, d + 1);
        const Pixel& N = in[s + 1];
        uint32_t ahead = 0;
        if (PixelsDiffer(N, in[s + 1 - W], threshold)) ahead |= aheadUpDiffers;
        if (PixelsDiffer(N, in[s + 1 + W], threshold)) ahead |= aheadDownDiffers;
        if (PixelsDiffer(N, in[s + 2], threshold)) ahead |= aheadRightDiffers;
        if (ahead == (aheadUpDiffers | aheadDownDiffers)) SmoothTJunctionLeft(ctx);
      }
    }
  }
}

}  // namespace corvalin

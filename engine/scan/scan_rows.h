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
#include "engine/scan/step_pixels.h"

namespace corvalin {

// Pixels compared at once when passing over flat stretches of a row.
constexpr int32_t kFlatBlock = 16;

enum NeighbourBit : uint32_t { rightDiffers = 1, upDiffers = 2, downDiffers = 4, leftDiffers = 8 };
enum LookAheadBit : uint32_t { aheadUpDiffers = 1, aheadDownDiffers = 2, aheadRightDiffers = 4 };

template <class Pixel, class Destination, class EngineSteps>
inline void PlaceContext(EdgeContext<Pixel, Destination, EngineSteps>& ctx, int32_t x, int32_t y,
                         int32_t sourceIndex, int32_t destinationIndex) {
  ctx.x = x;
  ctx.y = y;
  ctx.sourceIndex = sourceIndex;
  ctx.destinationIndex = destinationIndex;
  ctx.traceFlags = 0;
}

// Scans rows rowBegin <= y < rowEnd, columns rect.left <= x < rect.right of an
// adjusted rectangle (every visited pixel has all four neighbours in the
// buffer).
template <class Pixel, class Destination, class EngineSteps>
void ScanRows(EdgeContext<Pixel, Destination, EngineSteps>& ctx, const ProcessRect& rect,
              int32_t rowBegin, int32_t rowEnd) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t destinationStride = DestinationStride(ctx);
  const int32_t width = ctx.sourceWorld->width;
  for (int32_t y = rowBegin; y < rowEnd; ++y) {
    bool continueRight = false;
    int32_t p = y * sourceStride + rect.left;
    int32_t pd = y * destinationStride + rect.left;
    for (int32_t x = rect.left; x < rect.right; ++x, ++p, ++pd) {
      if (continueRight) {
        continueRight = false;
        PlaceContext(ctx, x, y, p, pd);
        SmoothStraightRun(ctx);
      }
      // Flat stretches: a block of pixels each identical to its right
      // neighbour runs no step and sets nothing, so it is passed over whole.
      while (x + kFlatBlock <= rect.right &&
             std::memcmp(&in[p], &in[p + 1], kFlatBlock * sizeof(Pixel)) == 0) {
        x += kFlatBlock;
        p += kFlatBlock;
        pd += kFlatBlock;
      }
      if (x == rect.right) break;
      const Pixel& P = in[p];
      if (SamePixel(P, in[p + 1])) continue;

      PlaceContext(ctx, x, y, p, pd);
      for (Arm& arm : ctx.arms) arm = Arm{0, 0.0f, 0.0f, 0};

      uint32_t mask = 0;
      if (PixelsDiffer(ctx, P, in[p + 1])) mask |= rightDiffers;
      if (PixelsDiffer(ctx, P, in[p - sourceStride])) mask |= upDiffers;
      if (PixelsDiffer(ctx, P, in[p + sourceStride])) mask |= downDiffers;
      if (PixelsDiffer(ctx, P, in[p - 1])) mask |= leftDiffers;
      if (mask == 0) continue;

      if (x < width - 2 && (mask & rightDiffers)) continueRight = true;

      switch (mask) {
        case rightDiffers | upDiffers: UpperCorner(ctx); break;
        case rightDiffers | downDiffers: LowerCorner(ctx); break;
        case rightDiffers | upDiffers | downDiffers: SmoothTJunctionRight(ctx); break;
        case rightDiffers | upDiffers | leftDiffers: SmoothTJunctionUp(ctx); break;
        case rightDiffers | downDiffers | leftDiffers: SmoothTJunctionDown(ctx); break;
        case rightDiffers | upDiffers | downDiffers | leftDiffers: SmoothCrossJunction(ctx); break;
        default: break;
      }

      if (x < width - 2) {
        PlaceContext(ctx, x + 1, y, p + 1, pd + 1);
        const Pixel& next = in[p + 1];
        uint32_t ahead = 0;
        if (PixelsDiffer(ctx, next, in[p + 1 - sourceStride])) ahead |= aheadUpDiffers;
        if (PixelsDiffer(ctx, next, in[p + 1 + sourceStride])) ahead |= aheadDownDiffers;
        if (PixelsDiffer(ctx, next, in[p + 2])) ahead |= aheadRightDiffers;
        if (ahead == (aheadUpDiffers | aheadDownDiffers)) SmoothTJunctionLeft(ctx);
      }
    }
  }
}

}  // namespace corvalin

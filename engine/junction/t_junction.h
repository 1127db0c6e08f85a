// T-junctions: line ends, thin-line steps and spurs (three-sided pixels).
//
// P is the end of a run one pixel wide: three of its neighbours differ from
// it and the fourth continues the run. One routine serves all four
// orientations, driven by the index step along the run (s, from P into it),
// the step across it (n, towards its positive side) and the bounds of both
// axes. B = P - s is P's neighbour beyond the open end of the run.
//
// All reads come from the source and all writes go to the destination, so
// the steps see the image as it was before the scan; a later write to a
// pixel replaces an earlier one.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/junction/junction_ramp.h"
#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

// Named after the side of P on which B lies.
enum class TJunctionKind : int32_t {
  TJunctionRight = 1,  // run to the left of P; positive side above
  TJunctionUp = 2,     // run below P; positive side right
  TJunctionLeft = 3,   // run to the right of P; positive side above
  TJunctionDown = 4,   // run above P; positive side right
};

// Run lengths are held to this, which bounds the staged ramps to 64 pixels.
constexpr int32_t maxJunctionRun = 128;

template <class Pixel, class Destination>
void SmoothTJunction(const EdgeContext<Pixel, Destination>& ctx, int32_t normalStep, int32_t normalStepDst,
                     int32_t runStep, int32_t runStepDst, int32_t runLow, int32_t runHigh,
                     int32_t runCoord, int32_t normalLow, int32_t normalHigh,
                     int32_t normalCoord, TJunctionKind junctionKind) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  const Pixel* in = ctx.sourcePixels;
  const auto& out = ctx.destinationPixels;
  const uint32_t threshold = ctx.threshold;
  const int32_t p = ctx.sourceIndex;
  const int32_t pd = ctx.destinationIndex;
  const int32_t n = normalStep;
  const int32_t s = runStep;
  const int32_t b = p - s;
  auto alike = [&](int32_t i, int32_t j) { return PixelsAlike(in[i], in[j], threshold); };
  auto differ = [&](int32_t i, int32_t j) { return PixelsDiffer(in[i], in[j], threshold); };

  // Lengths along the run, each ended by the run or one side line changing.
  const int32_t lengthNeg =
      std::min(MeasureRun(ctx, p, p - n, s, runLow, runHigh, runCoord).length, maxJunctionRun);
  const int32_t lengthPos =
      std::min(MeasureRun(ctx, p, p + n, s, runLow, runHigh, runCoord).length, maxJunctionRun);
  const int32_t longer = std::max(lengthNeg, lengthPos);

  // P +- 2n lie in the image only when P is strictly inside the normal bounds.
  const bool inside = normalLow < normalCoord && normalCoord < normalHigh;
  const bool thinSides = inside && differ(p - n, p - 2 * n) && differ(p + n, p + 2 * n);

  RampBuffer<Pixel> buffer;

  // Where the run goes on diagonally past its end, the side line beside it
  // takes the run's colour; otherwise the run is staged towards that side.
  if (alike(p, b - n) && !thinSides) {
    if (!inside || alike(p - n, p - 2 * n))
      WriteRamp(ctx, lengthNeg, p - n, pd - normalStepDst, n, s, runStepDst, true);
  } else {
    BufferRamp(buffer, 0, ctx, lengthNeg, p, -n, s);
  }
  if (alike(p, b + n) && !thinSides) {
    if (!inside || alike(p + n, p + 2 * n))
      WriteRamp(ctx, lengthPos, p + n, pd + normalStepDst, -n, s, runStepDst, true);
  } else {
    BufferRamp(buffer, 1, ctx, lengthPos, p, n, s);
  }

  if (differ(p - n, p + n) && buffer.buffered[0] && buffer.buffered[1]) {
    // The run separates two colours: taper it towards the one beyond its end.
    bool allowed = false;
    switch (junctionKind) {
      case TJunctionKind::TJunctionRight: allowed = true; break;
      case TJunctionKind::TJunctionUp:
      case TJunctionKind::TJunctionDown: allowed = alike(b, b + n); break;
      case TJunctionKind::TJunctionLeft: allowed = alike(b, b + n) && alike(b, b - n); break;
    }
    if (allowed) {
      const int32_t shorter = std::min(lengthNeg, lengthPos);
      if (alike(b, p + n))
        WriteRamp(ctx, shorter, p, pd, n, s, runStepDst, true);
      else if (alike(b, p - n))
        WriteRamp(ctx, shorter, p, pd, -n, s, runStepDst, true);
    }
  } else {
    const int32_t countNeg = (lengthNeg + 1) / 2;
    const int32_t countPos = (lengthPos + 1) / 2;
    const int32_t count = (longer + 1) / 2;
    for (int32_t k = 0; k < count; ++k) {
      const Pixel& own = in[p + k * s];
      // The destination is fetched only where it is written: the banded
      // parallel scan counts every fetch as a write.
      const int32_t target = pd + k * runStepDst;
      const bool neg = buffer.buffered[0] && k < countNeg;
      const bool pos = buffer.buffered[1] && k < countPos;
      if (neg && pos) {
        const Pixel& a = buffer.slots[0][k];
        const Pixel& c = buffer.slots[1][k];
        auto mean = [](uint32_t u, uint32_t v) { return static_cast<Channel>((u + v) / 2u); };
        out[target] = Pixel{mean(a.alpha, c.alpha), mean(a.red, c.red), mean(a.green, c.green),
                            mean(a.blue, c.blue)};
      } else if (neg) {
        BlendPixels(own, buffer.slots[0][k], out[target], 0.5f);
      } else if (pos) {
        BlendPixels(own, buffer.slots[1][k], out[target], 0.5f);
      }
    }
  }

  // P sticks out of something wider: fill the inner corners beside it, along
  // the edge of that shape, each pixel from its diagonal one step further out.
  if (alike(p, p + s - n) && alike(p, p + s + n)) {
    if (junctionKind == TJunctionKind::TJunctionRight) {
      const RunLength below =
          MeasureRun(ctx, p - n, p - n + s, -n, normalLow, normalHigh, normalCoord);
      WriteRamp(ctx, below.length, p - n, pd - normalStepDst, s - n, -n, -normalStepDst, true);
    }
    if (junctionKind != TJunctionKind::TJunctionLeft) {
      const RunLength above =
          MeasureRun(ctx, p + n, p + n + s, n, normalLow, normalHigh, normalCoord);
      WriteRamp(ctx, above.length, p + n, pd + normalStepDst, s + n, n, normalStepDst, true);
    }
  }
}

// Mask 7: right, up and down differ, left continues the run.
template <class Pixel, class Destination>
void SmoothTJunctionRight(const EdgeContext<Pixel, Destination>& ctx) {
  const int32_t S = SourceStride(ctx), D = DestinationStride(ctx);
  const int32_t H = ctx.sourceWorld->height;
  SmoothTJunction(ctx, -S, -D, -1, -1, 0, S - 1, ctx.x, 1, H - 2, ctx.y,
                  TJunctionKind::TJunctionRight);
}

// Mask 11: right, up and left differ, down continues the run.
template <class Pixel, class Destination>
void SmoothTJunctionUp(const EdgeContext<Pixel, Destination>& ctx) {
  const int32_t S = SourceStride(ctx), D = DestinationStride(ctx);
  const int32_t H = ctx.sourceWorld->height;
  SmoothTJunction(ctx, 1, 1, S, D, 0, H - 1, ctx.y, 1, S - 2, ctx.x,
                  TJunctionKind::TJunctionUp);
}

// Look-ahead: up and down differ, right continues the run.
template <class Pixel, class Destination>
void SmoothTJunctionLeft(const EdgeContext<Pixel, Destination>& ctx) {
  const int32_t S = SourceStride(ctx), D = DestinationStride(ctx);
  const int32_t H = ctx.sourceWorld->height;
  SmoothTJunction(ctx, -S, -D, 1, 1, 0, S - 1, ctx.x, 1, H - 2, ctx.y,
                  TJunctionKind::TJunctionLeft);
}

// Mask 13: right, down and left differ, up continues the run.
template <class Pixel, class Destination>
void SmoothTJunctionDown(const EdgeContext<Pixel, Destination>& ctx) {
  const int32_t S = SourceStride(ctx), D = DestinationStride(ctx);
  const int32_t H = ctx.sourceWorld->height;
  SmoothTJunction(ctx, 1, 1, -S, -D, 0, H - 1, ctx.y, 1, S - 2, ctx.x,
                  TJunctionKind::TJunctionDown);
}

}  // namespace corvalin

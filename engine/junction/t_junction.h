// T-junctions: line ends, thin-line steps and spurs (three-sided pixels).
//
// P is the end of a run one pixel wide: three of its neighbours differ from
// it and the fourth continues the run. One routine serves all four
// orientations, each given by its step along the run (from P into it) and its
// step across it (towards the run's positive side). B, P's neighbour beyond
// the open end of the run, lies one step back from P along the run.
//
// All reads come from the source, and the destination can only be written,
// so the steps see the image as it was before the scan; a later write to a
// pixel replaces an earlier one.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/junction/junction_ramp.h"
#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"
#include "engine/scan/step_pixels.h"

namespace corvalin {

// Named after the side of P on which B lies.
enum class TJunctionKind : int32_t {
  TJunctionRight = 1,  // run to the left of P; positive side above
  TJunctionUp = 2,     // run below P; positive side right
  TJunctionLeft = 3,   // run to the right of P; positive side above
  TJunctionDown = 4,   // run above P; positive side right
};

// How the run of one orientation lies. Offsets are in (column, row).
struct TJunctionWalk {
  int32_t alongX = 0, alongY = 0;    // from P into the run
  int32_t acrossX = 0, acrossY = 0;  // across the run, towards its positive side
  TJunctionKind kind;
};

// Run lengths are held to this, which bounds the staged ramps to 64 pixels.
constexpr int32_t maxJunctionRun = 128;

// The lengths along the run from P, each ended by the run or one side line
// changing, held to maxJunctionRun.
template <class Pixel, class Destination, class EngineSteps>
SideRunLengths MeasureJunctionRuns(const EdgeContext<Pixel, Destination, EngineSteps>& ctx,
                                   int32_t p, int32_t across, int32_t along, int32_t runHigh,
                                   int32_t runCoord) {
  return {
      std::min(MeasureRun(ctx, p, p - across, along, 0, runHigh, runCoord).length, maxJunctionRun),
      std::min(MeasureRun(ctx, p, p + across, along, 0, runHigh, runCoord).length, maxJunctionRun)};
}

// Writes the staged ramps along the run from P: the mean of both sides where
// both are staged, otherwise P's pixel half mixed with the one staged.
template <class Pixel, class Destination, class EngineSteps>
void WriteStagedRamps(const EdgeContext<Pixel, Destination, EngineSteps>& ctx,
                      const RampBuffer<Pixel>& buffer, int32_t p, int32_t pd, int32_t along,
                      int32_t alongDst, SideRunLengths lengths) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  const Pixel* in = ctx.sourcePixels;
  const int32_t countNeg = (lengths.negative + 1) / 2;
  const int32_t countPos = (lengths.positive + 1) / 2;
  const int32_t count = (std::max(lengths.negative, lengths.positive) + 1) / 2;
  for (int32_t k = 0; k < count; ++k) {
    const Pixel& own = in[p + k * along];
    const int32_t target = pd + k * alongDst;
    const bool neg = buffer.buffered[0] && k < countNeg;
    const bool pos = buffer.buffered[1] && k < countPos;
    if (neg && pos) {
      const Pixel& a = buffer.slots[0][k];
      const Pixel& c = buffer.slots[1][k];
      auto mean = [](uint32_t u, uint32_t v) { return static_cast<Channel>((u + v) / 2u); };
      ctx.destination.Write(target, Pixel{mean(a.alpha, c.alpha), mean(a.red, c.red),
                                          mean(a.green, c.green), mean(a.blue, c.blue)});
    } else if (neg) {
      ctx.destination.Write(target, BlendPixels(ctx, own, buffer.slots[0][k], 0.5f));
    } else if (pos) {
      ctx.destination.Write(target, BlendPixels(ctx, own, buffer.slots[1][k], 0.5f));
    }
  }
}

// The orientation is a template argument, so that each one's steps and tests
// are fixed when it is compiled.
template <TJunctionWalk walk, class Pixel, class Destination, class EngineSteps>
void SmoothTJunction(const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  constexpr bool horizontalRun = walk.alongX != 0;
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t destinationStride = DestinationStride(ctx);
  const int32_t height = ctx.sourceWorld->height;
  const int32_t p = ctx.sourceIndex;
  const int32_t pd = ctx.destinationIndex;
  const int32_t along = walk.alongX + walk.alongY * sourceStride;
  const int32_t alongDst = walk.alongX + walk.alongY * destinationStride;
  const int32_t across = walk.acrossX + walk.acrossY * sourceStride;
  const int32_t acrossDst = walk.acrossX + walk.acrossY * destinationStride;
  // Bounds of the walks (columns count up to the source stride, rows up to
  // the height): along the run's axis strictly between 0 and the last
  // position, across it between 1 and the last but one.
  const int32_t runHigh = horizontalRun ? sourceStride - 1 : height - 1;
  const int32_t runCoord = horizontalRun ? ctx.x : ctx.y;
  const int32_t normalHigh = horizontalRun ? height - 2 : sourceStride - 2;
  const int32_t normalCoord = horizontalRun ? ctx.y : ctx.x;
  const int32_t b = p - along;
  auto alike = [&](int32_t i, int32_t j) { return PixelsAlike(ctx, in[i], in[j]); };
  auto differ = [&](int32_t i, int32_t j) { return PixelsDiffer(ctx, in[i], in[j]); };

  const SideRunLengths lengths = MeasureJunctionRuns(ctx, p, across, along, runHigh, runCoord);
  const int32_t lengthNeg = lengths.negative;
  const int32_t lengthPos = lengths.positive;

  // P +- 2 * across lie in the image only when P is strictly inside the
  // bounds across the run.
  const bool inside = 1 < normalCoord && normalCoord < normalHigh;
  const bool thinSides =
      inside && differ(p - across, p - 2 * across) && differ(p + across, p + 2 * across);

  RampBuffer<Pixel> buffer;

  // Where the run goes on diagonally past its end, the side line beside it
  // takes the run's colour; otherwise the run is staged towards that side.
  if (alike(p, b - across) && !thinSides) {
    if (!inside || alike(p - across, p - 2 * across))
      WriteRamp(ctx, lengthNeg, p - across, pd - acrossDst, across, along, alongDst, true);
  } else {
    BufferRamp(buffer, 0, ctx, lengthNeg, p, -across, along);
  }
  if (alike(p, b + across) && !thinSides) {
    if (!inside || alike(p + across, p + 2 * across))
      WriteRamp(ctx, lengthPos, p + across, pd + acrossDst, -across, along, alongDst, true);
  } else {
    BufferRamp(buffer, 1, ctx, lengthPos, p, across, along);
  }

  if (differ(p - across, p + across) && buffer.buffered[0] && buffer.buffered[1]) {
    // The run separates two colours: taper it towards the one beyond its end.
    bool allowed = false;
    switch (walk.kind) {
      case TJunctionKind::TJunctionRight: allowed = true; break;
      case TJunctionKind::TJunctionUp:
      case TJunctionKind::TJunctionDown: allowed = alike(b, b + across); break;
      case TJunctionKind::TJunctionLeft:
        allowed = alike(b, b + across) && alike(b, b - across);
        break;
    }
    if (allowed) {
      const int32_t shorter = std::min(lengthNeg, lengthPos);
      if (alike(b, p + across))
        WriteRamp(ctx, shorter, p, pd, across, along, alongDst, true);
      else if (alike(b, p - across))
        WriteRamp(ctx, shorter, p, pd, -across, along, alongDst, true);
    }
  } else {
    WriteStagedRamps(ctx, buffer, p, pd, along, alongDst, lengths);
  }

  // P sticks out of something wider: fill the inner corners beside it, along
  // the edge of that shape, each pixel from its diagonal one step further out.
  if (alike(p, p + along - across) && alike(p, p + along + across)) {
    if (walk.kind == TJunctionKind::TJunctionRight) {
      const RunLength below =
          MeasureRun(ctx, p - across, p - across + along, -across, 1, normalHigh, normalCoord);
      WriteRamp(ctx, below.length, p - across, pd - acrossDst, along - across, -across, -acrossDst,
                true);
    }
    if (walk.kind != TJunctionKind::TJunctionLeft) {
      const RunLength above =
          MeasureRun(ctx, p + across, p + across + along, across, 1, normalHigh, normalCoord);
      WriteRamp(ctx, above.length, p + across, pd + acrossDst, along + across, across, acrossDst,
                true);
    }
  }
}

// Mask 7: right, up and down differ, left continues the run.
template <class Pixel, class Destination, class EngineSteps>
void SmoothTJunctionRight(const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  SmoothTJunction<TJunctionWalk{
      .alongX = -1, .acrossY = -1, .kind = TJunctionKind::TJunctionRight}>(ctx);
}

// Mask 11: right, up and left differ, down continues the run.
template <class Pixel, class Destination, class EngineSteps>
void SmoothTJunctionUp(const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  SmoothTJunction<TJunctionWalk{.alongY = 1, .acrossX = 1, .kind = TJunctionKind::TJunctionUp}>(
      ctx);
}

// Look-ahead: up and down differ, right continues the run.
template <class Pixel, class Destination, class EngineSteps>
void SmoothTJunctionLeft(const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  SmoothTJunction<TJunctionWalk{.alongX = 1, .acrossY = -1, .kind = TJunctionKind::TJunctionLeft}>(
      ctx);
}

// Mask 13: right, down and left differ, up continues the run.
template <class Pixel, class Destination, class EngineSteps>
void SmoothTJunctionDown(const EdgeContext<Pixel, Destination, EngineSteps>& ctx) {
  SmoothTJunction<TJunctionWalk{.alongY = -1, .acrossX = 1, .kind = TJunctionKind::TJunctionDown}>(
      ctx);
}

}  // namespace corvalin

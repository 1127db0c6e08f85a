// Line measurement and triangular coverage ramps shared by the junction steps.
//
// A ramp over a span x covers ceil(x) pixels. Pixel k takes the share
// c(k) = A(k) - A(k + 1) of its partner, where A(j) = h * (x - j)^2 / (2x) for
// j < x and 0 beyond: the area over [k, k + 1] of a triangle h high at the
// ramp's start that falls to 0 at distance x. WriteRamp uses h = 0.5 and
// writes the destination; BufferRamp uses h = 1 and stages the blends for a
// later merge. The ramp arithmetic is double precision; only the final weight
// is rounded to float32 for BlendPixels.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"
#include "engine/scan/step_pixels.h"

namespace corvalin {

struct RunLength {
  int32_t length;
  bool stoppedOnOwnLine;  // the walk ended at a change in the line it started on
};

// Walks two parallel lines from startIndex and besideStart by `step` while
// low < coord + direction * k < high, and stops at the first position where
// either line changes colour (its own line tested first). The length counts
// the examined positions, including the one where the change was found.
// `coord` is the junction pixel's coordinate on the walk's axis, so the bounds
// keep both compared pixels inside the image. A walk that reaches `cap`
// positions stops there with length `cap`, for callers that hold the length
// to cap anyway and do not look at where it stopped.
template <class Pixel, class Destination, class EngineSteps>
CORVALIN_ALWAYS_INLINE RunLength MeasureRun(const EdgeContext<Pixel, Destination, EngineSteps>& ctx,
                                            int32_t startIndex, int32_t besideStart, int32_t step,
                                            int32_t low, int32_t high, int32_t coord,
                                            int32_t cap = INT32_MAX) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t direction = step > 0 ? 1 : -1;
  RunLength run{0, false};
  int32_t k = 0;
  while (k < cap && low < coord + direction * k && coord + direction * k < high) {
    const int32_t own = startIndex + k * step;
    const int32_t beside = besideStart + k * step;
    if (PixelsDiffer(ctx, in[own], in[own + step])) {
      run.stoppedOnOwnLine = true;
      ++k;
      break;
    }
    if (PixelsDiffer(ctx, in[beside], in[beside + step])) {
      ++k;
      break;
    }
    ++k;
  }
  run.length = k;
  return run;
}

// The lengths of two walks on either side of one line, held to a cap.
struct SideRunLengths {
  int32_t negative;
  int32_t positive;
};

namespace detail {

// A(j) of a ramp of height h over span x.
constexpr double RampArea(double h, double x, double j) {
  if (!(j < x)) return 0.0;
  const double rest = x - j;
  return h * (rest * rest) / (2.0 * x);
}

// Number of pixels a ramp over span x covers, never more than the positions
// the walk behind it examined (a span above the run would read past them).
inline int32_t RampCount(double x, int32_t runLength) {
  if (!(x > 0.0)) return 0;
  const double count = std::ceil(x);
  return count < static_cast<double>(runLength) ? static_cast<int32_t>(count) : runLength;
}

// The weight a ramp pixel keeps of its own colour: 1 - c(k).
constexpr float KeepWeight(double h, double x, int32_t k) {
  const double share = RampArea(h, x, k) - RampArea(h, x, k + 1.0);
  return static_cast<float>(1.0 - share);
}

// The span of a written ramp: half the run, or the run times the weight
// factor.
template <class Pixel, class Destination, class EngineSteps>
double WrittenRampSpan(const EdgeContext<Pixel, Destination, EngineSteps>& ctx, int32_t runLength,
                       bool halfLength) {
  return halfLength ? static_cast<double>(runLength) * 0.5
                    : static_cast<double>(runLength) * static_cast<double>(ctx.weightFactor);
}

}  // namespace detail

// Blends ramp pixel startIndex + k * step with its partner at
// + partnerOffset into destination startDst + k * stepDst, over the span
// runLength / 2 (halfLength) or runLength * weightFactor, from the far end
// of the ramp to its start.
template <class Pixel, class Destination, class EngineSteps>
void WriteRamp(const EdgeContext<Pixel, Destination, EngineSteps>& ctx, int32_t runLength,
               int32_t startIndex, int32_t startDst, int32_t partnerOffset, int32_t step,
               int32_t stepDst, bool halfLength) {
  const double span = detail::WrittenRampSpan(ctx, runLength, halfLength);
  const int32_t count = detail::RampCount(span, runLength);
  for (int32_t k = count - 1; k >= 0; --k) {
    const int32_t source = startIndex + k * step;
    BlendAt(ctx, source, source + partnerOffset, startDst + k * stepDst,
            detail::KeepWeight(0.5, span, k));
  }
}

// Staged ramps of one T-junction call: slot 0 for the run's negative side,
// slot 1 for its positive side; entry k belongs to run pixel k.
template <class Pixel>
struct RampBuffer {
  static constexpr int32_t slotSize = 128;
  Pixel slots[2][slotSize];
  bool buffered[2] = {false, false};
};

// Stages the ramp of h = 1 over runLength / 2 into `slot` and marks it
// buffered. Entries past the slot's end are never written.
template <class Pixel, class Destination, class EngineSteps>
void BufferRamp(RampBuffer<Pixel>& buffer, int32_t slot,
                const EdgeContext<Pixel, Destination, EngineSteps>& ctx, int32_t runLength,
                int32_t startIndex, int32_t partnerOffset, int32_t step) {
  const Pixel* in = ctx.sourcePixels;
  const double span = static_cast<double>(runLength) * 0.5;
  int32_t count = detail::RampCount(span, runLength);
  if (count > RampBuffer<Pixel>::slotSize) count = RampBuffer<Pixel>::slotSize;
  for (int32_t k = count - 1; k >= 0; --k) {
    const int32_t source = startIndex + k * step;
    buffer.slots[slot][k] =
        BlendPixels(ctx, in[source], in[source + partnerOffset], detail::KeepWeight(1.0, span, k));
  }
  buffer.buffered[slot] = true;
}

}  // namespace corvalin

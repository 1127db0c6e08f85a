// The junction steps' walks in the fast engine (MeasureRun in
// engine/junction/junction_ramp.h is the plain one).
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/fast/fast_pixels.h"
#include "engine/fast/fast_steps.h"
#include "engine/junction/junction_ramp.h"

namespace corvalin::fast {

namespace detail {

// MeasureRun's walk from position k on, below a limit already held to the
// bounds and the cap.
template <class Pixel, class Destination>
RunLength MeasureRunFrom(const FastContext<Pixel, Destination>& ctx, int32_t startIndex,
                         int32_t besideStart, int32_t step, int32_t k, int32_t limit) {
  const Pixel* in = ctx.sourcePixels;
  for (; k < limit; ++k) {
    const int32_t own = startIndex + k * step;
    const int32_t beside = besideStart + k * step;
    if (PixelsDiffer(ctx, in[own], in[own + step])) return {k + 1, true};
    if (PixelsDiffer(ctx, in[beside], in[beside + step])) return {k + 1, false};
  }
  return {k, false};
}

}  // namespace detail

// The positions inside the bounds are counted once: walking away from one
// bound, that bound holds for every k >= 0 once it holds at k = 0, and the
// other holds while k < its distance from coord. Most walks at thin lines end
// at their first position, which is tested where the step calls it; the rest
// of the walk is a call.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE RunLength MeasureRun(const FastContext<Pixel, Destination>& ctx,
                                            int32_t startIndex, int32_t besideStart, int32_t step,
                                            int32_t low, int32_t high, int32_t coord,
                                            int32_t cap = INT32_MAX) {
  const Pixel* in = ctx.sourcePixels;
  const bool startInside = low < coord && coord < high;
  const int32_t limit = startInside ? std::min(cap, step > 0 ? high - coord : coord - low) : 0;
  if (limit <= 0) return {0, false};
  if (PixelsDiffer(ctx, in[startIndex], in[startIndex + step])) return {1, true};
  if (PixelsDiffer(ctx, in[besideStart], in[besideStart + step])) return {1, false};
  return detail::MeasureRunFrom(ctx, startIndex, besideStart, step, 1, limit);
}

// The lengths of the two walks MeasureRun(ctx, startIndex, startIndex -+
// across, step, low, high, coord, cap) on either side of one line, in one
// walk. Both walks test the line itself first at every position, and the
// tests have no side effects, so that test is made once for both; each side
// line is tested until its own walk has ended.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE SideRunLengths
MeasureRunBothSides(const FastContext<Pixel, Destination>& ctx, int32_t startIndex, int32_t across,
                    int32_t step, int32_t low, int32_t high, int32_t coord, int32_t cap) {
  const Pixel* in = ctx.sourcePixels;
  const bool startInside = low < coord && coord < high;
  const int32_t limit = startInside ? std::min(cap, step > 0 ? high - coord : coord - low) : 0;
  int32_t negative = -1, positive = -1;  // -1 while that side's walk goes on
  int32_t k = 0;
  while (k < limit) {
    const int32_t own = startIndex + k * step;
    ++k;
    if (PixelsDiffer(ctx, in[own], in[own + step])) break;
    if (negative < 0 && PixelsDiffer(ctx, in[own - across], in[own - across + step])) negative = k;
    if (positive < 0 && PixelsDiffer(ctx, in[own + across], in[own + across + step])) positive = k;
    if (negative >= 0 && positive >= 0) break;
  }
  return {negative < 0 ? k : negative, positive < 0 ? k : positive};
}

}  // namespace corvalin::fast

// The T-junction step's walks and staged writes in the fast engine
// (MeasureJunctionRuns and WriteStagedRamps in engine/junction/t_junction.h
// are the plain ones).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/fast/fast_pixels.h"
#include "engine/fast/fast_steps.h"
#include "engine/fast/measure_run_fast.h"
#include "engine/junction/t_junction.h"

namespace corvalin::fast {

// Only the lengths held to maxJunctionRun are used, so the walks stop there,
// and both are made at once, testing the run's own line once per position.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE SideRunLengths
MeasureJunctionRuns(const FastContext<Pixel, Destination>& ctx, int32_t p, int32_t across,
                    int32_t along, int32_t runHigh, int32_t runCoord) {
  return MeasureRunBothSides(ctx, p, across, along, 0, runHigh, runCoord, maxJunctionRun);
}

// Each channel of a and b as (a + b) / 2, truncated, all channels at once in
// one machine word: a + b = 2 * (a & b) + (a ^ b), so
// (a + b) / 2 = (a & b) + ((a ^ b) >> 1), where the shift's bits that would
// cross into the next channel are masked off.
template <class Pixel>
CORVALIN_ALWAYS_INLINE Pixel TruncatedMean(const Pixel& a, const Pixel& b) {
  using Word = typename PixelTraits<Pixel>::Word;
  constexpr Word lowBitsOff =
      sizeof(Pixel) == 4 ? Word{0x7F7F7F7Fu} : static_cast<Word>(0x7FFF7FFF7FFF7FFFull);
  Word wa, wb;
  std::memcpy(&wa, &a, sizeof wa);
  std::memcpy(&wb, &b, sizeof wb);
  const Word mean = (wa & wb) + (((wa ^ wb) >> 1) & lowBitsOff);
  Pixel result;
  std::memcpy(&result, &mean, sizeof result);
  return result;
}

// The same writes in the same order, in two stretches: where both sides are
// staged (only up to the shorter one's count), then where one alone is,
// which past the shorter count can be only one of them.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void WriteStagedRamps(const FastContext<Pixel, Destination>& ctx,
                                             const RampBuffer<Pixel>& buffer, int32_t p, int32_t pd,
                                             int32_t along, int32_t alongDst,
                                             SideRunLengths lengths) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t countNeg = buffer.buffered[0] ? (lengths.negative + 1) / 2 : 0;
  const int32_t countPos = buffer.buffered[1] ? (lengths.positive + 1) / 2 : 0;
  const int32_t countBoth = std::min(countNeg, countPos);
  for (int32_t k = 0; k < countBoth; ++k)
    ctx.destination.Write(pd + k * alongDst, TruncatedMean(buffer.slots[0][k], buffer.slots[1][k]));
  const int32_t slot = countNeg > countPos ? 0 : 1;
  const int32_t countOne = std::max(countNeg, countPos);
  for (int32_t k = countBoth; k < countOne; ++k)
    ctx.destination.Write(pd + k * alongDst,
                          BlendPixels(ctx, in[p + k * along], buffer.slots[slot][k], 0.5f));
}

}  // namespace corvalin::fast

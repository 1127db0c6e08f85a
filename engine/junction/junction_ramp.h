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
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

struct RunLength {
  int32_t length;
  bool stoppedOnOwnLine;  // the walk ended at a change in the line it started on
};

namespace detail {

// MeasureRun's walk from position k on, below a limit already held to the
// bounds and the cap.
template <class Pixel, class Destination>
RunLength MeasureRunFrom(const EdgeContext<Pixel, Destination>& ctx, int32_t startIndex,
                         int32_t besideStart, int32_t step, int32_t k, int32_t limit) {
  const Pixel* in = ctx.sourcePixels;
  const uint32_t threshold = ctx.threshold;
  for (; k < limit; ++k) {
    const int32_t own = startIndex + k * step;
    const int32_t beside = besideStart + k * step;
    if (PixelsDiffer(in[own], in[own + step], threshold)) return {k + 1, true};
    if (PixelsDiffer(in[beside], in[beside + step], threshold)) return {k + 1, false};
  }
  return {k, false};
}

}  // namespace detail

// Walks two parallel lines from startIndex and besideStart by `step` while
// low < coord + direction * k < high, and stops at the first position where
// either line changes colour (its own line tested first). The length counts
// the examined positions, including the one where the change was found.
// `coord` is the junction pixel's coordinate on the walk's axis, so the bounds
// keep both compared pixels inside the image. A walk that reaches `cap`
// positions stops there with length `cap`, for callers that hold the length
// to cap anyway and do not look at where it stopped.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE RunLength MeasureRun(const EdgeContext<Pixel, Destination>& ctx, int32_t startIndex,
                            int32_t besideStart, int32_t step, int32_t low, int32_t high,
                            int32_t coord, int32_t cap = INT32_MAX) {
  const Pixel* in = ctx.sourcePixels;
  const uint32_t threshold = ctx.threshold;
  const int32_t direction = step > 0 ? 1 : -1;
  if constexpr (kFastEngine) {
    // The fast engine counts once how many positions lie inside the bounds:
    // walking away from one bound, that bound holds for every k >= 0 once it
    // holds at k = 0, and the other holds while k < its distance from coord.
    // Most walks at thin lines end at their first position, which is tested
    // where the step calls it; the rest of the walk is a call.
    const bool startInside = low < coord && coord < high;
    const int32_t limit = startInside ? std::min(cap, direction > 0 ? high - coord : coord - low) : 0;
    if (limit <= 0) return {0, false};
    if (PixelsDiffer(in[startIndex], in[startIndex + step], threshold)) return {1, true};
    if (PixelsDiffer(in[besideStart], in[besideStart + step], threshold)) return {1, false};
    return detail::MeasureRunFrom(ctx, startIndex, besideStart, step, 1, limit);
  }
  RunLength run{0, false};
  int32_t k = 0;
  while (k < cap && low < coord + direction * k && coord + direction * k < high) {
    const int32_t own = startIndex + k * step;
    const int32_t beside = besideStart + k * step;
    if (PixelsDiffer(in[own], in[own + step], threshold)) {
      run.stoppedOnOwnLine = true;
      ++k;
      break;
    }
    if (PixelsDiffer(in[beside], in[beside + step], threshold)) {
      ++k;
      break;
    }
    ++k;
  }
  run.length = k;
  return run;
}

// The lengths of the two walks MeasureRun(ctx, startIndex, startIndex -+
// across, step, low, high, coord, cap) on either side of one line, in one
// walk. Both walks test the line itself first at every position, and the
// tests have no side effects, so that test is made once for both; each side
// line is tested until its own walk has ended.
struct SideRunLengths {
  int32_t negative;
  int32_t positive;
};

template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE SideRunLengths MeasureRunBothSides(const EdgeContext<Pixel, Destination>& ctx, int32_t startIndex,
                                   int32_t across, int32_t step, int32_t low, int32_t high,
                                   int32_t coord, int32_t cap) {
  const Pixel* in = ctx.sourcePixels;
  const uint32_t threshold = ctx.threshold;
  const bool startInside = low < coord && coord < high;
  const int32_t limit = startInside ? std::min(cap, step > 0 ? high - coord : coord - low) : 0;
  int32_t negative = -1, positive = -1;  // -1 while that side's walk goes on
  int32_t k = 0;
  while (k < limit) {
    const int32_t own = startIndex + k * step;
    ++k;
    if (PixelsDiffer(in[own], in[own + step], threshold)) break;
    if (negative < 0 && PixelsDiffer(in[own - across], in[own - across + step], threshold))
      negative = k;
    if (positive < 0 && PixelsDiffer(in[own + across], in[own + across + step], threshold))
      positive = k;
    if (negative >= 0 && positive >= 0) break;
  }
  return {negative < 0 ? k : negative, positive < 0 ? k : positive};
}

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
  if constexpr (kFastEngine) {
    // The same count without a call of ceil: a span of runLength or more
    // covers runLength pixels; a shorter one lies in 0 < x < runLength, so
    // its truncation is in range, and one more where it dropped a fraction
    // is its ceiling.
    if (!(x < static_cast<double>(runLength))) return runLength;
    const int32_t whole = static_cast<int32_t>(x);
    return static_cast<double>(whole) < x ? whole + 1 : whole;
  }
  const double count = std::ceil(x);
  return count < static_cast<double>(runLength) ? static_cast<int32_t>(count) : runLength;
}

// The weight a ramp pixel keeps of its own colour: 1 - c(k).
constexpr float KeepWeight(double h, double x, int32_t k) {
  const double share = RampArea(h, x, k) - RampArea(h, x, k + 1.0);
  return static_cast<float>(1.0 - share);
}

// KeepWeight(h, x, k) for k = count - 1 down to 0, in that order. The fast
// engine keeps A(k + 1) from the step before instead of computing it again:
// the same double from the same operands, so the same weights.
class KeepWeights {
 public:
  KeepWeights(double h, double x, int32_t count)
      : h_(h), x_(x), previous_(kFastEngine ? RampArea(h, x, static_cast<double>(count)) : 0.0) {}

  float Next(int32_t k) {
    if constexpr (!kFastEngine) return KeepWeight(h_, x_, k);
    const double area = RampArea(h_, x_, k);
    const double share = area - previous_;
    previous_ = area;
    return static_cast<float>(1.0 - share);
  }

 private:
  double h_, x_, previous_;
};

// The integer weights wA of the ramps over half a run (span runLength / 2)
// of up to kTabledRun pixels with height halves / 2:
// BlendWeight(KeepWeight(h, span, k)) for every k such a ramp covers. The
// fast engine looks them up instead of running a division and a chain of
// conversions per ramp pixel. They are compile-time constants, so a render
// takes no lock to build them: the arithmetic is the same correctly rounded
// IEEE additions, products, quotients and conversions at compile time as at
// run time (no contraction, no fast-math), and a test compares every entry
// with the run-time arithmetic.
constexpr int32_t kTabledRun = 128;
constexpr int32_t kTabledRampPixels = (kTabledRun + 1) / 2;

// Row runLength: a span of runLength / 2 below runLength covers
// ceil(runLength / 2) = (runLength + 1) / 2 pixels (RampCount).
template <class Pixel, int32_t halves>
constexpr std::array<uint16_t, kTabledRampPixels> HalfSpanWeightRow(int32_t runLength) {
  std::array<uint16_t, kTabledRampPixels> row{};
  const double span = static_cast<double>(runLength) * 0.5;
  for (int32_t k = 0; k < (runLength + 1) / 2; ++k)
    row[static_cast<size_t>(k)] =
        static_cast<uint16_t>(BlendWeight<Pixel>(KeepWeight(halves * 0.5, span, k)));
  return row;
}

// Each row is a constant of its own, which keeps every compile-time
// evaluation short.
template <class Pixel, int32_t halves, int32_t runLength>
inline constexpr std::array<uint16_t, kTabledRampPixels> kHalfSpanWeightRow =
    HalfSpanWeightRow<Pixel, halves>(runLength);

template <class Pixel, int32_t halves, int32_t... runLengths>
constexpr std::array<const uint16_t*, sizeof...(runLengths)> HalfSpanWeightRows(
    std::integer_sequence<int32_t, runLengths...>) {
  return {kHalfSpanWeightRow<Pixel, halves, runLengths>.data()...};
}

template <class Pixel, int32_t halves>
inline constexpr std::array<const uint16_t*, kTabledRun + 1> kHalfSpanWeightRows =
    HalfSpanWeightRows<Pixel, halves>(std::make_integer_sequence<int32_t, kTabledRun + 1>{});

template <class Pixel, int32_t halves>
inline const uint16_t* HalfSpanBlendWeights(int32_t runLength) {
  return kHalfSpanWeightRows<Pixel, halves>[static_cast<size_t>(runLength)];
}

// The weight of a ramp's only pixel, over half of a run of 1 or 2.
template <class Pixel, int32_t halves>
inline uint32_t OnePixelRampWeight(int32_t runLength) {
  return HalfSpanBlendWeights<Pixel, halves>(runLength)[0];
}

// WriteRamp of any length, out of line.
template <class Pixel, class Destination>
void WriteLongRamp(const EdgeContext<Pixel, Destination>& ctx, int32_t runLength, int32_t startIndex,
               int32_t startDst, int32_t partnerOffset, int32_t step, int32_t stepDst,
               bool halfLength) {
  // At the default Line Weight the weight factor is 0.5 and the span is
  // half the run either way; such a ramp covers (runLength + 1) / 2 pixels,
  // RampCount of that span.
  if (kFastEngine && (halfLength || ctx.weightFactor == 0.5f) && 0 <= runLength &&
      runLength <= detail::kTabledRun) {
    const int32_t count = (runLength + 1) / 2;
    const uint16_t* wA = detail::HalfSpanBlendWeights<Pixel, 1>(runLength);
    const Pixel* in = ctx.sourcePixels;
    for (int32_t k = count - 1; k >= 0; --k) {
      const int32_t source = startIndex + k * step;
      ctx.destination.Write(startDst + k * stepDst,
                            BlendPixelsByWeight(in[source], in[source + partnerOffset], wA[k]));
    }
    return;
  }
  const double span = halfLength ? static_cast<double>(runLength) * 0.5
                                 : static_cast<double>(runLength) *
                                       static_cast<double>(ctx.weightFactor);
  const int32_t count = detail::RampCount(span, runLength);
  detail::KeepWeights weights(0.5, span, count);
  for (int32_t k = count - 1; k >= 0; --k) {
    const int32_t source = startIndex + k * step;
    BlendAt(ctx.sourcePixels, ctx.destination, source, source + partnerOffset,
            startDst + k * stepDst, weights.Next(k));
  }
}

}  // namespace detail

// Blends ramp pixel startIndex + k * step with its partner at
// + partnerOffset into destination startDst + k * stepDst, over the span
// runLength / 2 (halfLength) or runLength * weightFactor.
// Most ramps at thin lines cover one pixel: a span of half a run of 1 or 2.
// The fast engine makes that blend where the step calls it, without a call
// and its setup; a run of 0 covers nothing either way.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void WriteRamp(const EdgeContext<Pixel, Destination>& ctx, int32_t runLength,
                      int32_t startIndex, int32_t startDst, int32_t partnerOffset, int32_t step,
                      int32_t stepDst, bool halfLength) {
  if (kFastEngine && runLength <= 2 && (halfLength || ctx.weightFactor == 0.5f)) {
    if (runLength <= 0) return;
    const Pixel* in = ctx.sourcePixels;
    ctx.destination.Write(startDst,
                          BlendPixelsByWeight(in[startIndex], in[startIndex + partnerOffset],
                                              detail::OnePixelRampWeight<Pixel, 1>(runLength)));
    return;
  }
  detail::WriteLongRamp(ctx, runLength, startIndex, startDst, partnerOffset, step, stepDst,
                        halfLength);
}

// Staged ramps of one T-junction call: slot 0 for the run's negative side,
// slot 1 for its positive side; entry k belongs to run pixel k.
template <class Pixel>
struct RampBuffer {
  static constexpr int32_t slotSize = 128;
  Pixel slots[2][slotSize];
  bool buffered[2] = {false, false};
};

namespace detail {

// BufferRamp of any length, out of line.
template <class Pixel, class Destination>
void BufferLongRamp(RampBuffer<Pixel>& buffer, int32_t slot, const EdgeContext<Pixel, Destination>& ctx,
                int32_t runLength, int32_t startIndex, int32_t partnerOffset, int32_t step) {
  const Pixel* in = ctx.sourcePixels;
  if (kFastEngine && 0 <= runLength && runLength <= detail::kTabledRun) {
    // RampCount of half a run, at most 64 pixels here.
    const int32_t count = (runLength + 1) / 2;
    const uint16_t* wA = detail::HalfSpanBlendWeights<Pixel, 2>(runLength);
    for (int32_t k = count - 1; k >= 0; --k) {
      const int32_t source = startIndex + k * step;
      buffer.slots[slot][k] = BlendPixelsByWeight(in[source], in[source + partnerOffset], wA[k]);
    }
    buffer.buffered[slot] = true;
    return;
  }
  const double span = static_cast<double>(runLength) * 0.5;
  int32_t count = detail::RampCount(span, runLength);
  if (count > RampBuffer<Pixel>::slotSize) count = RampBuffer<Pixel>::slotSize;
  detail::KeepWeights weights(1.0, span, count);
  for (int32_t k = count - 1; k >= 0; --k) {
    const int32_t source = startIndex + k * step;
    buffer.slots[slot][k] = BlendPixels(in[source], in[source + partnerOffset], weights.Next(k));
  }
  buffer.buffered[slot] = true;
}

}  // namespace detail

// Stages the ramp of h = 1 over runLength / 2 into `slot` and marks it
// buffered. Entries past the slot's end are never written. A run of 1 or 2
// stages one pixel, which the fast engine blends in place, as WriteRamp.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void BufferRamp(RampBuffer<Pixel>& buffer, int32_t slot,
                       const EdgeContext<Pixel, Destination>& ctx, int32_t runLength,
                       int32_t startIndex, int32_t partnerOffset, int32_t step) {
  if (kFastEngine && (runLength == 1 || runLength == 2)) {
    const Pixel* in = ctx.sourcePixels;
    buffer.slots[slot][0] =
        BlendPixelsByWeight(in[startIndex], in[startIndex + partnerOffset],
                            detail::OnePixelRampWeight<Pixel, 2>(runLength));
    buffer.buffered[slot] = true;
    return;
  }
  detail::BufferLongRamp(buffer, slot, ctx, runLength, startIndex, partnerOffset, step);
}

}  // namespace corvalin

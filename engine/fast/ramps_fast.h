// The junction steps' ramps in the fast engine (WriteRamp and BufferRamp in
// engine/junction/junction_ramp.h are the plain ones).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "engine/fast/fast_pixels.h"
#include "engine/fast/fast_steps.h"
#include "engine/junction/junction_ramp.h"

namespace corvalin::fast {

namespace detail {

using corvalin::detail::KeepWeight;
using corvalin::detail::RampArea;

// RampCount without a call of ceil: a span of runLength or more covers
// runLength pixels; a shorter one lies in 0 < x < runLength, so its
// truncation is in range, and one more where it dropped a fraction is its
// ceiling.
inline int32_t RampCount(double x, int32_t runLength) {
  if (!(x > 0.0)) return 0;
  if (!(x < static_cast<double>(runLength))) return runLength;
  const int32_t whole = static_cast<int32_t>(x);
  return static_cast<double>(whole) < x ? whole + 1 : whole;
}

// KeepWeight(h, x, k) for k = count - 1 down to 0, in that order, keeping
// A(k + 1) from the step before instead of computing it again: the same
// double from the same operands, so the same weights.
class KeepWeights {
 public:
  KeepWeights(double h, double x, int32_t count)
      : h_(h), x_(x), previous_(RampArea(h, x, static_cast<double>(count))) {}

  float Next(int32_t k) {
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
// BlendWeight(KeepWeight(h, span, k)) for every k such a ramp covers, looked
// up instead of a division and a chain of conversions per ramp pixel. They
// are compile-time constants, so a render takes no lock to build them: the
// arithmetic is the same correctly rounded IEEE additions, products,
// quotients and conversions at compile time as at run time (no contraction,
// no fast-math), and a test compares every entry with the run-time
// arithmetic.
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

// WriteRamp of any length, out of line. At the default Line Weight the
// weight factor is 0.5 and the span is half the run either way; such a ramp
// covers (runLength + 1) / 2 pixels, RampCount of that span, and takes its
// weights from the table.
template <class Pixel, class Destination>
void WriteLongRamp(const FastContext<Pixel, Destination>& ctx, int32_t runLength,
                   int32_t startIndex, int32_t startDst, int32_t partnerOffset, int32_t step,
                   int32_t stepDst, bool halfLength) {
  const Pixel* in = ctx.sourcePixels;
  if ((halfLength || ctx.weightFactor == 0.5f) && 0 <= runLength && runLength <= kTabledRun) {
    const int32_t count = (runLength + 1) / 2;
    const uint16_t* wA = HalfSpanBlendWeights<Pixel, 1>(runLength);
    for (int32_t k = count - 1; k >= 0; --k) {
      const int32_t source = startIndex + k * step;
      ctx.destination.Write(
          startDst + k * stepDst,
          BlendPixelsByWeight(ctx, in[source], in[source + partnerOffset], wA[k]));
    }
    return;
  }
  const double span = corvalin::detail::WrittenRampSpan(ctx, runLength, halfLength);
  const int32_t count = RampCount(span, runLength);
  KeepWeights weights(0.5, span, count);
  for (int32_t k = count - 1; k >= 0; --k) {
    const int32_t source = startIndex + k * step;
    BlendAt(ctx, source, source + partnerOffset, startDst + k * stepDst, weights.Next(k));
  }
}

// BufferRamp of any length, out of line; runs up to kTabledRun take their
// weights from the table, which holds at most 64 pixels, within a slot.
template <class Pixel, class Destination>
void BufferLongRamp(RampBuffer<Pixel>& buffer, int32_t slot,
                    const FastContext<Pixel, Destination>& ctx, int32_t runLength,
                    int32_t startIndex, int32_t partnerOffset, int32_t step) {
  const Pixel* in = ctx.sourcePixels;
  if (0 <= runLength && runLength <= kTabledRun) {
    const int32_t count = (runLength + 1) / 2;
    const uint16_t* wA = HalfSpanBlendWeights<Pixel, 2>(runLength);
    for (int32_t k = count - 1; k >= 0; --k) {
      const int32_t source = startIndex + k * step;
      buffer.slots[slot][k] =
          BlendPixelsByWeight(ctx, in[source], in[source + partnerOffset], wA[k]);
    }
    buffer.buffered[slot] = true;
    return;
  }
  const double span = static_cast<double>(runLength) * 0.5;
  int32_t count = RampCount(span, runLength);
  if (count > RampBuffer<Pixel>::slotSize) count = RampBuffer<Pixel>::slotSize;
  KeepWeights weights(1.0, span, count);
  for (int32_t k = count - 1; k >= 0; --k) {
    const int32_t source = startIndex + k * step;
    buffer.slots[slot][k] =
        BlendPixels(ctx, in[source], in[source + partnerOffset], weights.Next(k));
  }
  buffer.buffered[slot] = true;
}

}  // namespace detail

// Most ramps at thin lines cover one pixel: a span of half a run of 1 or 2.
// That blend is made where the step calls it, without a call and its setup;
// a run of 0 covers nothing either way.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void WriteRamp(const FastContext<Pixel, Destination>& ctx, int32_t runLength,
                                      int32_t startIndex, int32_t startDst, int32_t partnerOffset,
                                      int32_t step, int32_t stepDst, bool halfLength) {
  if (runLength <= 2 && (halfLength || ctx.weightFactor == 0.5f)) {
    if (runLength <= 0) return;
    const Pixel* in = ctx.sourcePixels;
    ctx.destination.Write(startDst,
                          BlendPixelsByWeight(ctx, in[startIndex], in[startIndex + partnerOffset],
                                              detail::OnePixelRampWeight<Pixel, 1>(runLength)));
    return;
  }
  detail::WriteLongRamp(ctx, runLength, startIndex, startDst, partnerOffset, step, stepDst,
                        halfLength);
}

// A run of 1 or 2 stages one pixel, blended in place as in WriteRamp.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void BufferRamp(RampBuffer<Pixel>& buffer, int32_t slot,
                                       const FastContext<Pixel, Destination>& ctx,
                                       int32_t runLength, int32_t startIndex, int32_t partnerOffset,
                                       int32_t step) {
  if (runLength == 1 || runLength == 2) {
    const Pixel* in = ctx.sourcePixels;
    buffer.slots[slot][0] = BlendPixelsByWeight(ctx, in[startIndex], in[startIndex + partnerOffset],
                                                detail::OnePixelRampWeight<Pixel, 2>(runLength));
    buffer.buffered[slot] = true;
    return;
  }
  detail::BufferLongRamp(buffer, slot, ctx, runLength, startIndex, partnerOffset, step);
}

}  // namespace corvalin::fast

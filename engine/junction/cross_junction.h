// Cross-junctions: lone pixels and crossings of thin diagonal lines
// (four-sided pixels). P touches its own colour only at its corners: it is
// mixed with the diagonals that differ from it, and the inner corners of the
// diagonal steps through P get ramps along P's row and column.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/junction/junction_ramp.h"
#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

// Bits of the diagonals alike P.
enum AlikeDiagonal : uint32_t {
  upperLeftAlike = 1,
  upperRightAlike = 2,
  lowerRightAlike = 4,
  lowerLeftAlike = 8,
};

// One ramp along the line from startIndex, partnered with the line beside it.
// It spans half the walk when its own line changed first, otherwise the walk
// times the weight factor ("Line Weight").
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void MeasureAndRamp(const EdgeContext<Pixel, Destination>& ctx, int32_t startIndex, int32_t startDst,
                    int32_t partnerOffset, int32_t step, int32_t stepDst, int32_t low,
                    int32_t high, int32_t coord) {
  const RunLength run =
      MeasureRun(ctx, startIndex, startIndex + partnerOffset, step, low, high, coord);
  WriteRamp(ctx, run.length, startIndex, startDst, partnerOffset, step, stepDst,
            run.stoppedOnOwnLine);
}

// A side of P whose ramp runs away from P, in (column, row) steps. The ramp
// starts at P's neighbour on that side; its partner line lies one step
// towards whichever of the two flanking diagonals is alike P.
struct CrossSide {
  uint32_t firstDiagonal = 0, secondDiagonal = 0;  // AlikeDiagonal bits
  int32_t outX = 0, outY = 0;                      // from P away over the side
  int32_t towardsFirstX = 0, towardsFirstY = 0;    // from the ramp to the first diagonal's line
};

constexpr CrossSide crossSides[4] = {
    {.firstDiagonal = upperLeftAlike, .secondDiagonal = lowerLeftAlike, .outX = -1,
     .towardsFirstY = -1},
    {.firstDiagonal = upperLeftAlike, .secondDiagonal = upperRightAlike, .outY = -1,
     .towardsFirstX = -1},
    {.firstDiagonal = upperRightAlike, .secondDiagonal = lowerRightAlike, .outX = 1,
     .towardsFirstY = -1},
    {.firstDiagonal = lowerRightAlike, .secondDiagonal = lowerLeftAlike, .outY = 1,
     .towardsFirstX = 1},
};

// P's new value: the truncated mean of P half-mixed with each of its four
// diagonals, where a diagonal alike P counts as P itself.
template <class Pixel>
Pixel MeanOfHalfMixes(const Pixel& P, const Pixel& q0, const Pixel& q1, const Pixel& q2,
                      const Pixel& q3, uint32_t alikeDiagonals) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  const Pixel* diagonal[4] = {&q0, &q1, &q2, &q3};
  int32_t sumA = 0, sumR = 0, sumG = 0, sumB = 0;
  for (int32_t i = 0; i < 4; ++i) {
    const Pixel value = (alikeDiagonals & (1u << i)) ? P : BlendPixels(P, *diagonal[i], 0.5f);
    sumA += value.alpha;
    sumR += value.red;
    sumG += value.green;
    sumB += value.blue;
  }
  return Pixel{static_cast<Channel>(sumA / 4), static_cast<Channel>(sumR / 4),
               static_cast<Channel>(sumG / 4), static_cast<Channel>(sumB / 4)};
}

#ifdef CORVALIN_SSE2
// The fast engine's test of P against its diagonals and, in the common case,
// P's new value, from one load of the four diagonals. Returns the alike bits;
// sets `value` and `mixed` when P and every diagonal that differs from it are
// opaque. Then every half mix is BlendPixels' opaque one, channel by channel
// (a * wA + b * wB) / M with wA = trunc(M * 0.5f): at 8 bits
// (a * 127 + b * 128) / 255, whose numerator fits 16 bits and whose quotient
// is (x * 0x8081) >> 23 for every 16-bit x; at 16 bits wA = wB = M / 2, so the
// mix is exactly (a + b) / 2, summed in 32 bits. An opaque pair mixes to
// alpha M either way, and P mixed with P is P, so the alike diagonals are
// mixed as P itself.
// `differing` holds the bits of the diagonals that differ from P, as
// DifferingOfFour gives them.
template <class Pixel>
inline uint32_t OpaqueCrossCentre(const Pixel& P, const Pixel& q0, const Pixel& q1,
                                  const Pixel& q2, const Pixel& q3, uint32_t differing,
                                  Pixel& value, bool& mixed) {
  using namespace simd;
  constexpr uint32_t M = ChannelMax<Pixel>();
  constexpr uint32_t wA = static_cast<uint32_t>(static_cast<float>(M) * 0.5f);
  const FourPixels own = FourTimes(P);
  const FourPixels others = LoadFour(q0, q1, q2, q3);
  const __m128i laneBits = _mm_set_epi32(8, 4, 2, 1);
  const __m128i differ = _mm_cmpeq_epi32(
      _mm_and_si128(_mm_set1_epi32(static_cast<int32_t>(differing)), laneBits), laneBits);
  const uint32_t alike = ~differing & 15u;
  mixed = false;
  if (P.alpha != M) return alike;
  const __m128i zero = _mm_setzero_si128();
  auto select = [](__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
  };
  if constexpr (sizeof(Pixel) == 4) {
    static_assert(M == 255 && wA == 127);
    const __m128i alpha = _mm_and_si128(others.low, _mm_set1_epi32(0xFF));
    const uint32_t opaque = LaneBits(_mm_cmpeq_epi32(alpha, _mm_set1_epi32(0xFF)));
    if ((opaque | alike) != 15u) return alike;
    const __m128i partners = select(differ, others.low, own.low);
    const __m128i ownShare =
        _mm_mullo_epi16(_mm_unpacklo_epi8(own.low, zero), _mm_set1_epi16(static_cast<int16_t>(wA)));
    auto mix = [&](__m128i two) {
      const __m128i numerator = _mm_add_epi16(
          ownShare, _mm_mullo_epi16(two, _mm_set1_epi16(static_cast<int16_t>(M - wA))));
      return _mm_srli_epi16(
          _mm_mulhi_epu16(numerator, _mm_set1_epi16(static_cast<int16_t>(0x8081))), 7);
    };
    __m128i sum = _mm_add_epi16(mix(_mm_unpacklo_epi8(partners, zero)),
                                mix(_mm_unpackhi_epi8(partners, zero)));
    sum = _mm_add_epi16(sum, _mm_srli_si128(sum, 8));
    const __m128i mean = _mm_srli_epi16(sum, 2);
    const int32_t word = _mm_cvtsi128_si32(_mm_packus_epi16(mean, mean));
    std::memcpy(&value, &word, sizeof value);
  } else {
    static_assert(M == 32768 && wA == M / 2);
    // Alpha is the first word of each pixel: bytes 0 and 8 of a pair.
    auto opaqueOfPair = [](__m128i two) {
      const uint32_t equal = static_cast<uint32_t>(
          _mm_movemask_epi8(_mm_cmpeq_epi16(two, _mm_set1_epi16(INT16_MIN))));
      return (equal & 1u) | ((equal >> 7) & 2u);
    };
    const uint32_t opaque = opaqueOfPair(others.low) | (opaqueOfPair(others.high) << 2);
    if ((opaque | alike) != 15u) return alike;
    const __m128i low = select(_mm_unpacklo_epi32(differ, differ), others.low, own.low);
    const __m128i high = select(_mm_unpackhi_epi32(differ, differ), others.high, own.high);
    const __m128i ownWide = _mm_unpacklo_epi16(own.low, zero);
    auto half = [&](__m128i partner) { return _mm_srli_epi32(_mm_add_epi32(ownWide, partner), 1); };
    const __m128i sum = _mm_add_epi32(
        _mm_add_epi32(half(_mm_unpacklo_epi16(low, zero)), half(_mm_unpackhi_epi16(low, zero))),
        _mm_add_epi32(half(_mm_unpacklo_epi16(high, zero)), half(_mm_unpackhi_epi16(high, zero))));
    // The mean is at most 65535; biased by -32768 it packs to signed words
    // without saturating, and the bias comes off as the sign bit.
    const __m128i mean = _mm_sub_epi32(_mm_srli_epi32(sum, 2), _mm_set1_epi32(32768));
    const __m128i packed = _mm_xor_si128(_mm_packs_epi32(mean, mean), _mm_set1_epi16(INT16_MIN));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&value), packed);
  }
  mixed = true;
  return alike;
}
#endif

// The ramps of a cross-junction: a side flanked by exactly one alike
// diagonal lies in the inner corner of a diagonal step; ramp along it, away
// from P, towards that diagonal's side. The walk stays between 1 and the last
// but one column (by the source stride) or row. Each side is a template
// argument, so that its steps and bounds are fixed when it is compiled.
template <CrossSide side, class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void RampCrossSide(const EdgeContext<Pixel, Destination>& ctx,
                                          uint32_t alikeDiagonals) {
  const bool first = (alikeDiagonals & side.firstDiagonal) != 0;
  const bool second = (alikeDiagonals & side.secondDiagonal) != 0;
  if (first == second) return;
  constexpr bool horizontal = side.outX != 0;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t step = side.outX + side.outY * sourceStride;
  const int32_t stepDst = side.outX + side.outY * DestinationStride(ctx);
  const int32_t towardsFirst = side.towardsFirstX + side.towardsFirstY * sourceStride;
  MeasureAndRamp(ctx, ctx.sourceIndex + step, ctx.destinationIndex + stepDst,
                 first ? towardsFirst : -towardsFirst, step, stepDst, 1,
                 horizontal ? sourceStride - 2 : ctx.sourceWorld->height - 2,
                 horizontal ? ctx.x : ctx.y);
}

template <class Pixel, class Destination>
void RampCrossSides(const EdgeContext<Pixel, Destination>& ctx, uint32_t alikeDiagonals) {
  RampCrossSide<crossSides[0]>(ctx, alikeDiagonals);
  RampCrossSide<crossSides[1]>(ctx, alikeDiagonals);
  RampCrossSide<crossSides[2]>(ctx, alikeDiagonals);
  RampCrossSide<crossSides[3]>(ctx, alikeDiagonals);
}

// P's new value, then the ramps, given the bits of the diagonals that differ
// from P (DifferingOfFour of P and its upper-left, upper-right, lower-right
// and lower-left neighbours). The fast engine's value and early exit are
// small enough to be compiled into the scan; the ramps stay a call of their
// own.
template <class Pixel, class Destination>
inline void SmoothCrossJunctionGivenDiagonals(const EdgeContext<Pixel, Destination>& ctx,
                                               uint32_t differingDiagonals) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t p = ctx.sourceIndex;
  const int32_t pd = ctx.destinationIndex;

  // Upper-left, upper-right, lower-right, lower-left, in bit order.
  const Pixel& P = in[p];
  const Pixel& upperLeft = in[p - sourceStride - 1];
  const Pixel& upperRight = in[p - sourceStride + 1];
  const Pixel& lowerRight = in[p + sourceStride + 1];
  const Pixel& lowerLeft = in[p + sourceStride - 1];
#ifdef CORVALIN_SSE2
  Pixel centre;
  bool mixed;
  const uint32_t alikeDiagonals = OpaqueCrossCentre(P, upperLeft, upperRight, lowerRight,
                                                    lowerLeft, differingDiagonals, centre, mixed);
  if (!mixed)
    centre = MeanOfHalfMixes(P, upperLeft, upperRight, lowerRight, lowerLeft, alikeDiagonals);
  ctx.destination.Write(pd, centre);
#else
  const uint32_t alikeDiagonals = ~differingDiagonals & 15u;
  ctx.destination.Write(
      pd, MeanOfHalfMixes(P, upperLeft, upperRight, lowerRight, lowerLeft, alikeDiagonals));
#endif

  // No side is flanked by exactly one alike diagonal when none or all four
  // are: the side ramps would ramp nothing.
  if (kFastEngine && (alikeDiagonals == 0 || alikeDiagonals == 15)) return;
  RampCrossSides(ctx, alikeDiagonals);
}

template <class Pixel, class Destination>
inline void SmoothCrossJunction(const EdgeContext<Pixel, Destination>& ctx) {
  const Pixel* in = ctx.sourcePixels;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t p = ctx.sourceIndex;
  SmoothCrossJunctionGivenDiagonals(
      ctx, DifferingOfFour(in[p], in[p - sourceStride - 1], in[p - sourceStride + 1],
                           in[p + sourceStride + 1], in[p + sourceStride - 1], ctx.threshold));
}

}  // namespace corvalin

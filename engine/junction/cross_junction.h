// Cross-junctions: lone pixels and crossings of thin diagonal lines
// (four-sided pixels). P touches its own colour only at its corners: it is
// mixed with the diagonals that differ from it, and the inner corners of the
// diagonal steps through P get ramps along P's row and column.
#pragma once

#include <bit>
#include <cstdint>

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
void MeasureAndRamp(const EdgeContext<Pixel, Destination>& ctx, int32_t startIndex, int32_t startDst,
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

#ifdef CORVALIN_SSE2
// The truncated mean of P half-mixed with each of four opaque diagonals, for
// an opaque P, all four mixes at once. BlendPixels mixes two opaque pixels
// channel by channel as (a * wA + b * wB) / M with wA = trunc(M * 0.5f):
// at 8 bits (a * 127 + b * 128) / 255, whose numerator fits 16 bits and whose
// quotient is (x * 0x8081) >> 23 for every 16-bit x; at 16 bits wA = wB = M / 2,
// so the mix is exactly (a + b) / 2. An opaque pair mixes to alpha M either
// way. A diagonal alike P is passed as P itself: P mixed with P is P.
template <class Pixel>
inline Pixel MeanOfOpaqueHalfMixes(const Pixel& P, const Pixel (&diagonal)[4]) {
  constexpr uint32_t M = ChannelMax<Pixel>();
  constexpr uint32_t wA = static_cast<uint32_t>(static_cast<float>(M) * 0.5f);
  const __m128i zero = _mm_setzero_si128();
  Pixel result;
  if constexpr (sizeof(Pixel) == 4) {
    static_assert(M == 255 && wA == 127);
    const __m128i p = _mm_unpacklo_epi8(_mm_set1_epi32(std::bit_cast<int32_t>(P)), zero);
    const __m128i d = _mm_setr_epi32(
        std::bit_cast<int32_t>(diagonal[0]), std::bit_cast<int32_t>(diagonal[1]),
        std::bit_cast<int32_t>(diagonal[2]), std::bit_cast<int32_t>(diagonal[3]));
    const __m128i ownShare = _mm_mullo_epi16(p, _mm_set1_epi16(static_cast<int16_t>(wA)));
    const __m128i otherShare = _mm_set1_epi16(static_cast<int16_t>(M - wA));
    auto mix = [&](__m128i two) {
      const __m128i numerator = _mm_add_epi16(ownShare, _mm_mullo_epi16(two, otherShare));
      return _mm_srli_epi16(_mm_mulhi_epu16(numerator, _mm_set1_epi16(static_cast<int16_t>(0x8081))), 7);
    };
    __m128i sum = _mm_add_epi16(mix(_mm_unpacklo_epi8(d, zero)), mix(_mm_unpackhi_epi8(d, zero)));
    sum = _mm_add_epi16(sum, _mm_srli_si128(sum, 8));
    const __m128i mean = _mm_srli_epi16(sum, 2);
    result = std::bit_cast<Pixel>(_mm_cvtsi128_si32(_mm_packus_epi16(mean, mean)));
  } else {
    static_assert(M == 32768 && wA == M / 2);
    auto widen = [&](const Pixel& q) {
      return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&q)), zero);
    };
    const __m128i p = widen(P);
    __m128i sum = zero;
    for (const Pixel& q : diagonal) sum = _mm_add_epi32(sum, _mm_srli_epi32(_mm_add_epi32(p, widen(q)), 1));
    // The mean is at most 65535; biased by -32768 it packs to signed words
    // without saturating.
    const __m128i bias = _mm_set1_epi32(32768);
    const __m128i mean = _mm_sub_epi32(_mm_srli_epi32(sum, 2), bias);
    const __m128i packed = _mm_xor_si128(_mm_packs_epi32(mean, mean), _mm_set1_epi16(static_cast<int16_t>(0x8000)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&result), packed);
  }
  return result;
}
#endif

// P's new value: the truncated mean of P half-mixed with each of its four
// diagonals, where a diagonal alike P counts as P itself.
template <class Pixel>
Pixel MeanOfHalfMixes(const Pixel& P, const Pixel (&diagonal)[4], uint32_t alikeDiagonals) {
  using Channel = typename PixelTraits<Pixel>::Channel;
#ifdef CORVALIN_SSE2
  constexpr uint32_t M = ChannelMax<Pixel>();
  bool opaque = P.alpha == M;
  for (int32_t i = 0; i < 4; ++i)
    opaque = opaque && ((alikeDiagonals & (1u << i)) || diagonal[i].alpha == M);
  if (opaque) {
    Pixel mixed[4];
    for (int32_t i = 0; i < 4; ++i) mixed[i] = (alikeDiagonals & (1u << i)) ? P : diagonal[i];
    return MeanOfOpaqueHalfMixes(P, mixed);
  }
#endif
  int32_t sumA = 0, sumR = 0, sumG = 0, sumB = 0;
  for (int32_t i = 0; i < 4; ++i) {
    const Pixel value = (alikeDiagonals & (1u << i)) ? P : BlendPixels(P, diagonal[i], 0.5f);
    sumA += value.alpha;
    sumR += value.red;
    sumG += value.green;
    sumB += value.blue;
  }
  return Pixel{static_cast<Channel>(sumA / 4), static_cast<Channel>(sumR / 4),
               static_cast<Channel>(sumG / 4), static_cast<Channel>(sumB / 4)};
}

template <class Pixel, class Destination>
void SmoothCrossJunction(const EdgeContext<Pixel, Destination>& ctx) {
  const Pixel* in = ctx.sourcePixels;
  const uint32_t threshold = ctx.threshold;
  const int32_t sourceStride = SourceStride(ctx);
  const int32_t destinationStride = DestinationStride(ctx);
  const int32_t height = ctx.sourceWorld->height;
  const int32_t p = ctx.sourceIndex;
  const int32_t pd = ctx.destinationIndex;

  // Upper-left, upper-right, lower-right, lower-left, in bit order.
  const Pixel diagonal[4] = {in[p - sourceStride - 1], in[p - sourceStride + 1],
                             in[p + sourceStride + 1], in[p + sourceStride - 1]};
  uint32_t alikeDiagonals = 0;
  for (int32_t i = 0; i < 4; ++i)
    if (PixelsAlike(in[p], diagonal[i], threshold)) alikeDiagonals |= 1u << i;

  ctx.destination.Write(pd, MeanOfHalfMixes(in[p], diagonal, alikeDiagonals));

  // No side is flanked by exactly one alike diagonal when none or all four
  // are: the loop below would ramp nothing.
  if (kFastEngine && (alikeDiagonals == 0 || alikeDiagonals == 15)) return;

  // A side flanked by exactly one alike diagonal lies in the inner corner of
  // a diagonal step: ramp along it, away from P, towards that diagonal's side.
  // The walk stays between 1 and the last but one column (by the source
  // stride) or row.
  for (const CrossSide& side : crossSides) {
    const bool first = (alikeDiagonals & side.firstDiagonal) != 0;
    const bool second = (alikeDiagonals & side.secondDiagonal) != 0;
    if (first == second) continue;
    const bool horizontal = side.outX != 0;
    const int32_t step = side.outX + side.outY * sourceStride;
    const int32_t stepDst = side.outX + side.outY * destinationStride;
    const int32_t towardsFirst = side.towardsFirstX + side.towardsFirstY * sourceStride;
    MeasureAndRamp(ctx, p + step, pd + stepDst, first ? towardsFirst : -towardsFirst, step,
                   stepDst, 1, horizontal ? sourceStride - 2 : height - 2,
                   horizontal ? ctx.x : ctx.y);
  }
}

}  // namespace corvalin

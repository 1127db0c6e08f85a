// The cross-junction step's centre value and ramps in the fast engine
// (CrossCentre and RampCrossSides in engine/junction/cross_junction.h are
// the plain ones).
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/fast/fast_pixels.h"
#include "engine/fast/fast_steps.h"
#include "engine/fast/measure_run_fast.h"
#include "engine/fast/pixel_simd.h"
#include "engine/fast/ramps_fast.h"
#include "engine/junction/cross_junction.h"

namespace corvalin::fast {

namespace detail {

// The test of P against its diagonals and, in the common case,
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
inline uint32_t OpaqueCrossCentre(const Pixel& P, const Pixel& q0, const Pixel& q1, const Pixel& q2,
                                  const Pixel& q3, uint32_t differing, Pixel& value, bool& mixed) {
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
      const uint32_t equal =
          static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi16(two, _mm_set1_epi16(INT16_MIN))));
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

}  // namespace detail

// P's value from one load of its diagonals where P and every diagonal that
// differs from it are opaque; the plain mean of half mixes otherwise.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE uint32_t CrossCentre(const FastContext<Pixel, Destination>& ctx,
                                            const Pixel& P, const Pixel& q0, const Pixel& q1,
                                            const Pixel& q2, const Pixel& q3,
                                            uint32_t differingDiagonals, Pixel& centre) {
  bool mixed;
  const uint32_t alikeDiagonals =
      detail::OpaqueCrossCentre(P, q0, q1, q2, q3, differingDiagonals, centre, mixed);
  if (!mixed) centre = MeanOfHalfMixes(ctx, P, q0, q1, q2, q3, alikeDiagonals);
  return alikeDiagonals;
}

// No side is flanked by exactly one alike diagonal when none or all four
// are: the side ramps would ramp nothing, so they are not called.
template <class Pixel, class Destination>
CORVALIN_ALWAYS_INLINE void RampCrossSides(const FastContext<Pixel, Destination>& ctx,
                                           uint32_t alikeDiagonals) {
  if (alikeDiagonals == 0 || alikeDiagonals == 15) return;
  corvalin::RampCrossSides(ctx, alikeDiagonals);
}

}  // namespace corvalin::fast

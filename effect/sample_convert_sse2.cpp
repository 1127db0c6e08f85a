#include "effect/sample_convert_sse2.h"

#if CORVALIN_SSE2_CONVERSIONS

#include <emmintrin.h>

namespace corvalin::sse2 {

namespace {

// Render pixels hold alpha, red, green, blue; samples red, green, blue,
// alpha. Two pixels of four 16-bit lanes each, rotated within each pixel.
inline __m128i RgbaToArgb(__m128i v) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 1, 0, 3)),
                             _MM_SHUFFLE(2, 1, 0, 3));
}

inline __m128i ArgbToRgba(__m128i v) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, _MM_SHUFFLE(0, 3, 2, 1)),
                             _MM_SHUFFLE(0, 3, 2, 1));
}

// Eight 32-bit values in 0..65535 as eight 16-bit lanes. SSE2 packs with
// signed saturation only, so the values are moved into the signed range
// first and back after: no value saturates.
inline __m128i PackUnsigned16(__m128i low, __m128i high) {
  const __m128i bias32 = _mm_set1_epi32(32768);
  const __m128i bias16 = _mm_set1_epi16(static_cast<short>(0x8000));
  return _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(low, bias32), _mm_sub_epi32(high, bias32)),
                       bias16);
}

// FileToChannel16(v, 16) = (v x 32768 + 32767) / 65535 equals (v + 1) / 2
// for every 16-bit v (the tests check all 65536): pavgw's rounded average
// with 0, in 17 bits.
inline __m128i SampleToChannel(__m128i v) { return _mm_avg_epu16(v, _mm_setzero_si128()); }

// Channel16ToFile(c) = min((c x 65535 + 16384) / 32768, 65535), c first held
// to 32768 as the scalar table holds it, equals 2c - ((c + 16383) >> 15) for
// every c in 0..32768 (checked by the tests): 65535 for c = 32768, where 2c
// wraps to 0 in 16 bits and the subtraction wraps back.
inline __m128i ChannelToSample(__m128i c) {
  const __m128i max = _mm_set1_epi16(static_cast<short>(PF_MAX_CHAN16));
  const __m128i held = _mm_sub_epi16(c, _mm_subs_epu16(c, max));
  return _mm_sub_epi16(_mm_add_epi16(held, held),
                       _mm_srli_epi16(_mm_add_epi16(held, _mm_set1_epi16(16383)), 15));
}

// FloatToChannel16: held to 0..1 (maxps gives its second operand, 0, for a
// NaN), x = held x 32768 exact, then the integer part plus one where the
// fraction (exact) is at least one half: lround's rounding for x >= 0.
inline __m128i FloatToChannel(__m128 v) {
  const __m128 held = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(1.0f));
  const __m128 x = _mm_mul_ps(held, _mm_set1_ps(static_cast<float>(PF_MAX_CHAN16)));
  const __m128i whole = _mm_cvttps_epi32(x);
  const __m128 fraction = _mm_sub_ps(x, _mm_cvtepi32_ps(whole));
  // The comparison's all-ones lanes are -1: subtracting adds one.
  return _mm_sub_epi32(whole, _mm_castps_si128(_mm_cmpge_ps(fraction, _mm_set1_ps(0.5f))));
}

// Channel16ToFloat: c / 32768, exact in float32, as c x 2^-15.
inline __m128 ChannelToFloat(__m128i c) {
  return _mm_mul_ps(_mm_cvtepi32_ps(c), _mm_set1_ps(1.0f / static_cast<float>(PF_MAX_CHAN16)));
}

inline __m128i Load(const std::byte* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(std::byte* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline void Store(PF_Pixel16* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i Load(const PF_Pixel16* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

}  // namespace

// Bytes R G B A to A R G B and back: each pixel's 32-bit word rotated by
// one byte, four pixels at a time, as the scalar loop rotates one.
int32_t LoadRgba8(const std::byte* samples, PF_Pixel8* frame, int32_t width) {
  int32_t x = 0;
  for (; x + 4 <= width; x += 4) {
    const __m128i v = Load(samples + std::ptrdiff_t{x} * 4);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(frame + x),
                     _mm_or_si128(_mm_slli_epi32(v, 8), _mm_srli_epi32(v, 24)));
  }
  return x;
}

int32_t StoreRgba8(const PF_Pixel8* frame, std::byte* samples, int32_t width) {
  int32_t x = 0;
  for (; x + 4 <= width; x += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + x));
    Store(samples + std::ptrdiff_t{x} * 4,
          _mm_or_si128(_mm_srli_epi32(v, 8), _mm_slli_epi32(v, 24)));
  }
  return x;
}

int32_t LoadRgba16(const std::byte* samples, PF_Pixel16* frame, int32_t width) {
  int32_t x = 0;
  for (; x + 2 <= width; x += 2)
    Store(frame + x, RgbaToArgb(SampleToChannel(Load(samples + std::ptrdiff_t{x} * 8))));
  return x;
}

int32_t StoreRgba16(const PF_Pixel16* frame, std::byte* samples, int32_t width) {
  int32_t x = 0;
  for (; x + 2 <= width; x += 2)
    Store(samples + std::ptrdiff_t{x} * 8, ChannelToSample(ArgbToRgba(Load(frame + x))));
  return x;
}

int32_t LoadRgbaFloat(const std::byte* samples, PF_Pixel16* frame, int32_t width) {
  int32_t x = 0;
  for (; x + 2 <= width; x += 2) {
    const std::byte* p = samples + std::ptrdiff_t{x} * 16;
    const __m128i low = FloatToChannel(_mm_loadu_ps(reinterpret_cast<const float*>(p)));
    const __m128i high = FloatToChannel(_mm_loadu_ps(reinterpret_cast<const float*>(p + 16)));
    Store(frame + x, RgbaToArgb(PackUnsigned16(low, high)));
  }
  return x;
}

int32_t StoreRgbaFloat(const PF_Pixel16* frame, std::byte* samples, int32_t width) {
  const __m128i zero = _mm_setzero_si128();
  int32_t x = 0;
  for (; x + 2 <= width; x += 2) {
    const __m128i c = ArgbToRgba(Load(frame + x));
    std::byte* p = samples + std::ptrdiff_t{x} * 16;
    _mm_storeu_ps(reinterpret_cast<float*>(p), ChannelToFloat(_mm_unpacklo_epi16(c, zero)));
    _mm_storeu_ps(reinterpret_cast<float*>(p + 16), ChannelToFloat(_mm_unpackhi_epi16(c, zero)));
  }
  return x;
}

}  // namespace corvalin::sse2

#endif  // CORVALIN_SSE2_CONVERSIONS

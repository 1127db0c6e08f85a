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

// ---- Premultiplied colour (effect/associated_alpha.h) ----------------------

// Where `mask` is set, a; elsewhere b.
inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
inline __m128 Select(__m128 mask, __m128 a, __m128 b) {
  return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

// Alpha's lanes in render pixels, which lead with it: 16-bit lanes 0 and 4
// of two pixels, or 32-bit lane 0 of one.
inline __m128i AlphaLanes16() { return _mm_set_epi16(0, 0, 0, -1, 0, 0, 0, -1); }
inline __m128i AlphaLane32() { return _mm_set_epi32(0, 0, 0, -1); }

// Each of two render pixels' alpha in all four of its 16-bit lanes.
inline __m128i SpreadAlpha16(__m128i p) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(p, _MM_SHUFFLE(0, 0, 0, 0)),
                             _MM_SHUFFLE(0, 0, 0, 0));
}

// Whether every pixel of `p` has the alpha that leaves it as it is: byte
// masks of two 16-bit render pixels (alpha bits 0, 1, 8 and 9) and of four
// 8-bit ones (alpha bits 0, 4, 8 and 12).
inline bool AllOpaque16(__m128i p) {
  const __m128i max = _mm_set1_epi16(static_cast<short>(PF_MAX_CHAN16));
  return (_mm_movemask_epi8(_mm_cmpeq_epi16(p, max)) & 0x0303) == 0x0303;
}
inline bool AllOpaque8(__m128i p) {
  return (_mm_movemask_epi8(_mm_cmpeq_epi8(p, _mm_set1_epi8(-1))) & 0x1111) == 0x1111;
}

// Alpha, alpha, alpha, 1 of one pixel's float samples red, green, blue, alpha:
// what its samples are divided or multiplied by.
inline __m128 AlphaAlphaAlphaOne(__m128 v) {
  const __m128 blueOneAlphaOne = _mm_unpackhi_ps(v, _mm_set1_ps(1.0f));
  return _mm_shuffle_ps(blueOneAlphaOne, blueOneAlphaOne, _MM_SHUFFLE(1, 2, 2, 2));
}

// UnpremultiplyFloat on one pixel's samples: where alpha is above 0 the
// colour divided by it, divps rounding each quotient as divss does, and
// alpha / 1, alpha itself; elsewhere colour 0 (a NaN alpha fails the
// comparison), those lanes dividing by 1 so that nothing divides by zero.
inline __m128 UnpremultiplySamples(__m128 v) {
  const __m128 divisor = AlphaAlphaAlphaOne(v);
  const __m128 positive = _mm_cmpgt_ps(divisor, _mm_setzero_ps());
  return _mm_and_ps(_mm_div_ps(v, Select(positive, divisor, _mm_set1_ps(1.0f))), positive);
}

// The same where alpha is 1 or not above 0, without the division: c / 1 is
// c (for a NaN, a NaN, which becomes channel 0 all the same).
inline __m128 KeepOrClearSamples(__m128 v) {
  return _mm_and_ps(v, _mm_cmpeq_ps(AlphaAlphaAlphaOne(v), _mm_set1_ps(1.0f)));
}

// PremultiplyFloat on one pixel's samples: colour x alpha, each product
// rounded once as mulss rounds it; alpha x 1 is alpha.
inline __m128 PremultiplySamples(__m128 v) { return _mm_mul_ps(v, AlphaAlphaAlphaOne(v)); }

// UnpremultiplyPixel on one 8-bit render pixel as 32-bit lanes alpha, red,
// green, blue: min(255, (c x 255 + a / 2) / a), colour 0 for alpha 0. The
// numerators n stay below 2^24, so float32 holds them exactly, and the
// correctly rounded n / a truncates to the integer quotient: the next
// integer lies at least 1 / a above n / a, farther than rounding moves it
// (at most n / a x 2^-24). Alpha 0 divides by 1; alpha is kept.
inline __m128i Unpremultiply8(__m128i w) {
  const __m128i a = _mm_shuffle_epi32(w, _MM_SHUFFLE(0, 0, 0, 0));
  const __m128i clear = _mm_cmpeq_epi32(a, _mm_setzero_si128());
  const __m128i n = _mm_add_epi32(_mm_sub_epi32(_mm_slli_epi32(w, 8), w), _mm_srli_epi32(a, 1));
  const __m128 divisor = _mm_cvtepi32_ps(_mm_or_si128(a, _mm_and_si128(clear, _mm_set1_epi32(1))));
  const __m128i q =
      _mm_cvttps_epi32(_mm_min_ps(_mm_div_ps(_mm_cvtepi32_ps(n), divisor), _mm_set1_ps(255.0f)));
  return Select(AlphaLane32(), w, _mm_andnot_si128(clear, q));
}

// The same on a 16-bit render pixel, M = 32768: the numerators reach 2^30,
// beyond float32, so the quotients are taken in doubles, where the same
// argument holds for numerators below 2^53.
inline __m128i Unpremultiply16(__m128i w) {
  const __m128i a = _mm_shuffle_epi32(w, _MM_SHUFFLE(0, 0, 0, 0));
  const __m128i clear = _mm_cmpeq_epi32(a, _mm_setzero_si128());
  const __m128i n = _mm_add_epi32(_mm_slli_epi32(w, 15), _mm_srli_epi32(a, 1));
  const __m128d divisor = _mm_cvtepi32_pd(_mm_or_si128(a, _mm_and_si128(clear, _mm_set1_epi32(1))));
  const __m128d max = _mm_set1_pd(static_cast<double>(PF_MAX_CHAN16));
  const __m128i alphaRed =
      _mm_cvttpd_epi32(_mm_min_pd(_mm_div_pd(_mm_cvtepi32_pd(n), divisor), max));
  const __m128i greenBlue = _mm_cvttpd_epi32(
      _mm_min_pd(_mm_div_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(n, n)), divisor), max));
  return Select(AlphaLane32(), w, _mm_andnot_si128(clear, _mm_unpacklo_epi64(alphaRed, greenBlue)));
}

// PremultiplyPixel on two 8-bit render pixels widened to 16-bit lanes:
// x = c x a + 127 is at most 65152, and for x below 65535, x / 255 is
// (x + 1 + (x >> 8)) >> 8 (the tests check every c and a). Alpha 255 gives
// c back, so opaque pixels need no case of their own; alpha is kept.
inline __m128i Premultiply8(__m128i w) {
  const __m128i x = _mm_add_epi16(_mm_mullo_epi16(w, SpreadAlpha16(w)), _mm_set1_epi16(127));
  const __m128i q =
      _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, _mm_set1_epi16(1)), _mm_srli_epi16(x, 8)), 8);
  return Select(AlphaLanes16(), w, q);
}

// PremultiplyPixel on two 16-bit render pixels: (c x a + 16384) / 32768,
// cut to 16 bits as the scalar code casts it, is bits 15 to 30 of the 32-bit
// sum. pmullw and pmulhuw give the product's halves; adding 16384 to the low
// half carries exactly where its two top bits are set, and the sum never
// passes 2^32 (65535 x 65535 + 16384). Alpha 32768 gives c back; alpha is
// kept.
inline __m128i Premultiply16(__m128i p) {
  const __m128i alpha = SpreadAlpha16(p);
  const __m128i low = _mm_mullo_epi16(p, alpha), high = _mm_mulhi_epu16(p, alpha);
  const __m128i carry = _mm_srli_epi16(_mm_and_si128(low, _mm_slli_epi16(low, 1)), 15);
  const __m128i sumLow = _mm_add_epi16(low, _mm_set1_epi16(16384));
  const __m128i v =
      _mm_or_si128(_mm_slli_epi16(_mm_add_epi16(high, carry), 1), _mm_srli_epi16(sumLow, 15));
  return Select(AlphaLanes16(), p, v);
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

// Premultiplied pictures. Pixels whose alpha is the largest come out as
// they are, so a group of them is tested first and passed through; on load a
// group whose every alpha is the largest or 0 (the opaque and the empty
// parts of a picture, most of it in practice) keeps or clears its colour
// without dividing. The scalar code's arithmetic gives the same there.

int32_t LoadRgba8Unpremultiplied(const std::byte* samples, PF_Pixel8* frame, int32_t width) {
  const __m128i zero = _mm_setzero_si128(), alphaByte = _mm_set1_epi32(0xFF);
  int32_t x = 0;
  for (; x + 4 <= width; x += 4) {
    const __m128i v = Load(samples + std::ptrdiff_t{x} * 4);
    __m128i p = _mm_or_si128(_mm_slli_epi32(v, 8), _mm_srli_epi32(v, 24));
    if (!AllOpaque8(p)) {
      const __m128i alpha = _mm_and_si128(p, alphaByte);
      const __m128i opaque = _mm_cmpeq_epi32(alpha, alphaByte);
      if (_mm_movemask_epi8(_mm_or_si128(opaque, _mm_cmpeq_epi32(alpha, zero))) == 0xFFFF) {
        p = _mm_and_si128(p, _mm_or_si128(opaque, alphaByte));
      } else {
        const __m128i low = _mm_unpacklo_epi8(p, zero), high = _mm_unpackhi_epi8(p, zero);
        p = _mm_packus_epi16(_mm_packs_epi32(Unpremultiply8(_mm_unpacklo_epi16(low, zero)),
                                             Unpremultiply8(_mm_unpackhi_epi16(low, zero))),
                             _mm_packs_epi32(Unpremultiply8(_mm_unpacklo_epi16(high, zero)),
                                             Unpremultiply8(_mm_unpackhi_epi16(high, zero))));
      }
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(frame + x), p);
  }
  return x;
}

int32_t StoreRgba8Premultiplied(const PF_Pixel8* frame, std::byte* samples, int32_t width) {
  const __m128i zero = _mm_setzero_si128();
  int32_t x = 0;
  for (; x + 4 <= width; x += 4) {
    __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + x));
    if (!AllOpaque8(p))
      p = _mm_packus_epi16(Premultiply8(_mm_unpacklo_epi8(p, zero)),
                           Premultiply8(_mm_unpackhi_epi8(p, zero)));
    Store(samples + std::ptrdiff_t{x} * 4,
          _mm_or_si128(_mm_srli_epi32(p, 8), _mm_slli_epi32(p, 24)));
  }
  return x;
}

int32_t LoadRgba16Unpremultiplied(const std::byte* samples, PF_Pixel16* frame, int32_t width) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i max = _mm_set1_epi16(static_cast<short>(PF_MAX_CHAN16));
  int32_t x = 0;
  for (; x + 2 <= width; x += 2) {
    __m128i p = RgbaToArgb(SampleToChannel(Load(samples + std::ptrdiff_t{x} * 8)));
    if (!AllOpaque16(p)) {
      const __m128i alpha = SpreadAlpha16(p);
      const __m128i opaque = _mm_cmpeq_epi16(alpha, max);
      if (_mm_movemask_epi8(_mm_or_si128(opaque, _mm_cmpeq_epi16(alpha, zero))) == 0xFFFF)
        p = _mm_and_si128(p, _mm_or_si128(opaque, AlphaLanes16()));
      else
        p = PackUnsigned16(Unpremultiply16(_mm_unpacklo_epi16(p, zero)),
                           Unpremultiply16(_mm_unpackhi_epi16(p, zero)));
    }
    Store(frame + x, p);
  }
  return x;
}

int32_t StoreRgba16Premultiplied(const PF_Pixel16* frame, std::byte* samples, int32_t width) {
  int32_t x = 0;
  for (; x + 2 <= width; x += 2) {
    __m128i p = Load(frame + x);
    if (!AllOpaque16(p)) p = Premultiply16(p);
    Store(samples + std::ptrdiff_t{x} * 8, ChannelToSample(ArgbToRgba(p)));
  }
  return x;
}

// Four pixels at a time: one test of their four alphas side by side.
int32_t LoadRgbaFloatUnpremultiplied(const std::byte* samples, PF_Pixel16* frame, int32_t width) {
  const __m128 one = _mm_set1_ps(1.0f), zero = _mm_setzero_ps();
  int32_t x = 0;
  for (; x + 4 <= width; x += 4) {
    const float* p = reinterpret_cast<const float*>(samples + std::ptrdiff_t{x} * 16);
    __m128 v[4] = {_mm_loadu_ps(p), _mm_loadu_ps(p + 4), _mm_loadu_ps(p + 8), _mm_loadu_ps(p + 12)};
    const __m128 alphas = _mm_movehl_ps(_mm_unpackhi_ps(v[2], v[3]), _mm_unpackhi_ps(v[0], v[1]));
    const __m128 opaque = _mm_cmpeq_ps(alphas, one);
    if (_mm_movemask_ps(opaque) != 0xF) {
      if (_mm_movemask_ps(_mm_andnot_ps(opaque, _mm_cmpgt_ps(alphas, zero))) == 0) {
        for (__m128& each : v) each = KeepOrClearSamples(each);
      } else {
        for (__m128& each : v) each = UnpremultiplySamples(each);
      }
    }
    Store(frame + x, RgbaToArgb(PackUnsigned16(FloatToChannel(v[0]), FloatToChannel(v[1]))));
    Store(frame + x + 2, RgbaToArgb(PackUnsigned16(FloatToChannel(v[2]), FloatToChannel(v[3]))));
  }
  return x;
}

int32_t StoreRgbaFloatPremultiplied(const PF_Pixel16* frame, std::byte* samples, int32_t width) {
  const __m128i zero = _mm_setzero_si128();
  int32_t x = 0;
  for (; x + 2 <= width; x += 2) {
    const __m128i c = ArgbToRgba(Load(frame + x));
    float* p = reinterpret_cast<float*>(samples + std::ptrdiff_t{x} * 16);
    _mm_storeu_ps(p, PremultiplySamples(ChannelToFloat(_mm_unpacklo_epi16(c, zero))));
    _mm_storeu_ps(p + 4, PremultiplySamples(ChannelToFloat(_mm_unpackhi_epi16(c, zero))));
  }
  return x;
}

}  // namespace corvalin::sse2

#endif  // CORVALIN_SSE2_CONVERSIONS

// Float samples (OpenEXR, float TIFF) and 16-bit render channels (0..32768).
// A float file renders at 16 bits: values are clamped to 0..1 and rounded to
// the nearest channel step, so every file maps to exactly one frame; the way
// back is exact in float, since v / 32768 needs at most 16 significant bits.
#pragma once

#include <cmath>
#include <cstdint>

namespace corvalin::cli {

// lround(clamp(v, 0, 1) x 32768); NaN is 0. The product is exact (a power of
// two), so the only rounding is lround's, halves away from zero.
inline uint16_t FloatToChannel16(float v) {
  if (!(v > 0.0f)) return 0;  // NaN, zero and negatives
  if (v >= 1.0f) return 32768;
  return static_cast<uint16_t>(std::lround(v * 32768.0f));
}

// v / 32768 in float; half outputs round this once more to the nearest half.
inline float Channel16ToFloat(uint32_t v) { return static_cast<float>(v) / 32768.0f; }

}  // namespace corvalin::cli

// Channel conversions between the samples that callers hold (image files,
// arrays, a host's float buffers) and render pixels. Every adapter that is not
// the effect module itself converts through these, so a sample gives the same
// render channel whichever adapter reads it.
//
// Integer samples: integer arithmetic with the remainder dropped, so every
// sample maps to exactly one channel and back. Float samples: one rounding.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "sdk/AE_Effect.h"

namespace corvalin {

// An integer sample (8 or 16 bits) as a channel of an 8-bit render.
constexpr uint8_t FileToChannel8(uint32_t v, int fileBits) {
  if (fileBits == 8) return static_cast<uint8_t>(v);
  return static_cast<uint8_t>((uint64_t{v} * 255 + 32767) / 65535);
}

// An integer sample (8 or 16 bits) as a channel of a 16-bit render (0..32768).
constexpr uint16_t FileToChannel16(uint32_t v, int fileBits) {
  if (fileBits == 8) return static_cast<uint16_t>((uint64_t{v} * 32768 + 127) / 255);
  return static_cast<uint16_t>((uint64_t{v} * 32768 + 32767) / 65535);
}

// A 16-bit render channel as a 16-bit sample. The module never leaves 32768,
// the clamp only keeps a stray value from wrapping.
constexpr uint16_t Channel16ToFile(uint32_t v) {
  return static_cast<uint16_t>(std::min<uint64_t>((uint64_t{v} * 65535 + 16384) / 32768, 65535));
}

// For callers that hand back samples of their own width after rendering at
// the other depth. A 16-bit render channel as an 8-bit sample: the 16-bit
// sample it is written as, read at 8 bits; every 8-bit sample rendered
// unchanged at 16 bits comes back as itself.
constexpr uint8_t Channel16ToSample8(uint32_t v) { return FileToChannel8(Channel16ToFile(v), 16); }

// An 8-bit render channel as a 16-bit sample: 255 becomes 65535, exactly.
constexpr uint16_t Channel8ToSample16(uint32_t v) { return static_cast<uint16_t>(v * 257); }

// A float sample as a 16-bit render channel: held to 0..1 (NaN counts as 0),
// scaled by 32768 and rounded half away from zero. The product is exact in
// float32 (a power of two), so the rounding is the only step that loses
// anything. Narrower floats widen to float32 first, wider ones are not taken.
inline uint16_t FloatToChannel16(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return static_cast<uint16_t>(PF_MAX_CHAN16);
  return static_cast<uint16_t>(std::lround(v * static_cast<float>(PF_MAX_CHAN16)));
}

// A 16-bit render channel as a float sample, exact in float32.
constexpr float Channel16ToFloat(uint32_t v) {
  return static_cast<float>(v) / static_cast<float>(PF_MAX_CHAN16);
}

// A colour control's component (nominally 0..1, as frei0r and OpenFX hosts
// hand colours) as a key byte: held to 0..1 (NaN reads as 0), then
// lround(v x 255). The inverse gives a byte's component, for defaults and
// read-backs: ColourComponentToByte(ByteToColourComponent(b)) == b.
inline uint8_t ColourComponentToByte(double v) {
  if (!(v > 0.0)) return 0;
  if (v > 1.0) return 255;
  return static_cast<uint8_t>(std::lround(v * 255.0));
}

constexpr double ByteToColourComponent(uint8_t b) { return b / 255.0; }

template <class Pixel>
struct SampleConvert;

template <>
struct SampleConvert<PF_Pixel8> {
  static constexpr int bits = 8;
  static constexpr uint32_t FromFile(uint32_t v, int fileBits) {
    return FileToChannel8(v, fileBits);
  }
  static constexpr uint32_t ToFile(uint32_t v) { return v; }
};

template <>
struct SampleConvert<PF_Pixel16> {
  static constexpr int bits = 16;
  static constexpr uint32_t FromFile(uint32_t v, int fileBits) {
    return FileToChannel16(v, fileBits);
  }
  static constexpr uint32_t ToFile(uint32_t v) { return Channel16ToFile(v); }
};

}  // namespace corvalin

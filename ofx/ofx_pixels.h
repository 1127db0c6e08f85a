// How OpenFX channel values become render channels and back. Byte images
// render at 8 bits as they are; short and float images render at 16 bits
// (channel maximum 32768). Each mapping is a pair, in and out.
#pragma once

#include <cmath>
#include <cstdint>

namespace corvalin::ofx {

// Short: 0..65535 to 0..32768 and back, integer arithmetic with the remainder
// dropped, the same as the corvalin command's 16-bit files, so a short image
// renders exactly as that command renders the same 16-bit picture.
constexpr uint16_t ShortToChannel16(uint16_t v) {
  return static_cast<uint16_t>((uint32_t{v} * 32768u + 32767u) / 65535u);
}

// The render never leaves 32768; the clamp only keeps a stray value from wrapping.
constexpr uint16_t Channel16ToShort(uint16_t v) {
  const uint32_t s = (uint32_t{v} * 65535u + 16384u) / 32768u;
  return static_cast<uint16_t>(s > 65535u ? 65535u : s);
}

// Float: nominally 0..1, but hosts pass values outside it (super-whites,
// negative lobes of filters) and NaN. The render's channels are bounded, so
// the value is held to 0..1 (NaN reads as 0) and rounded to the nearest of
// the 32769 levels. Both products are exact: 32768 is a power of two.
inline uint16_t FloatToChannel16(float v) {
  if (!(v > 0.0f)) return 0;
  if (v > 1.0f) return 32768;
  return static_cast<uint16_t>(std::lround(static_cast<double>(v) * 32768.0));
}

constexpr float Channel16ToFloat(uint16_t v) { return static_cast<float>(v) / 32768.0f; }

// Colour parameters: a component (nominally 0..1) to a key byte, as the
// frei0r filter maps its colours: held to 0..1 (NaN reads as 0), then
// lround(v x 255). The inverse gives a byte's component, for defaults:
// ColourComponentToByte(ByteToColourComponent(b)) == b.
inline uint8_t ColourComponentToByte(double v) {
  if (!(v > 0.0)) return 0;
  if (v > 1.0) return 255;
  return static_cast<uint8_t>(std::lround(v * 255.0));
}

constexpr double ByteToColourComponent(uint8_t b) { return b / 255.0; }

}  // namespace corvalin::ofx

// Channel conversions between file samples and render pixels. Integer
// arithmetic with the remainder dropped, so every file maps to exactly one
// frame and back.
#pragma once

#include <algorithm>
#include <cstdint>

#include "sdk/AE_Effect.h"

namespace corvalin::cli {

// A file sample (8 or 16 bits) as a channel of an 8-bit render.
constexpr uint8_t FileToChannel8(uint32_t v, int fileBits) {
  if (fileBits == 8) return static_cast<uint8_t>(v);
  return static_cast<uint8_t>((uint64_t{v} * 255 + 32767) / 65535);
}

// A file sample (8 or 16 bits) as a channel of a 16-bit render (0..32768).
constexpr uint16_t FileToChannel16(uint32_t v, int fileBits) {
  if (fileBits == 8) return static_cast<uint16_t>((uint64_t{v} * 32768 + 127) / 255);
  return static_cast<uint16_t>((uint64_t{v} * 32768 + 32767) / 65535);
}

// A 16-bit render channel as a 16-bit file sample. The module never leaves
// 32768, the clamp only keeps a stray value from wrapping.
constexpr uint16_t Channel16ToFile(uint32_t v) {
  return static_cast<uint16_t>(std::min<uint64_t>((uint64_t{v} * 65535 + 16384) / 32768, 65535));
}

template <class Pixel>
struct PixelTraits;

template <>
struct PixelTraits<PF_Pixel8> {
  static constexpr int bits = 8;
  static constexpr uint32_t channelMax = PF_MAX_CHAN8;
  static constexpr uint32_t FromFile(uint32_t v, int fileBits) { return FileToChannel8(v, fileBits); }
  static constexpr uint32_t ToFile(uint32_t v) { return v; }
};

template <>
struct PixelTraits<PF_Pixel16> {
  static constexpr int bits = 16;
  static constexpr uint32_t channelMax = PF_MAX_CHAN16;
  static constexpr uint32_t FromFile(uint32_t v, int fileBits) { return FileToChannel16(v, fileBits); }
  static constexpr uint32_t ToFile(uint32_t v) { return Channel16ToFile(v); }
};

}  // namespace corvalin::cli

// The vector path of the sample conversions: packed RGBA rows between 8-bit
// samples and 8-bit render pixels, and between 16-bit or float samples and
// 16-bit render pixels, with SSE2 (part of every x86-64 CPU); straight
// colour, and premultiplied colour divided out on load and multiplied back
// on store as effect/associated_alpha.h defines it. The scalar loops in
// sample_convert.cpp are the definition; each function here gives the same
// bits (why, beside each step) and returns how many pixels it converted,
// leaving the rest of the row to them.
//
// sample_convert.cpp calls them only where SSE2 is compiled in and vector
// conversions are on (see UseVectorConversions).
#pragma once

// SSE2 belongs to every x86-64 CPU; other targets convert with the loops.
#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#define CORVALIN_SSE2_CONVERSIONS 1
#else
#define CORVALIN_SSE2_CONVERSIONS 0
#endif

#include <cstddef>
#include <cstdint>

#include "sdk/AE_Effect.h"

namespace corvalin::sse2 {

int32_t LoadRgba8(const std::byte* samples, PF_Pixel8* frame, int32_t width);
int32_t StoreRgba8(const PF_Pixel8* frame, std::byte* samples, int32_t width);
int32_t LoadRgba16(const std::byte* samples, PF_Pixel16* frame, int32_t width);
int32_t StoreRgba16(const PF_Pixel16* frame, std::byte* samples, int32_t width);
int32_t LoadRgbaFloat(const std::byte* samples, PF_Pixel16* frame, int32_t width);
int32_t StoreRgbaFloat(const PF_Pixel16* frame, std::byte* samples, int32_t width);

// The same with the colour premultiplied: unpremultiplied on load (integers
// on the render pixels, floats before their conversion), premultiplied on
// store (integers on the render pixels, floats after their conversion).
int32_t LoadRgba8Unpremultiplied(const std::byte* samples, PF_Pixel8* frame, int32_t width);
int32_t StoreRgba8Premultiplied(const PF_Pixel8* frame, std::byte* samples, int32_t width);
int32_t LoadRgba16Unpremultiplied(const std::byte* samples, PF_Pixel16* frame, int32_t width);
int32_t StoreRgba16Premultiplied(const PF_Pixel16* frame, std::byte* samples, int32_t width);
int32_t LoadRgbaFloatUnpremultiplied(const std::byte* samples, PF_Pixel16* frame, int32_t width);
int32_t StoreRgbaFloatPremultiplied(const PF_Pixel16* frame, std::byte* samples, int32_t width);

}  // namespace corvalin::sse2

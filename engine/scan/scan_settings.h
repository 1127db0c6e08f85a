// The render's settings, and the engine values derived from them.
#pragma once

#include <cstdint>

#include "engine/pixel/pixel_model.h"
#include "sdk/AE_Effect.h"

namespace corvalin {

// The effect's controls as the engine receives them. Adapters fill it
// through the control table, which names the field of every control.
struct RenderSettings {
  bool useKey = false;         // pixels of keyColour become transparent first
  PF_Pixel8 keyColour{};       // 8-bit also in 16-bit renders; alpha is not compared
  double smootherRange = 0.0;  // percent of the largest colour distance, 0..100
  double lineWeight = 0.0;     // 0..1
  // Not a control: the module has no parameter for it and always marks.
  // Adapters that own their frames may leave the four red corner pixels out,
  // which then keep what the scan wrote there.
  bool cornerMarkers = true;
};

// trunc(range * 4 * ChannelMax) as a signed 64-bit integer, low 32 bits,
// divided by 100. Values a double cannot convert to int64 saturate (NaN
// gives 0) instead of being undefined.
template <class Pixel>
uint32_t EdgeThreshold(double smootherRange) {
  const double product = smootherRange * static_cast<double>(ChannelMax<Pixel>() * 4);
  int64_t whole;
  if (!(product == product))
    whole = 0;
  else if (product >= 9223372036854775807.0)
    whole = INT64_MAX;
  else if (product <= -9223372036854775808.0)
    whole = INT64_MIN;
  else
    whole = static_cast<int64_t>(product);
  return static_cast<uint32_t>(static_cast<uint64_t>(whole)) / 100u;
}

// "Line Weight" / 2 + 0.5 in double, rounded to float32. The weight is held to
// 0..1 first: a factor above 1 would stretch the ramps past the traced arms
// and out of the image.
inline float LineWeightFactor(double lineWeight) {
  if (!(lineWeight > 0.0)) lineWeight = 0.0;
  if (lineWeight > 1.0) lineWeight = 1.0;
  return static_cast<float>(lineWeight / 2.0 + 0.5);
}

}  // namespace corvalin

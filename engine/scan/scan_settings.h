// What a render reads from the parameter array, and the engine settings
// derived from it.
#pragma once

#include <cstdint>

#include "engine/pixel/pixel_model.h"
#include "sdk/AE_Effect.h"

namespace corvalin {

// Indices of the effect's controls in the parameter array (0 is the layer).
enum ParamIndex : int32_t {
  inputLayerParam = 0,
  useColorKeyParam = 1,
  alphaKeyParam = 2,
  smootherRangeParam = 3,
  lineWeightParam = 4,
};

struct RenderSettings {
  bool useKey;
  PF_Pixel8 keyColour;
  double smootherRange;  // percent of the largest colour distance, 0..100
  double lineWeight;     // 0..1
};

inline RenderSettings ReadRenderSettings(PF_ParamDef* const params[]) {
  RenderSettings settings;
  settings.useKey = params[useColorKeyParam]->u.bd.value != 0;
  settings.keyColour = params[alphaKeyParam]->u.cd.value;
  settings.smootherRange = params[smootherRangeParam]->u.fs_d.value;
  settings.lineWeight = params[lineWeightParam]->u.fs_d.value;
  return settings;
}

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

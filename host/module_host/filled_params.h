// Parameter filling: the array a host hands to a render, filled from the
// controls' values.
#pragma once

#include "effect/controls.h"
#include "sdk/AE_Effect.h"

namespace corvalin::modulehost {

// The render's parameter array for `settings`, as a host fills it from the
// controls' values: index 0 the input layer, then one definition per control.
struct RenderParams {
  PF_ParamDef defs[kEffectParamCount]{};
  PF_ParamDef* array[kEffectParamCount]{};
  RenderParams(const RenderSettings& settings, const PF_EffectWorld& input);
  RenderParams(const RenderParams&) = delete;
  RenderParams& operator=(const RenderParams&) = delete;
};

}  // namespace corvalin::modulehost

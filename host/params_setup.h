// PF_Cmd_PARAMS_SETUP: registers the controls of effect/controls.h.
#pragma once

#include "sdk/AE_Effect.h"

namespace corvalin {

// Slider curve tolerance the host expects for float sliders.
inline constexpr float kSliderCurveTolerance = 0.05f;

// Stops at the first refusal of add_param and returns its code; num_params
// is set (the input layer and every control) only when all were accepted.
PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                   PF_LayerDef* output);

}  // namespace corvalin

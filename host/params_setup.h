// PF_Cmd_PARAMS_SETUP: registers the four controls of host/controls.h.
#pragma once

#include "sdk/AE_Effect.h"

namespace corvalin {

// Label shown beside the "Use Color Key" box.
inline constexpr const char* kColorKeyCheckboxLabel = "Transparent";
// Slider curve tolerance the host expects for float sliders.
inline constexpr float kSliderCurveTolerance = 0.05f;

// Stops at the first refusal of add_param and returns its code; num_params
// is set to 5 only when all four controls were accepted.
PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                   PF_LayerDef* output);

}  // namespace corvalin

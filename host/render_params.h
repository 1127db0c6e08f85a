// What a render reads from the host's parameter array: each control's value
// field at its index in the control table, at render time.
#pragma once

#include "effect/controls.h"
#include "sdk/AE_Effect.h"

namespace corvalin {

// The parameter array must hold kEffectParamCount non-null definitions.
inline RenderSettings ReadRenderSettings(PF_ParamDef* const params[]) {
  RenderSettings settings{};
  for (const ControlSpec& control : kControls) {
    const PF_ParamDef& def = *params[control.paramIndex];
    switch (control.type) {
      case ControlType::checkbox: settings.*control.flagField = def.u.bd.value != 0; break;
      case ControlType::colour: settings.*control.colourField = def.u.cd.value; break;
      case ControlType::floatSlider: settings.*control.numberField = def.u.fs_d.value; break;
    }
  }
  return settings;
}

}  // namespace corvalin

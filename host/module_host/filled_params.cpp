#include "host/module_host/filled_params.h"

namespace corvalin::modulehost {

RenderParams::RenderParams(const RenderSettings& settings, const PF_EffectWorld& input) {
  defs[0].param_type = PF_Param_LAYER;
  defs[0].u.ld = input;
  for (const ControlSpec& control : kControls) {
    PF_ParamDef& def = defs[control.paramIndex];
    def.uu.id = control.id;
    switch (control.type) {
      case ControlType::checkbox:
        def.param_type = PF_Param_CHECKBOX;
        def.u.bd.value = settings.*control.flagField ? 1 : 0;
        break;
      case ControlType::colour:
        def.param_type = PF_Param_COLOR;
        def.u.cd.value = settings.*control.colourField;
        break;
      case ControlType::floatSlider:
        def.param_type = PF_Param_FLOAT_SLIDER;
        def.u.fs_d.value = settings.*control.numberField;
        break;
    }
  }
  for (int32_t i = 0; i < kEffectParamCount; ++i) array[i] = &defs[i];
}

}  // namespace corvalin::modulehost

#include "host/params_setup.h"

#include <cstring>

#include "effect/controls.h"
#include "effect/string_table.h"

namespace corvalin {

namespace {

void FillCheckbox(PF_ParamDef& def, const ControlSpec& control) {
  def.u.bd.value = static_cast<PF_ParamValue>(control.defaultValue);
  def.u.bd.dephault = static_cast<PF_Boolean>(control.defaultValue);
  def.u.bd.u.nameptr = control.checkboxLabel;
}

void FillColour(PF_ParamDef& def, const ControlSpec& control) {
  def.u.cd.value = control.defaultColour;
  def.u.cd.dephault = control.defaultColour;
}

void FillFloatSlider(PF_ParamDef& def, const ControlSpec& control) {
  PF_FloatSliderDef& fs = def.u.fs_d;
  fs.valid_min = static_cast<float>(control.validMin);
  fs.slider_min = static_cast<float>(control.sliderMin);
  fs.valid_max = static_cast<float>(control.validMax);
  fs.slider_max = static_cast<float>(control.sliderMax);
  fs.value = control.defaultValue;
  fs.dephault = static_cast<float>(control.defaultValue);
  fs.precision = control.precision;
  fs.display_flags = PF_ValueDisplayFlag_NONE;
  fs.fs_flags = PF_FSliderFlag_NONE;
  fs.curve_tolerance = kSliderCurveTolerance;
}

constexpr PF_ParamType ParamTypeOf(ControlType type) {
  switch (type) {
    case ControlType::checkbox: return PF_Param_CHECKBOX;
    case ControlType::colour: return PF_Param_COLOR;
    case ControlType::floatSlider: return PF_Param_FLOAT_SLIDER;
  }
  return PF_Param_RESERVED;
}

}  // namespace

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[],
                   PF_LayerDef* /*output*/) {
  if (in_data == nullptr || out_data == nullptr || in_data->utils == nullptr ||
      in_data->utils->ansi.strcpy == nullptr || in_data->inter.add_param == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  for (const ControlSpec& control : kControls) {
    PF_ParamDef def;
    std::memset(&def, 0, sizeof def);
    def.param_type = ParamTypeOf(control.type);
    in_data->utils->ansi.strcpy(def.name, GetString(ControlNameId(control)));
    switch (control.type) {
      case ControlType::checkbox: FillCheckbox(def, control); break;
      case ControlType::colour: FillColour(def, control); break;
      case ControlType::floatSlider: FillFloatSlider(def, control); break;
    }
    if (control.startCollapsed) def.flags = PF_ParamFlag_START_COLLAPSED;
    def.uu.id = control.id;
    if (PF_Err err = in_data->inter.add_param(in_data->effect_ref, -1, &def)) return err;
  }
  out_data->num_params = kEffectParamCount;
  return PF_Err_NONE;
}

}  // namespace corvalin

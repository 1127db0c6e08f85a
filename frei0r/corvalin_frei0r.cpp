// The frei0r filter: the effect's controls and the corner markers as frei0r
// parameters, each frame rendered through the 8-bit engine on all cores.
// Only the f0r_* functions leave the module.
#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "effect/controls.h"
#include "effect/identity.h"
#include "effect/render_samples.h"
#include "effect/sample_convert.h"
#include "effect/string_table.h"
#include "engine/parallel/core_bands.h"
#include "engine/view/frame_view.h"
#include "frei0r/frei0r_params.h"

// The header has no C++ guards; its declarations give the definitions below C
// linkage and default visibility.
#pragma GCC visibility push(default)
extern "C" {
#include <frei0r.h>
}
#pragma GCC visibility pop

namespace {

using namespace corvalin;
using namespace corvalin::frei0r;

// The effect's settings, the slider values as the host set them (held to
// 0..1, given back unchanged), and a working copy of the frame: the colour
// key rewrites the frame it reads, and frei0r's input is const. Nothing else
// survives a frame.
struct Instance {
  int32_t width = 0, height = 0;
  RenderSettings settings = DefaultRenderSettings();
  std::array<double, kParamCount> sliderParams{};
  std::vector<Pixel8> frame;

  Instance() {
    for (int i = 0; i < kParamCount; ++i)
      if (ControlAt(i).type == ControlType::floatSlider)
        sliderParams[static_cast<size_t>(i)] = SliderDefaultParam(ControlAt(i));
  }
};

// frei0r RGBA8888 (bytes red, green, blue, alpha, straight) in and out of
// the engine's frames, on the render's threads: the output is rendered in
// place in the host's frame and rearranged there.
void Render(Instance& inst, const uint32_t* inframe, uint32_t* outframe) {
  const SampleLayout rgba = PackedSamples<uint8_t>(4, int64_t{inst.width} * 4);
  // Hosts hand a filter one frame at a time: the frame itself uses every
  // core. No view is refused: f0r_construct takes only sizes the engine
  // renders.
  CoreBands cores(0);
  (void)RenderSamples<Pixel8, uint8_t>(inst.settings, reinterpret_cast<const std::byte*>(inframe),
                                       rgba, reinterpret_cast<std::byte*>(outframe), rgba,
                                       inst.width, inst.height, inst.frame.data(),
                                       reinterpret_cast<Pixel8*>(outframe), cores);
}

// The control's own help, and how its frei0r value maps onto it.
const std::array<std::string, kParamCount> kExplanations = [] {
  std::array<std::string, kParamCount> texts;
  for (int i = 0; i < kParamCount; ++i) {
    const ControlSpec& control = ControlAt(i);
    std::string& text = texts[static_cast<size_t>(i)];
    text = control.help;
    switch (control.type) {
      case ControlType::checkbox: text += "; on from 0.5 up"; break;
      case ControlType::colour:
        text += "; each component v becomes the byte lround(v * 255)";
        break;
      case ControlType::floatSlider: {
        char mapping[96];
        std::snprintf(mapping, sizeof mapping, "; the value v (0 to 1) stands for %g + v x %g",
                      control.validMin, control.validMax - control.validMin);
        text += mapping;
        break;
      }
    }
  }
  return texts;
}();

}  // namespace

int f0r_init() { return 1; }

void f0r_deinit() {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  if (!info) return;
  info->name = kEffectName;
  info->author = kVendor;
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->color_model = F0R_COLOR_MODEL_RGBA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = CORVALIN_MAJOR_VERSION;
  info->minor_version = CORVALIN_MINOR_VERSION;
  info->num_params = kParamCount;
  info->explanation = kEffectDescription;
}

void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
  if (!info || param_index < 0 || param_index >= kParamCount) return;
  const ControlSpec& control = ControlAt(param_index);
  info->name = control.displayName;
  switch (control.type) {
    case ControlType::checkbox: info->type = F0R_PARAM_BOOL; break;
    case ControlType::colour: info->type = F0R_PARAM_COLOR; break;
    case ControlType::floatSlider: info->type = F0R_PARAM_DOUBLE; break;
  }
  info->explanation = kExplanations[static_cast<size_t>(param_index)].c_str();
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  if (!FrameSizeSupported(width, height)) return nullptr;
  Instance* inst = new (std::nothrow) Instance;
  if (!inst) return nullptr;
  inst->width = static_cast<int32_t>(width);
  inst->height = static_cast<int32_t>(height);
  try {
    inst->frame.resize(static_cast<size_t>(width) * height);
  } catch (const std::bad_alloc&) {
    delete inst;
    return nullptr;
  }
  return inst;
}

void f0r_destruct(f0r_instance_t instance) { delete static_cast<Instance*>(instance); }

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
  Instance* inst = static_cast<Instance*>(instance);
  if (!inst || !param || param_index < 0 || param_index >= kParamCount) return;
  const ControlSpec& control = ControlAt(param_index);
  switch (control.type) {
    case ControlType::checkbox:
      inst->settings.*control.flagField = BoolFromParam(*static_cast<const f0r_param_bool*>(param));
      break;
    case ControlType::colour: {
      const f0r_param_color_t& c = *static_cast<const f0r_param_color_t*>(param);
      inst->settings.*control.colourField =
          Pixel8{control.defaultColour.alpha, ByteFromComponent(c.r), ByteFromComponent(c.g),
                 ByteFromComponent(c.b)};
      break;
    }
    case ControlType::floatSlider: {
      const double v = ClampUnit(*static_cast<const f0r_param_double*>(param));
      inst->sliderParams[static_cast<size_t>(param_index)] = v;
      inst->settings.*control.numberField = SliderFromParam(control, v);
      break;
    }
  }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
  const Instance* inst = static_cast<const Instance*>(instance);
  if (!inst || !param || param_index < 0 || param_index >= kParamCount) return;
  const ControlSpec& control = ControlAt(param_index);
  switch (control.type) {
    case ControlType::checkbox:
      *static_cast<f0r_param_bool*>(param) = inst->settings.*control.flagField ? 1.0 : 0.0;
      break;
    case ControlType::colour: {
      const Pixel8& key = inst->settings.*control.colourField;
      *static_cast<f0r_param_color_t*>(param) = f0r_param_color_t{
          ComponentFromByte(key.red), ComponentFromByte(key.green), ComponentFromByte(key.blue)};
      break;
    }
    case ControlType::floatSlider:
      *static_cast<f0r_param_double*>(param) = inst->sliderParams[static_cast<size_t>(param_index)];
      break;
  }
}

void f0r_update(f0r_instance_t instance, double, const uint32_t* inframe, uint32_t* outframe) {
  Instance* inst = static_cast<Instance*>(instance);
  if (!inst || !inframe || !outframe) return;
  Render(*inst, inframe, outframe);
}

void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1, const uint32_t*,
                 const uint32_t*, uint32_t* outframe) {
  f0r_update(instance, time, inframe1, outframe);
}

// The frei0r filter: the effect's four controls as frei0r parameters, each
// frame rendered through the 8-bit engine on all cores. Only the f0r_* functions leave the
// module.
#include <cstring>
#include <new>
#include <vector>

#include "engine/parallel/parallel_scan.h"
#include "frei0r/frei0r_params.h"
#include "host/effect_properties.h"
#include "host/string_table.h"

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

// The parameters as the host set them, held to 0..1, plus a working copy of
// the frame: the colour key rewrites the frame it reads, and frei0r's input is
// const. Nothing else survives a frame.
struct Instance {
  int32_t width = 0, height = 0;
  bool useKey = false;
  PF_Pixel8 key{kDefaultKeyAlpha, kDefaultKeyRed, kDefaultKeyGreen, kDefaultKeyBlue};
  double rangeParam = SliderDefaultParam(kSmootherRange);
  double weightParam = SliderDefaultParam(kLineWeight);
  std::vector<PF_Pixel8> frame;
};

void SetUpWorld(PF_EffectWorld& world, const Instance& inst, PF_Pixel8* pixels) {
  world = PF_EffectWorld{};
  world.data = pixels;
  world.rowbytes = inst.width * static_cast<int32_t>(sizeof(PF_Pixel8));
  world.width = inst.width;
  world.height = inst.height;
}

void Render(Instance& inst, const uint32_t* inframe, uint32_t* outframe) {
  const size_t count = inst.frame.size();
  RgbaToEngine(reinterpret_cast<const uint8_t*>(inframe), inst.frame.data(), count);
  PF_Pixel8* output = reinterpret_cast<PF_Pixel8*>(outframe);

  PF_EffectWorld inWorld, outWorld;
  SetUpWorld(inWorld, inst, inst.frame.data());
  SetUpWorld(outWorld, inst, output);
  const RenderSettings settings{inst.useKey, inst.key,
                                SliderFromParam(kSmootherRange, inst.rangeParam),
                                SliderFromParam(kLineWeight, inst.weightParam)};
  // Hosts hand a filter one frame at a time: the frame itself uses every core.
  ScanFrameParallel<PF_Pixel8>(settings, &inWorld, &outWorld, inst.frame.data(), output);
  EngineToRgbaInPlace(reinterpret_cast<uint8_t*>(outframe), count);
}

const char* Explanation(int index) {
  switch (index) {
    case 0:
      return "make every pixel of the key colour fully transparent before smoothing";
    case 1:
      return "key colour; each component v becomes the byte lround(v * 255)";
    case 2:
      return "edge threshold: value x 100 is the percentage of the largest colour distance";
    default:
      return "how far the smoothing ramps reach along each edge step, from half of it (0) to "
             "all of it (1)";
  }
}

}  // namespace

int f0r_init() { return 1; }

void f0r_deinit() {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  if (!info) return;
  info->name = GetString(StrID_Name);
  info->author = "Vantrell VFX";
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->color_model = F0R_COLOR_MODEL_RGBA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = CORVALIN_MAJOR_VERSION;
  info->minor_version = CORVALIN_MINOR_VERSION;
  info->num_params = kParamCount;
  info->explanation = GetString(StrID_Description);
}

void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
  if (!info || param_index < 0 || param_index >= kParamCount) return;
  const ControlSpec& control = ControlAt(param_index);
  info->name = GetString(control.name);
  switch (control.type) {
    case ControlType::checkbox:
      info->type = F0R_PARAM_BOOL;
      break;
    case ControlType::colour:
      info->type = F0R_PARAM_COLOR;
      break;
    case ControlType::floatSlider:
      info->type = F0R_PARAM_DOUBLE;
      break;
  }
  info->explanation = Explanation(param_index);
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
  if (!inst || !param) return;
  switch (param_index) {
    case 0:
      inst->useKey = BoolFromParam(*static_cast<const f0r_param_bool*>(param));
      break;
    case 1: {
      const f0r_param_color_t& c = *static_cast<const f0r_param_color_t*>(param);
      inst->key = PF_Pixel8{255, ByteFromComponent(c.r), ByteFromComponent(c.g),
                            ByteFromComponent(c.b)};
      break;
    }
    case 2:
      inst->rangeParam = ClampUnit(*static_cast<const f0r_param_double*>(param));
      break;
    case 3:
      inst->weightParam = ClampUnit(*static_cast<const f0r_param_double*>(param));
      break;
    default:
      break;
  }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
  const Instance* inst = static_cast<const Instance*>(instance);
  if (!inst || !param) return;
  switch (param_index) {
    case 0:
      *static_cast<f0r_param_bool*>(param) = inst->useKey ? 1.0 : 0.0;
      break;
    case 1:
      *static_cast<f0r_param_color_t*>(param) =
          f0r_param_color_t{ComponentFromByte(inst->key.red), ComponentFromByte(inst->key.green),
                            ComponentFromByte(inst->key.blue)};
      break;
    case 2:
      *static_cast<f0r_param_double*>(param) = inst->rangeParam;
      break;
    case 3:
      *static_cast<f0r_param_double*>(param) = inst->weightParam;
      break;
    default:
      break;
  }
}

void f0r_update(f0r_instance_t instance, double, const uint32_t* inframe, uint32_t* outframe) {
  Instance* inst = static_cast<Instance*>(instance);
  if (!inst || !inframe || !outframe) return;
  Render(*inst, inframe, outframe);
}

void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1,
                 const uint32_t*, const uint32_t*, uint32_t* outframe) {
  f0r_update(instance, time, inframe1, outframe);
}

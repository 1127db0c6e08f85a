#include "host/effect_main.h"

#include <cstdint>

#include "effect/controls.h"
#include "effect/identity.h"  // the identity checks, compiled into the module
#include "effect/string_table.h"
#include "engine/scan/scan_frame.h"
#include "engine/view/frame_view.h"
#include "host/params_setup.h"
#include "host/render_params.h"
#include "host/suite_handler.h"
#include "sdk/sdk_layout.h"  // the layout checks, compiled into the module

namespace corvalin {

namespace {

// The host's world as the engine's view of it, for the engine's checks.
template <class Pixel>
FrameView ViewOf(const PF_EffectWorld& world, Pixel* pixels) {
  return FrameView{pixels, world.width, world.height, world.rowbytes, kDepthOf<Pixel>};
}

template <class Pixel>
PF_Err RenderDepth(PF_InData* in_data, PF_ParamDef* params[], PF_EffectWorld* input,
                   PF_EffectWorld* output, Pixel* inputPixels, Pixel* outputPixels) {
  // The host's own worlds go to the scan, with the host's copy; only the
  // engine's limits are checked through views.
  if (!FrameViewProblem(ViewOf(*input, inputPixels), ViewOf(*output, outputPixels)).empty())
    return PF_Err_BAD_CALLBACK_PARAM;
  const auto hostCopy = [&] {
    return in_data->utils->copy(in_data->effect_ref, input, output, nullptr, nullptr);
  };
  return ScanFrame<Pixel>(ReadRenderSettings(params), input, output, inputPixels, outputPixels,
                          hostCopy);
}

}  // namespace

PF_Err About(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[],
             PF_LayerDef* /*output*/) {
  if (in_data == nullptr || out_data == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  SuiteHandler suites(in_data->pica_basicP);
  const PF_ANSICallbacksSuite1* ansi = suites.ANSICallbacksSuite1();
  if (ansi->sprintf == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  ansi->sprintf(out_data->return_msg, "%s v%d.%d\r%s", GetString(StrID_Name),
                CORVALIN_MAJOR_VERSION, CORVALIN_MINOR_VERSION, GetString(StrID_Description));
  return PF_Err_NONE;
}

PF_Err GlobalSetup(PF_InData* /*in_data*/, PF_OutData* out_data, PF_ParamDef* /*params*/[],
                   PF_LayerDef* /*output*/) {
  if (out_data == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  out_data->my_version = CORVALIN_VERSION_WORD;
  out_data->out_flags = CORVALIN_OUT_FLAGS;
  out_data->out_flags2 = CORVALIN_OUT_FLAGS2;
  return PF_Err_NONE;
}

PF_Err Render(PF_InData* in_data, PF_OutData* /*out_data*/, PF_ParamDef* params[],
              PF_LayerDef* output) {
  if (in_data == nullptr || params == nullptr || output == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  for (int i = 0; i < kEffectParamCount; ++i) {
    if (params[i] == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  }
  const PF_UtilCallbacks* utils = in_data->utils;
  if (utils == nullptr || utils->copy == nullptr || utils->get_pixel_data8 == nullptr ||
      utils->get_pixel_data16 == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  PF_EffectWorld* input = &params[0]->u.ld;

  // The callbacks' own results are not looked at: a null base says it all.
  PF_Pixel16* output16 = nullptr;
  PF_Pixel16* input16 = nullptr;
  utils->get_pixel_data16(output, nullptr, &output16);
  utils->get_pixel_data16(input, nullptr, &input16);
  if (output16 != nullptr && input16 != nullptr) {
    return RenderDepth<PF_Pixel16>(in_data, params, input, output, input16, output16);
  }

  PF_Pixel8* output8 = nullptr;
  PF_Pixel8* input8 = nullptr;
  utils->get_pixel_data8(output, nullptr, &output8);
  utils->get_pixel_data8(input, nullptr, &input8);
  if (output8 == nullptr || input8 == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  return RenderDepth<PF_Pixel8>(in_data, params, input, output, input8, output8);
}

}  // namespace corvalin

extern "C" {

PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                  PF_LayerDef* output, void* /*extra*/) {
  try {
    switch (cmd) {
      case PF_Cmd_ABOUT: return corvalin::About(in_data, out_data, params, output);
      case PF_Cmd_GLOBAL_SETUP: return corvalin::GlobalSetup(in_data, out_data, params, output);
      case PF_Cmd_PARAMS_SETUP: return corvalin::ParamsSetup(in_data, out_data, params, output);
      case PF_Cmd_RENDER: return corvalin::Render(in_data, out_data, params, output);
      default: return PF_Err_NONE;
    }
  } catch (const A_long& err) {
    return err;
  }
}

A_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB callback,
                              struct SPBasicSuite* /*basic*/, const char* /*hostName*/,
                              const char* /*hostVersion*/) {
  if (callback == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  return callback(inPtr, reinterpret_cast<const A_u_char*>(CORVALIN_REG_NAME),
                  reinterpret_cast<const A_u_char*>(CORVALIN_REG_MATCH_NAME),
                  reinterpret_cast<const A_u_char*>(CORVALIN_REG_CATEGORY),
                  reinterpret_cast<const A_u_char*>(CORVALIN_ENTRY_POINT), PF_Kind_EFFECT,
                  CORVALIN_API_MAJOR, CORVALIN_API_MINOR, CORVALIN_REG_RESERVED_INFO);
}

}  // extern "C"

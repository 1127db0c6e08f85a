// The module's two exports and the command handlers behind EffectMain.
#pragma once

#include "sdk/AE_Effect.h"

#if defined(_WIN32)
#define CORVALIN_EXPORT __declspec(dllexport)
#else
#define CORVALIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// Answers PF_Cmd_ABOUT, GLOBAL_SETUP, PARAMS_SETUP and RENDER; every other
// command returns PF_Err_NONE and changes nothing.
CORVALIN_EXPORT PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                  PF_ParamDef* params[], PF_LayerDef* output, void* extra);

// Registers the effect through the host's callback; returns its result.
CORVALIN_EXPORT A_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB callback,
                                              struct SPBasicSuite* basic, const char* hostName,
                                              const char* hostVersion);

}  // extern "C"

namespace corvalin {

PF_Err About(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);
PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                   PF_LayerDef* output);
// Runs the 16-bit engine when both worlds offer 16-bit pixels, else the 8-bit
// one. Refuses with PF_Err_BAD_CALLBACK_PARAM, touching nothing, when the
// records are missing, neither depth is offered for both worlds, or the worlds
// are unsafe to address (sizes differ or are negative, rows too short or not
// whole pixels, more pixels than a signed 32-bit index reaches).
PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);

}  // namespace corvalin

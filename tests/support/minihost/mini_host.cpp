#include "tests/support/minihost/mini_host.h"

#include <cstring>

#include "host/module_host/module_services.h"

namespace corvalin::minihost {

MiniHost::MiniHost(EffectModule module, HostBehaviour behaviour)
    : module_(module), behaviour_(behaviour) {}

PF_ProgPtr MiniHost::EffectRef() { return HostEffectRef(); }

PF_Err MiniHost::Run(ServiceCall& call, PF_Cmd cmd, PF_OutData* outData, PF_ParamDef* params[],
                     PF_LayerDef* output) const {
  OfferServices(call);
  call.inData.version = modulehost::kOfferedSpecVersion;
  call.inData.num_params = modulehost::kOfferedParamCount;

  if (module_.effectMain == nullptr) return PF_Err_INVALID_CALLBACK;
  PF_Err err = PF_Err_NONE;
  {
    const CurrentCall current(call);
    err = module_.effectMain(cmd, &call.inData, outData, params, output, nullptr);
  }
  std::lock_guard<std::mutex> lock(callsMutex_);
  lastCalls_ = std::move(call.calls);
  return err;
}

PF_Err MiniHost::Command(PF_Cmd cmd, PF_OutData* outData, PF_ParamDef* params[],
                         PF_LayerDef* output) const {
  ServiceCall call(behaviour_);
  if (params != nullptr && params[0] != nullptr) call.input = &params[0]->u.ld;
  call.output = output;
  return Run(call, cmd, outData, params, output);
}

PF_Err MiniHost::GlobalSetup() { return Command(PF_Cmd_GLOBAL_SETUP, &outData_); }

PF_Err MiniHost::ParamsSetup() {
  paramDefs_.clear();
  ServiceCall call(behaviour_);
  call.collected = &paramDefs_;
  return Run(call, PF_Cmd_PARAMS_SETUP, &outData_, nullptr, nullptr);
}

PF_Err MiniHost::About(std::string* text) {
  PF_Err err = Command(PF_Cmd_ABOUT, &outData_);
  if (text != nullptr) {
    text->assign(outData_.return_msg, strnlen(outData_.return_msg, sizeof outData_.return_msg));
  }
  return err;
}

PF_Err MiniHost::Render(const RenderSettings& settings, PF_EffectWorld& input,
                        PF_EffectWorld& output) const {
  RenderParams params(settings, input);
  PF_OutData outData{};
  ServiceCall call(behaviour_);
  call.input = &params.defs[0].u.ld;
  call.output = &output;
  return Run(call, PF_Cmd_RENDER, &outData, params.array, &output);
}

A_Err MiniHost::Register(Registration* registration) const {
  if (module_.pluginDataEntry == nullptr) return A_Err_GENERIC;
  Registration local;
  ServiceCall call(behaviour_);
  call.registration = registration ? registration : &local;
  const CurrentCall current(call);
  return module_.pluginDataEntry(reinterpret_cast<PF_PluginDataPtr>(&call), RegistrationCallback(),
                                 &call.basic, "Corvalin mini host", "1.0");
}

std::vector<HostCall> MiniHost::lastCalls() const {
  std::lock_guard<std::mutex> lock(callsMutex_);
  return lastCalls_;
}

int32_t MiniHost::Count(Service service) const {
  std::lock_guard<std::mutex> lock(callsMutex_);
  int32_t n = 0;
  for (const HostCall& c : lastCalls_) n += c.service == service;
  return n;
}

}  // namespace corvalin::minihost

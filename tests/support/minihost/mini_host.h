// The tests' host for the effect module: it offers the services the
// command's host offers (host/module_host), records what the module did with
// them and can be told to refuse or withhold services. Tests drive the
// module through it, linked in or loaded from a file. Its parts, included
// here: module loading, buffers, parameter filling and recording services.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "effect/controls.h"
#include "host/module_host/effect_module.h"
#include "host/module_host/filled_params.h"
#include "tests/support/minihost/host_services.h"
#include "tests/support/minihost/host_world.h"
#include "sdk/AE_Effect.h"

namespace corvalin::minihost {

using modulehost::EffectModule;
using modulehost::LinkedEffectModule;
using modulehost::ModuleFile;
using modulehost::RenderParams;

class MiniHost {
 public:
  explicit MiniHost(EffectModule module, HostBehaviour behaviour = {});

  PF_Err GlobalSetup();             // PF_Cmd_GLOBAL_SETUP into outData()
  PF_Err ParamsSetup();             // PF_Cmd_PARAMS_SETUP; collects paramDefs()
  PF_Err About(std::string* text);  // PF_Cmd_ABOUT; text is return_msg
  // PF_Cmd_RENDER with the parameter array filled from `settings`; the host
  // copy copies width x height pixels. Several threads may render different
  // frames at once through one MiniHost.
  template <class Pixel>
  PF_Err Render(const RenderSettings& settings, HostWorld<Pixel>& input,
                HostWorld<Pixel>& output) const {
    return Render(settings, input.world(), output.world());
  }
  // The same over worlds that the caller owns (of one size and depth).
  PF_Err Render(const RenderSettings& settings, PF_EffectWorld& input,
                PF_EffectWorld& output) const;

  // Any command with the caller's records (a fresh PF_InData from this host).
  PF_Err Command(PF_Cmd cmd, PF_OutData* outData, PF_ParamDef* params[] = nullptr,
                 PF_LayerDef* output = nullptr) const;
  // Calls PluginDataEntryFunction with a recording callback.
  A_Err Register(Registration* registration) const;

  // Records of this host.
  const PF_OutData& outData() const { return outData_; }  // of the last setup/about command
  const std::vector<PF_ParamDef>& paramDefs() const { return paramDefs_; }
  std::vector<HostCall> lastCalls() const;  // services used by the last command
  int32_t Count(Service service) const;     // in lastCalls()
  HostBehaviour& behaviour() { return behaviour_; }
  const HostBehaviour& behaviour() const { return behaviour_; }
  static PF_ProgPtr EffectRef();  // what this host passes as effect_ref

 private:
  PF_Err Run(ServiceCall& call, PF_Cmd cmd, PF_OutData* outData, PF_ParamDef* params[],
             PF_LayerDef* output) const;

  EffectModule module_;
  HostBehaviour behaviour_;
  PF_OutData outData_{};
  std::vector<PF_ParamDef> paramDefs_;
  mutable std::mutex callsMutex_;
  mutable std::vector<HostCall> lastCalls_;
};

}  // namespace corvalin::minihost

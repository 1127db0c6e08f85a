// The host the corvalin command runs the effect module in: the module linked
// into the program or loaded from a file, given the services it calls, its
// parameters filled from the control table, rendering over worlds the
// command owns. It records nothing and offers every service; renders of
// different frames may run on several threads at once.
#pragma once

#include <string>

#include "effect/controls.h"
#include "host/module_host/effect_module.h"
#include "sdk/AE_Effect.h"

namespace corvalin::modulehost {

class ModuleHost {
 public:
  explicit ModuleHost(EffectModule module) : module_(module) {}

  // Global setup, then parameter setup. Returns "" when the module is ready
  // to render, else what failed: a setup's error, or parameters other than
  // the ones this host fills (kOfferedParamCount).
  [[nodiscard]] std::string Setup();

  // PF_Cmd_RENDER of `input` into `output` (worlds of one size and depth),
  // the parameters filled from `settings`.
  PF_Err Render(const RenderSettings& settings, PF_EffectWorld& input,
                PF_EffectWorld& output) const;

 private:
  EffectModule module_;
};

}  // namespace corvalin::modulehost

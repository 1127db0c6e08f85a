#include "host/module_host/module_host.h"

#include <vector>

#include "host/module_host/filled_params.h"
#include "host/module_host/module_services.h"

namespace corvalin::modulehost {

std::string ModuleHost::Setup() {
  if (module_.effectMain == nullptr) return "the effect module has no EffectMain";
  PF_OutData outData{};
  {
    CommandRecords records;
    OfferServices(records);
    if (const PF_Err e = module_.effectMain(PF_Cmd_GLOBAL_SETUP, &records.inData, &outData, nullptr,
                                            nullptr, nullptr))
      return "the effect module failed its global setup with error " + std::to_string(e);
  }
  std::vector<PF_ParamDef> defs;
  CommandRecords records;
  records.collected = &defs;
  OfferServices(records);
  if (const PF_Err e = module_.effectMain(PF_Cmd_PARAMS_SETUP, &records.inData, &outData, nullptr,
                                          nullptr, nullptr))
    return "the effect module failed its parameter setup with error " + std::to_string(e);
  // A render hands over exactly the parameters this host fills: a module
  // that declared others would read past them.
  const auto declared = static_cast<A_long>(defs.size()) + 1;  // and the input layer
  if (declared != kOfferedParamCount || outData.num_params != kOfferedParamCount)
    return "the effect module has " + std::to_string(outData.num_params) +
           " parameters (the input layer and " + std::to_string(defs.size()) +
           " added); this command fills " + std::to_string(kOfferedParamCount) +
           ", the input layer and one per control of its own effect";
  return {};
}

PF_Err ModuleHost::Render(const RenderSettings& settings, PF_EffectWorld& input,
                          PF_EffectWorld& output) const {
  if (module_.effectMain == nullptr) return PF_Err_INVALID_CALLBACK;
  RenderParams params(settings, input);
  CommandRecords records;
  OfferServices(records);
  PF_OutData outData{};
  return module_.effectMain(PF_Cmd_RENDER, &records.inData, &outData, params.array, &output,
                            nullptr);
}

}  // namespace corvalin::modulehost

// The plain scalar engine inside the differential fuzzer. It is compiled a
// second time, with CORVALIN_SCALAR_ENGINE and its namespace renamed (see
// CMakeLists.txt), so this interface names no engine type.
#pragma once

#include "sdk/AE_Effect.h"

namespace differential {

struct PlainSettings {
  bool useKey;
  PF_Pixel8 keyColour;
  double smootherRange;
  double lineWeight;
};

// ScanFrame of the plain engine at the depth of `deep`; the copy step copies
// width pixels of every row, as the mini host's does.
PF_Err RenderWithPlainEngine(const PlainSettings& settings, PF_EffectWorld* input,
                             PF_EffectWorld* output, bool deep);

}  // namespace differential

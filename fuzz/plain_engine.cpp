#include "plain_engine.h"

#include <cstring>

#include "engine/scan/scan_frame.h"

#ifndef CORVALIN_SCALAR_ENGINE
#error "the differential fuzzer's reference must be the plain scalar engine"
#endif

namespace differential {

namespace {

template <class Pixel>
PF_Err Render(const PlainSettings& settings, PF_EffectWorld* input, PF_EffectWorld* output) {
  const corvalin::RenderSettings engineSettings{settings.useKey, settings.keyColour,
                                                settings.smootherRange, settings.lineWeight};
  auto copy = [input, output]() -> PF_Err {
    for (int32_t y = 0; y < input->height; ++y)
      std::memcpy(static_cast<char*>(output->data) + static_cast<ptrdiff_t>(y) * output->rowbytes,
                  static_cast<const char*>(input->data) + static_cast<ptrdiff_t>(y) * input->rowbytes,
                  static_cast<size_t>(input->width) * sizeof(Pixel));
    return PF_Err_NONE;
  };
  return corvalin::ScanFrame(engineSettings, input, output, static_cast<Pixel*>(input->data),
                             static_cast<Pixel*>(output->data), copy);
}

}  // namespace

PF_Err RenderWithPlainEngine(const PlainSettings& settings, PF_EffectWorld* input,
                             PF_EffectWorld* output, bool deep) {
  return deep ? Render<PF_Pixel16>(settings, input, output)
              : Render<PF_Pixel8>(settings, input, output);
}

}  // namespace differential

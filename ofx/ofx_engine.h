// The plug-in's one call into the engine.
#pragma once

#include <cstdint>

#include "engine/scan/scan_settings.h"
#include "ofx/ofx_api.h"
#include "sdk/AE_Effect.h"

namespace corvalin::ofx {

// Renders `input` into `output`, both width x height pixels, top row first,
// rows packed. The colour key rewrites `input`. Returns false when the
// engine reports a failure (`output` is then not a render).
//
// With the host's multi-thread suite (null: none) the frame runs in bands
// on as many of the host's threads as it has CPUs and the frame has bands;
// without it, or on a thread the host itself spawned, it runs on this
// thread alone. Both give the same bytes.
template <class Pixel>
bool RenderFrame(const RenderSettings& settings, const OfxMultiThreadSuiteV1* threads,
                 Pixel* input, Pixel* output, int32_t width, int32_t height);

extern template bool RenderFrame<PF_Pixel8>(const RenderSettings&, const OfxMultiThreadSuiteV1*,
                                            PF_Pixel8*, PF_Pixel8*, int32_t, int32_t);
extern template bool RenderFrame<PF_Pixel16>(const RenderSettings&, const OfxMultiThreadSuiteV1*,
                                             PF_Pixel16*, PF_Pixel16*, int32_t, int32_t);

}  // namespace corvalin::ofx

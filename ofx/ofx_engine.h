// The plug-in's one call into the engine.
#pragma once

#include <cstdint>

#include "engine/parallel/banded_scan.h"
#include "engine/scan/scan_settings.h"
#include "ofx/ofx_api.h"
#include "sdk/AE_Effect.h"

namespace corvalin::ofx {

// The host's threads for one frame: as many of the host's multiThread
// calls as it has CPUs, or this thread alone when the host offers no
// multi-thread suite (null) or this is a thread the host itself spawned
// (multiThread may not be called there). A host may make fewer calls than
// asked, or fail the request: whatever no call took runs here afterwards.
// The conversions in and out of the frame use them too.
class HostThreads final : public BandRunner {
 public:
  explicit HostThreads(const OfxMultiThreadSuiteV1* suite);
  void RunBands(int32_t count, BandFunction function, void* context) override;

  unsigned int cpus() const { return cpus_; }

 private:
  const OfxMultiThreadSuiteV1* suite_ = nullptr;
  unsigned int cpus_ = 1;
};

// Renders `input` into `output`, both width x height pixels, top row first,
// rows packed. The colour key rewrites `input`. Returns false when the
// engine reports a failure (`output` is then not a render). With more than
// one CPU the frame runs in bands on the host's threads, as many as it has
// bands; serial and banded scans give the same bytes.
template <class Pixel>
bool RenderFrame(const RenderSettings& settings, HostThreads& threads, Pixel* input,
                 Pixel* output, int32_t width, int32_t height);

extern template bool RenderFrame<PF_Pixel8>(const RenderSettings&, HostThreads&, PF_Pixel8*,
                                            PF_Pixel8*, int32_t, int32_t);
extern template bool RenderFrame<PF_Pixel16>(const RenderSettings&, HostThreads&, PF_Pixel16*,
                                             PF_Pixel16*, int32_t, int32_t);

}  // namespace corvalin::ofx

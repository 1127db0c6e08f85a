// One frame on several cores, bit for bit equal to the serial ScanFrame.
//
// The frame is cut into bands of whole rows and runs through the same stages
// as the serial scan. The colour key and rectangle pass runs per band and is
// joined; then every band copies its rows and scans them, all bands at the
// same time, with the same steps as the serial scan. Every step reads only the
// input and can only write its destination, and only the arms and
// continueRight carry from pixel to pixel, so bands are independent except
// where one band writes into another's rows (vertical ramps, spur corners).
// Those writes are logged and replayed afterwards so that the serial order of
// writes holds exactly: a band's own writes replace those of bands above it,
// and writes from bands below replace the band's own. The corner markers are
// written last.
//
// For callers that own their worlds (the command line, the frei0r filter):
// it copies width x height pixels itself instead of calling a host.
#pragma once

#include <cstdint>

#include "engine/parallel/banded_scan.h"
#include "engine/scan/scan_settings.h"
#include "sdk/AE_Effect.h"

namespace corvalin {

struct ParallelScanOptions {
  int threads = 0;          // 0: all cores
  int32_t rowsPerBand = 0;  // 0: chosen so that a band fits a core's cache
  Engine engine = DefaultEngine();
};

template <class Pixel>
void ScanFrameParallel(const RenderSettings& settings, PF_EffectWorld* input,
                       PF_EffectWorld* output, Pixel* inputPixels, Pixel* outputPixels,
                       const ParallelScanOptions& options = {});

extern template void ScanFrameParallel<PF_Pixel8>(const RenderSettings&, PF_EffectWorld*,
                                                  PF_EffectWorld*, PF_Pixel8*, PF_Pixel8*,
                                                  const ParallelScanOptions&);
extern template void ScanFrameParallel<PF_Pixel16>(const RenderSettings&, PF_EffectWorld*,
                                                   PF_EffectWorld*, PF_Pixel16*, PF_Pixel16*,
                                                   const ParallelScanOptions&);

// Work of the caller's own (conversions around the scan) on the same
// threads: bands on up to `threads` cores (0: all; 1: in order on the
// calling thread).
class CoreBands final : public BandRunner {
 public:
  explicit CoreBands(int threads) : threads_(threads) {}
  void RunBands(int32_t count, BandFunction function, void* context) override;

 private:
  int threads_;
};

}  // namespace corvalin

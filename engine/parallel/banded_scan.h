// One frame on several threads, bit for bit equal to the serial ScanFrame,
// run in bands by a BandRunner: the caller's own cores (CoreBands,
// core_bands.h) or threads it is lent (an OpenFX host's). Adapters reach
// it through RenderFrameView (engine/view/render_view.h).
//
// The frame is cut into bands of whole rows and runs through the same stages
// as the serial scan. The colour key and rectangle pass runs per band and is
// joined; then every band copies its rows and scans them, all bands at the
// same time, with the same steps as the serial scan. Every step reads only
// the input and can only write its destination, and only the arms and
// continueRight carry from pixel to pixel, so bands are independent except
// where one band writes into another's rows (vertical ramps, spur corners).
// Those writes are logged and replayed afterwards so that the serial order
// of writes holds exactly: a band's own writes replace those of bands above
// it, and writes from bands below replace the band's own. The corner markers
// are written last.
//
// The caller supplies a BandRunner. For every stage of the frame the scan
// asks it to run one function once per band; the runner may run those calls
// in any order, on any threads, as long as it returns only when all have
// returned. SharedBands does the bookkeeping for a runner whose threads
// each take bands until none are left.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>

#include "engine/scan/engine_choice.h"
#include "engine/scan/scan_settings.h"
#include "sdk/AE_Effect.h"

namespace corvalin {

// What a stage runs for band `band`; it may throw (std::bad_alloc).
using BandFunction = void (*)(void* context, int32_t band);

class BandRunner {
 public:
  // Calls function(context, b) once for every b in [0, count) and returns
  // when all calls have returned, passing on the first exception thrown.
  virtual void RunBands(int32_t count, BandFunction function, void* context) = 0;

 protected:
  ~BandRunner() = default;
};

// The bands of one stage, handed out one at a time to whichever thread asks
// next, so that threads that start late or run slowly take fewer. Work()
// never throws: a thrown exception is kept, and no further bands are handed
// out. Finish() runs on the calling thread whatever no thread took (all of
// them when no thread ran) and then rethrows the kept exception.
class SharedBands {
 public:
  SharedBands(int32_t count, BandFunction function, void* context)
      : count_(count), function_(function), context_(context) {}
  SharedBands(const SharedBands&) = delete;
  SharedBands& operator=(const SharedBands&) = delete;

  void Work() noexcept;
  void Finish();

 private:
  const int32_t count_;
  const BandFunction function_;
  void* const context_;
  std::atomic<int32_t> next_{0};
  std::mutex failureMutex_;
  std::exception_ptr failure_;
};

// Bands of at least 8 rows (see CutIntoBands): the most calls a stage of
// this frame can use at once.
int32_t BandCount(int32_t height, int32_t rowbytes);

// `rowsPerBand` 0 cuts bands that fit a core's cache; the tests cut others.
template <class Pixel>
void ScanFrameBanded(const RenderSettings& settings, PF_EffectWorld* input, PF_EffectWorld* output,
                     Pixel* inputPixels, Pixel* outputPixels, BandRunner& runner,
                     Engine engine = DefaultEngine(), int32_t rowsPerBand = 0);

extern template void ScanFrameBanded<PF_Pixel8>(const RenderSettings&, PF_EffectWorld*,
                                                PF_EffectWorld*, PF_Pixel8*, PF_Pixel8*,
                                                BandRunner&, Engine, int32_t);
extern template void ScanFrameBanded<PF_Pixel16>(const RenderSettings&, PF_EffectWorld*,
                                                 PF_EffectWorld*, PF_Pixel16*, PF_Pixel16*,
                                                 BandRunner&, Engine, int32_t);

}  // namespace corvalin

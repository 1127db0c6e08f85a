#include "engine/parallel/banded_scan.h"

#include "engine/parallel/band_schedule.h"

namespace corvalin {

void SharedBands::Work() noexcept {
  for (int32_t b = next_++; b < count_; b = next_++) {
    try {
      function_(context_, b);
    } catch (...) {
      std::lock_guard<std::mutex> lock(failureMutex_);
      if (!failure_) failure_ = std::current_exception();
      next_ = count_;  // the stage has failed: leave the rest
      return;
    }
  }
}

void SharedBands::Finish() {
  {
    std::lock_guard<std::mutex> lock(failureMutex_);
    if (failure_) std::rethrow_exception(failure_);
  }
  for (int32_t b = next_++; b < count_; b = next_++) function_(context_, b);
}

int32_t BandCount(int32_t height, int32_t rowbytes) {
  return bands::CutIntoBands(height, rowbytes, 0).count;
}

namespace {

// Hands a stage's body to the runner as a plain function and its context.
class RunnerStages {
 public:
  explicit RunnerStages(BandRunner& runner) : runner_(runner) {}

  template <class Body>
  void operator()(int32_t count, const Body& body) const {
    runner_.RunBands(
        count, [](void* context, int32_t band) { (*static_cast<const Body*>(context))(band); },
        const_cast<Body*>(&body));
  }

 private:
  BandRunner& runner_;
};

}  // namespace

template <class Pixel>
void ScanFrameBanded(const RenderSettings& settings, PF_EffectWorld* input, PF_EffectWorld* output,
                     Pixel* inputPixels, Pixel* outputPixels, BandRunner& runner, Engine engine,
                     int32_t rowsPerBand) {
  const bands::Bands cut = bands::CutIntoBands(input->height, input->rowbytes, rowsPerBand);
  const FrameWorlds<Pixel> frame{input, output, inputPixels, outputPixels};
  const RunnerStages stages(runner);
  bands::BandSchedule<Pixel, RunnerStages> schedule(frame, cut, stages);
  RunFrameStages(settings, frame, schedule, engine);
}

template void ScanFrameBanded<PF_Pixel8>(const RenderSettings&, PF_EffectWorld*, PF_EffectWorld*,
                                         PF_Pixel8*, PF_Pixel8*, BandRunner&, Engine, int32_t);
template void ScanFrameBanded<PF_Pixel16>(const RenderSettings&, PF_EffectWorld*, PF_EffectWorld*,
                                          PF_Pixel16*, PF_Pixel16*, BandRunner&, Engine, int32_t);

}  // namespace corvalin

#include "ofx/ofx_engine.h"

#include <algorithm>
#include <cstring>

#include "engine/parallel/banded_scan.h"
#include "engine/scan/scan_frame.h"

namespace corvalin::ofx {

namespace {

template <class Pixel>
PF_EffectWorld PackedWorld(Pixel* pixels, int32_t width, int32_t height) {
  PF_EffectWorld world{};
  world.data = pixels;
  world.rowbytes = width * static_cast<int32_t>(sizeof(Pixel));
  world.width = width;
  world.height = height;
  if (sizeof(Pixel) == sizeof(PF_Pixel16)) world.world_flags = PF_WorldFlag_DEEP;
  return world;
}

// Runs a stage's bands through the host's multiThread: each of `calls`
// calls takes bands until none are left. A host may make fewer calls than
// asked (or fail the request); whatever no call took runs here afterwards.
class HostThreads final : public BandRunner {
 public:
  HostThreads(const OfxMultiThreadSuiteV1& suite, unsigned int calls)
      : suite_(suite), calls_(calls) {}

  void RunBands(int32_t count, BandFunction function, void* context) override {
    SharedBands bands(count, function, context);
    const unsigned int calls = std::min(calls_, static_cast<unsigned int>(std::max(count, 0)));
    if (calls > 1) suite_.multiThread(&Work, calls, &bands);
    bands.Finish();
  }

 private:
  // No exception leaves Work into the host: SharedBands keeps it.
  static void Work(unsigned int, unsigned int, void* bands) {
    static_cast<SharedBands*>(bands)->Work();
  }

  const OfxMultiThreadSuiteV1& suite_;
  unsigned int calls_;
};

// How many of the host's threads a frame of `bands` bands uses: 1 without
// the suite, inside a thread the host spawned (multiThread may not be called
// there), or for a frame of one band.
unsigned int HostCalls(const OfxMultiThreadSuiteV1* suite, int32_t bands) {
  if (suite == nullptr || suite->multiThread == nullptr || suite->multiThreadNumCPUs == nullptr ||
      suite->multiThreadIsSpawnedThread == nullptr || bands <= 1)
    return 1;
  if (suite->multiThreadIsSpawnedThread() != 0) return 1;
  unsigned int cpus = 0;
  if (suite->multiThreadNumCPUs(&cpus) != kOfxStatOK) return 1;
  return std::clamp(cpus, 1u, static_cast<unsigned int>(bands));
}

}  // namespace

template <class Pixel>
bool RenderFrame(const RenderSettings& settings, const OfxMultiThreadSuiteV1* threads,
                 Pixel* input, Pixel* output, int32_t width, int32_t height) {
  PF_EffectWorld in = PackedWorld(input, width, height);
  PF_EffectWorld out = PackedWorld(output, width, height);
  // The plug-in declines host frame threading, so a frame arrives whole in
  // one Render: the frame itself uses the host's threads.
  const unsigned int calls = HostCalls(threads, BandCount(height, in.rowbytes));
  if (calls > 1) {
    HostThreads runner(*threads, calls);
    ScanFrameBanded<Pixel>(settings, &in, &out, input, output, runner);
    return true;
  }
  // The serial scan copies the input into the output between the key and
  // the scan; both worlds here are packed and of one size.
  const auto copy = [&] {
    std::memcpy(output, input, static_cast<size_t>(in.rowbytes) * static_cast<size_t>(height));
    return PF_Err{PF_Err_NONE};
  };
  return ScanFrame<Pixel>(settings, &in, &out, input, output, copy) == PF_Err_NONE;
}

template bool RenderFrame<PF_Pixel8>(const RenderSettings&, const OfxMultiThreadSuiteV1*,
                                     PF_Pixel8*, PF_Pixel8*, int32_t, int32_t);
template bool RenderFrame<PF_Pixel16>(const RenderSettings&, const OfxMultiThreadSuiteV1*,
                                      PF_Pixel16*, PF_Pixel16*, int32_t, int32_t);

}  // namespace corvalin::ofx

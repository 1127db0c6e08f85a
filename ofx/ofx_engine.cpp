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

// No exception leaves Work into the host: SharedBands keeps it.
void Work(unsigned int, unsigned int, void* bands) { static_cast<SharedBands*>(bands)->Work(); }

}  // namespace

HostThreads::HostThreads(const OfxMultiThreadSuiteV1* suite) {
  if (suite == nullptr || suite->multiThread == nullptr || suite->multiThreadNumCPUs == nullptr ||
      suite->multiThreadIsSpawnedThread == nullptr || suite->multiThreadIsSpawnedThread() != 0)
    return;
  unsigned int cpus = 0;
  if (suite->multiThreadNumCPUs(&cpus) != kOfxStatOK || cpus <= 1) return;
  suite_ = suite;
  cpus_ = cpus;
}

void HostThreads::RunBands(int32_t count, BandFunction function, void* context) {
  SharedBands bands(count, function, context);
  const unsigned int calls = std::min(cpus_, static_cast<unsigned int>(std::max(count, 0)));
  if (calls > 1) suite_->multiThread(&Work, calls, &bands);
  bands.Finish();
}

template <class Pixel>
bool RenderFrame(const RenderSettings& settings, HostThreads& threads, Pixel* input,
                 Pixel* output, int32_t width, int32_t height) {
  PF_EffectWorld in = PackedWorld(input, width, height);
  PF_EffectWorld out = PackedWorld(output, width, height);
  // The plug-in declines host frame threading, so a frame arrives whole in
  // one Render: the frame itself uses the host's threads.
  if (threads.cpus() > 1 && BandCount(height, in.rowbytes) > 1) {
    ScanFrameBanded<Pixel>(settings, &in, &out, input, output, threads);
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

template bool RenderFrame<PF_Pixel8>(const RenderSettings&, HostThreads&, PF_Pixel8*, PF_Pixel8*,
                                     int32_t, int32_t);
template bool RenderFrame<PF_Pixel16>(const RenderSettings&, HostThreads&, PF_Pixel16*,
                                      PF_Pixel16*, int32_t, int32_t);

}  // namespace corvalin::ofx

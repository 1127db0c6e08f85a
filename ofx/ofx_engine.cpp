#include "ofx/ofx_engine.h"

#include <cstring>

#ifdef CORVALIN_OFX_PARALLEL
#include "engine/parallel/parallel_scan.h"
#else
#include "engine/scan/scan_frame.h"
#endif

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

}  // namespace

template <class Pixel>
bool RenderFrame(const RenderSettings& settings, Pixel* input, Pixel* output, int32_t width,
                 int32_t height) {
  PF_EffectWorld in = PackedWorld(input, width, height);
  PF_EffectWorld out = PackedWorld(output, width, height);
#ifdef CORVALIN_OFX_PARALLEL
  // The plug-in declines host frame threading, so a frame arrives whole in
  // one Render: the frame itself uses every core.
  ScanFrameParallel<Pixel>(settings, &in, &out, input, output);
  return true;
#else
  // The serial scan copies the input into the output between the key and
  // the scan; both worlds here are packed and of one size.
  const auto copy = [&] {
    std::memcpy(output, input, static_cast<size_t>(in.rowbytes) * static_cast<size_t>(height));
    return PF_Err{PF_Err_NONE};
  };
  return ScanFrame<Pixel>(settings, &in, &out, input, output, copy) == PF_Err_NONE;
#endif
}

template bool RenderFrame<PF_Pixel8>(const RenderSettings&, PF_Pixel8*, PF_Pixel8*, int32_t,
                                     int32_t);
template bool RenderFrame<PF_Pixel16>(const RenderSettings&, PF_Pixel16*, PF_Pixel16*, int32_t,
                                      int32_t);

}  // namespace corvalin::ofx

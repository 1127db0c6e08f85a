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

#ifndef CORVALIN_OFX_PARALLEL
// The serial scan has its host copy the input into the output between the
// key and the scan; both worlds here are packed and of one size.
PF_Err CopyWorld(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect*, PF_Rect*) {
  std::memcpy(dst->data, src->data,
              static_cast<size_t>(src->rowbytes) * static_cast<size_t>(src->height));
  return PF_Err_NONE;
}
#endif

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
  PF_UtilCallbacks utils{};
  utils.copy = &CopyWorld;
  PF_InData inData{};
  inData.utils = &utils;
  return ScanFrame<Pixel>(&inData, settings, &in, &out, input, output) == PF_Err_NONE;
#endif
}

template bool RenderFrame<PF_Pixel8>(const RenderSettings&, PF_Pixel8*, PF_Pixel8*, int32_t,
                                     int32_t);
template bool RenderFrame<PF_Pixel16>(const RenderSettings&, PF_Pixel16*, PF_Pixel16*, int32_t,
                                      int32_t);

}  // namespace corvalin::ofx

// A host's pixels described to the effect as a world.
#pragma once

#include <cstdint>

#include "sdk/AE_Effect.h"

namespace corvalin::modulehost {

// A writable world over `pixels`, rows `stride` pixels apart, as a host hands
// its buffers to a render.
template <class Pixel>
PF_EffectWorld WorldOver(Pixel* pixels, int32_t width, int32_t height, int32_t stride) {
  PF_EffectWorld world{};
  world.data = pixels;
  world.rowbytes = stride * static_cast<int32_t>(sizeof(Pixel));
  world.width = width;
  world.height = height;
  world.world_flags = PF_WorldFlag_WRITEABLE | (sizeof(Pixel) == 8 ? PF_WorldFlag_DEEP : 0);
  world.extent_hint = PF_Rect{0, 0, width, height};
  return world;
}

}  // namespace corvalin::modulehost

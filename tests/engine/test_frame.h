// A frame pair for engine tests: input and output worlds with optional row
// padding, a host copy that copies width x height pixels, and helpers that
// render through ScanFrame or place an EdgeContext on one pixel.
#pragma once

#include <cstring>
#include <vector>

#include "engine/scan/scan_frame.h"

namespace corvalin::testing {

struct Controls {
  bool useKey = false;
  PF_Pixel8 key{255, 255, 255, 255};
  double smootherRange = 1.0;
  double lineWeight = 0.0;
};

template <class Pixel>
PF_Err CopyWorld(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect*, PF_Rect*) {
  for (int32_t y = 0; y < src->height; ++y) {
    std::memcpy(static_cast<char*>(dst->data) + static_cast<size_t>(y) * dst->rowbytes,
                static_cast<const char*>(src->data) + static_cast<size_t>(y) * src->rowbytes,
                static_cast<size_t>(src->width) * sizeof(Pixel));
  }
  return PF_Err_NONE;
}

template <class Pixel>
struct TestFrame {
  int32_t width, height, stride;
  std::vector<Pixel> input, output;
  PF_EffectWorld inWorld{}, outWorld{};

  TestFrame(int32_t w, int32_t h, Pixel fill, int32_t padding = 0)
      : width(w), height(h), stride(w + padding),
        input(static_cast<size_t>(stride) * h, Pixel{}),
        output(static_cast<size_t>(stride) * h, Pixel{}) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) in(x, y) = fill;
    SetUpWorld(inWorld, input);
    SetUpWorld(outWorld, output);
  }

  Pixel& in(int32_t x, int32_t y) { return input[static_cast<size_t>(y) * stride + x]; }
  const Pixel& out(int32_t x, int32_t y) const {
    return output[static_cast<size_t>(y) * stride + x];
  }

  void Fill(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Pixel p) {  // inclusive-exclusive
    for (int32_t y = y0; y < y1; ++y)
      for (int32_t x = x0; x < x1; ++x) in(x, y) = p;
  }

  PF_Err Render(const Controls& c = {}) {
    PF_UtilCallbacks utils{};
    utils.copy = &CopyWorld<Pixel>;
    PF_InData inData{};
    inData.utils = &utils;
    PF_OutData outData{};
    PF_ParamDef layer{}, key{}, colour{}, range{}, weight{};
    key.u.bd.value = c.useKey ? 1 : 0;
    colour.u.cd.value = c.key;
    range.u.fs_d.value = c.smootherRange;
    weight.u.fs_d.value = c.lineWeight;
    PF_ParamDef* params[] = {&layer, &key, &colour, &range, &weight};
    return ScanFrame(&inData, &outData, params, &inWorld, &outWorld, input.data(),
                     output.data());
  }

  // An EdgeContext on pixel (x, y), as the driver sets it before a step, with
  // the output holding a copy of the input.
  EdgeContext<Pixel> ContextAt(int32_t x, int32_t y, double smootherRange = 1.0,
                               double lineWeight = 0.0) {
    output = input;
    SetUpWorld(outWorld, output);
    RenderSettings settings{false, PF_Pixel8{}, smootherRange, lineWeight};
    EdgeContext<Pixel> ctx =
        MakeEdgeContext<Pixel>(&inWorld, &outWorld, input.data(), output.data(), settings);
    ctx.x = x;
    ctx.y = y;
    ctx.sourceIndex = y * stride + x;
    ctx.destinationIndex = y * stride + x;
    ctx.nested = 0;
    return ctx;
  }

  // After copying a frame, point its worlds at its own pixels.
  void SetUpWorlds() {
    SetUpWorld(inWorld, input);
    SetUpWorld(outWorld, output);
  }

 private:
  void SetUpWorld(PF_EffectWorld& world, std::vector<Pixel>& pixels) {
    world.data = pixels.data();
    world.rowbytes = stride * static_cast<int32_t>(sizeof(Pixel));
    world.width = width;
    world.height = height;
    world.world_flags = sizeof(Pixel) == 8 ? PF_WorldFlag_DEEP : 0;
  }
};

}  // namespace corvalin::testing

// Comparison and printers (global, where lookup finds them for the host records) so that a failed pixel comparison shows the channels.
#include <ostream>
inline bool operator==(const PF_Pixel8& a, const PF_Pixel8& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}
inline bool operator==(const PF_Pixel16& a, const PF_Pixel16& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}
inline std::ostream& operator<<(std::ostream& os, const PF_Pixel8& p) {
  return os << "(" << int(p.alpha) << "," << int(p.red) << "," << int(p.green) << ","
            << int(p.blue) << ")";
}
inline std::ostream& operator<<(std::ostream& os, const PF_Pixel16& p) {
  return os << "(" << p.alpha << "," << p.red << "," << p.green << "," << p.blue << ")";
}

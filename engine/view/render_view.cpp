#include "engine/view/render_view.h"

#include <cstddef>
#include <cstring>

#include "engine/scan/scan_frame.h"

namespace corvalin {

namespace {

// The scan's description of a checked view: every size fits its 32 bits.
PF_EffectWorld WorldOf(const FrameView& view) {
  PF_EffectWorld world{};
  world.data = view.pixels;
  world.width = static_cast<A_long>(view.width);
  world.height = static_cast<A_long>(view.height);
  world.rowbytes = static_cast<A_long>(view.rowBytes);
  if (view.depth == 16) world.world_flags = PF_WorldFlag_DEEP;
  return world;
}

template <class Pixel>
void RenderDepth(const RenderSettings& settings, const FrameView& input, const FrameView& output,
                 BandRunner* bands, Engine engine) {
  PF_EffectWorld in = WorldOf(input);
  PF_EffectWorld out = WorldOf(output);
  Pixel* inputPixels = static_cast<Pixel*>(input.pixels);
  Pixel* outputPixels = static_cast<Pixel*>(output.pixels);
  if (bands != nullptr && BandCount(in.height, in.rowbytes) > 1) {
    ScanFrameBanded<Pixel>(settings, &in, &out, inputPixels, outputPixels, *bands, engine);
    return;
  }
  // The serial scan copies the input into the output between the key and
  // the scan: a row's pixels, as the banded scan copies them.
  const auto copy = [&] {
    const size_t rowPixelBytes = static_cast<size_t>(input.width) * sizeof(Pixel);
    const auto* from = static_cast<const std::byte*>(input.pixels);
    auto* to = static_cast<std::byte*>(output.pixels);
    if (input.rowBytes == output.rowBytes && static_cast<size_t>(input.rowBytes) == rowPixelBytes) {
      std::memcpy(to, from, rowPixelBytes * static_cast<size_t>(input.height));
    } else {
      for (int64_t y = 0; y < input.height; ++y)
        std::memcpy(to + y * output.rowBytes, from + y * input.rowBytes, rowPixelBytes);
    }
    return PF_Err{PF_Err_NONE};
  };
  ScanFrame<Pixel>(settings, &in, &out, inputPixels, outputPixels, copy, engine);
}

}  // namespace

std::string RenderFrameView(const RenderSettings& settings, const FrameView& input,
                            const FrameView& output, BandRunner* bands, Engine engine) {
  if (std::string problem = FrameViewProblem(input, output); !problem.empty()) return problem;
  if (input.depth == 16)
    RenderDepth<Pixel16>(settings, input, output, bands, engine);
  else
    RenderDepth<Pixel8>(settings, input, output, bands, engine);
  return {};
}

}  // namespace corvalin

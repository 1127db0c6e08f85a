#include "effect/render_samples.h"

#include "engine/view/frame_view.h"
#include "engine/view/render_view.h"

namespace corvalin {

template <class Pixel, class Sample>
std::string RenderSamples(const RenderSettings& settings, const std::byte* input,
                          const SampleLayout& inputLayout, std::byte* output,
                          const SampleLayout& outputLayout, int32_t width, int32_t height,
                          Pixel* inputFrame, Pixel* outputFrame, BandRunner& runner) {
  // Bands cut by the render frame's rows, as the scan cuts them.
  const int64_t frameRowBytes = int64_t{width} * int64_t{sizeof(Pixel)};
  ConvertInBands(runner, height, frameRowBytes, [&](int32_t y0, int32_t y1) {
    LoadSamples<Pixel, Sample>(input, inputLayout, inputFrame, width, width, y0, y1);
  });
  std::string problem = RenderFrameView(settings, PackedView(inputFrame, width, height),
                                        PackedView(outputFrame, width, height), &runner);
  if (!problem.empty()) return problem;
  ConvertInBands(runner, height, frameRowBytes, [&](int32_t y0, int32_t y1) {
    StoreSamples<Pixel, Sample>(outputFrame, width, output, outputLayout, width, y0, y1);
  });
  return problem;
}

#define CORVALIN_DEFINE_SAMPLE_RENDER(Pixel, Sample)                            \
  template std::string RenderSamples<Pixel, Sample>(                            \
      const RenderSettings&, const std::byte*, const SampleLayout&, std::byte*, \
      const SampleLayout&, int32_t, int32_t, Pixel*, Pixel*, BandRunner&);
CORVALIN_SAMPLE_PAIRS(CORVALIN_DEFINE_SAMPLE_RENDER)
#undef CORVALIN_DEFINE_SAMPLE_RENDER

}  // namespace corvalin

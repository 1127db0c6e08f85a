// A caller's samples rendered and stored back: the load, render and store
// that the frei0r filter and the Python module share.
//
// Contract:
// - Rows [0, height) of `width` pixels are loaded from `input` (laid out as
//   `inputLayout`, in bytes) into the packed render frame `inputFrame`,
//   rendered by RenderFrameView into the packed frame `outputFrame`, and
//   stored from there into `output` (laid out as `outputLayout`). Both frames
//   are width x height render pixels without row padding, held by the caller;
//   the input frame is rewritten by the colour key.
// - Every value is exact: the conversions of sample_convert.h and the
//   engine's render, nothing else. The bytes are the same on any runner.
// - The load, the render and the store each run in bands on `runner`'s
//   threads and are done before the next starts, so the input frame may lie
//   in `output`'s memory, and `outputFrame` may be `output` itself where a
//   stored pixel is the size of a render pixel (the store runs in place).
// - Returns "" once `output` holds the render, or the views' problem
//   (FrameViewProblem) with the input frame loaded and neither `outputFrame`
//   nor `output` written. What the runner passes on (std::bad_alloc) is
//   thrown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "effect/sample_convert.h"
#include "engine/parallel/banded_scan.h"
#include "engine/scan/scan_settings.h"
#include "sdk/AE_Effect.h"

namespace corvalin {

template <class Pixel, class Sample>
[[nodiscard]] std::string RenderSamples(const RenderSettings& settings, const std::byte* input,
                                        const SampleLayout& inputLayout, std::byte* output,
                                        const SampleLayout& outputLayout, int32_t width,
                                        int32_t height, Pixel* inputFrame, Pixel* outputFrame,
                                        BandRunner& runner);

#define CORVALIN_DECLARE_SAMPLE_RENDER(Pixel, Sample)                           \
  extern template std::string RenderSamples<Pixel, Sample>(                     \
      const RenderSettings&, const std::byte*, const SampleLayout&, std::byte*, \
      const SampleLayout&, int32_t, int32_t, Pixel*, Pixel*, BandRunner&);
CORVALIN_SAMPLE_PAIRS(CORVALIN_DECLARE_SAMPLE_RENDER)
#undef CORVALIN_DECLARE_SAMPLE_RENDER

}  // namespace corvalin

// The engine's one entry for adapters that own their frames (the OpenFX
// plug-in, the frei0r filter, the Python module): it checks both views,
// describes them to the scan as it needs them and picks the pixel type from
// their depth, so that an adapter fills views and nothing else.
#pragma once

#include <string>

#include "engine/parallel/banded_scan.h"
#include "engine/scan/engine_choice.h"
#include "engine/scan/scan_settings.h"
#include "engine/view/frame_view.h"

namespace corvalin {

// Renders `input` into `output`: the colour key rewrites `input`, and every
// pixel of `output` within its width is written; row padding is left as it
// is. With `bands` the frame runs in bands on the runner's threads whenever
// it has more than one band, else on the calling thread alone; both give the
// same bytes. Returns "" once `output` holds the render, or the views'
// problem (FrameViewProblem) with no pixel read or written. What the runner
// passes on (std::bad_alloc) is thrown.
[[nodiscard]] std::string RenderFrameView(const RenderSettings& settings, const FrameView& input,
                                          const FrameView& output, BandRunner* bands,
                                          Engine engine = DefaultEngine());

}  // namespace corvalin

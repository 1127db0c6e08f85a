// The one place the command renders a frame: through the effect module's
// EffectMain in the module host, or through the engine's entry for frames
// an adapter owns. Both write the same bytes.
#pragma once

#include <cstdint>

#include "cli/frame_buffer.h"
#include "effect/controls.h"
#include "host/module_host/module_host.h"

namespace corvalin::cli {

// A CliError naming the limit if a frame of this size and padding cannot be
// addressed with a signed 32-bit pixel index.
void CheckFrameSize(int32_t width, int32_t height, int32_t rowPadding, int pixelBytes);

// Renders `input` into `output` (frames of one size and padding) through the
// module's EffectMain in `host` when `throughModule`, else through the
// engine in bands on up to `threads` threads of the calling task arena. The
// module always marks the corners: with settings.cornerMarkers off,
// `throughModule` must be false (a CliError otherwise).
template <class Pixel>
void RenderFrame(const modulehost::ModuleHost& host, const RenderSettings& settings,
                 FrameBuffer<Pixel>& input, FrameBuffer<Pixel>& output, bool throughModule,
                 int threads);

}  // namespace corvalin::cli

#include "cli/render_frame.h"

#include <tbb/task_arena.h>

#include <string>

#include "cli/formats.h"
#include "engine/parallel/core_bands.h"
#include "engine/view/frame_view.h"
#include "engine/view/render_view.h"

namespace corvalin::cli {

void CheckFrameSize(int32_t width, int32_t height, int32_t rowPadding, int pixelBytes) {
  const int64_t rowBytes = (int64_t{width} + rowPadding) * pixelBytes;
  const std::string problem =
      FrameGeometryProblem(width, height, rowBytes, pixelBytes == 8 ? 16 : 8);
  if (!problem.empty()) throw CliError(problem);
}

template <class Pixel>
void RenderFrame(const modulehost::ModuleHost& host, const RenderSettings& settings,
                 FrameBuffer<Pixel>& input, FrameBuffer<Pixel>& output, bool throughModule,
                 int threads) {
  if (!throughModule) {
    CoreBands cores(threads);
    std::string problem;
    // Isolated: while its bands run, this thread takes no other frame's
    // stage, which would hold this frame (and its buffers) up.
    tbb::this_task_arena::isolate(
        [&] { problem = RenderFrameView(settings, input.view(), output.view(), &cores); });
    if (!problem.empty()) throw CliError("the engine refused the frame: " + problem);
    return;
  }
  // The module has no parameter for the markers: it would write them anyway.
  if (!settings.cornerMarkers)
    throw CliError(
        "the effect module always writes the corner markers; a render without them "
        "runs on the command's own engine");
  const PF_Err err = host.Render(settings, input.world(), output.world());
  if (err != PF_Err_NONE)
    throw CliError("the effect's render failed with error " + std::to_string(err));
}

template void RenderFrame<PF_Pixel8>(const modulehost::ModuleHost&, const RenderSettings&,
                                     FrameBuffer<PF_Pixel8>&, FrameBuffer<PF_Pixel8>&, bool, int);
template void RenderFrame<PF_Pixel16>(const modulehost::ModuleHost&, const RenderSettings&,
                                      FrameBuffer<PF_Pixel16>&, FrameBuffer<PF_Pixel16>&, bool,
                                      int);

}  // namespace corvalin::cli

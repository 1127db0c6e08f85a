#include "cli/render_frame.h"

#include <tbb/task_arena.h>

#include "engine/parallel/parallel_scan.h"
#include "engine/view/frame_view.h"

namespace corvalin::cli {

void CheckFrameSize(int32_t width, int32_t height, int32_t rowPadding, int pixelBytes) {
  const int64_t rowBytes = (int64_t{width} + rowPadding) * pixelBytes;
  const std::string problem =
      FrameGeometryProblem(width, height, rowBytes, pixelBytes == 8 ? 16 : 8);
  if (!problem.empty()) throw CliError(problem);
}

template <class Pixel>
void RenderWorlds(const minihost::MiniHost& host, const RenderSettings& settings,
                  FrameBuffer<Pixel>& input, FrameBuffer<Pixel>& output, bool throughModule,
                  int threads) {
  if (!throughModule) {
    // Isolated: while its bands run, this thread takes no other frame's
    // stage, which would hold this frame (and its buffers) up.
    tbb::this_task_arena::isolate([&] {
      ScanFrameParallel<Pixel>(settings, &input.world(), &output.world(), input.pixels(),
                               output.pixels(), ParallelScanOptions{threads, 0});
    });
    return;
  }
  // The module has no parameter for the markers: it would write them anyway.
  if (!settings.cornerMarkers)
    throw CliError("the effect module always writes the corner markers; a render without them "
                   "runs on the command's own engine");
  const PF_Err err = host.Render(settings, input.world(), output.world());
  if (err != PF_Err_NONE) throw CliError("the effect's render failed with error " + std::to_string(err));
}

template void RenderWorlds<PF_Pixel8>(const minihost::MiniHost&, const RenderSettings&,
                                      FrameBuffer<PF_Pixel8>&, FrameBuffer<PF_Pixel8>&, bool, int);
template void RenderWorlds<PF_Pixel16>(const minihost::MiniHost&, const RenderSettings&,
                                       FrameBuffer<PF_Pixel16>&, FrameBuffer<PF_Pixel16>&, bool,
                                       int);

Image RenderImage(const minihost::MiniHost& host, const Image& image,
                  const RenderSettings& settings, const FrameOptions& frame) {
  if (frame.rowPadding < 0 || frame.rowPadding > kMaxRowPadding) {
    throw CliError("--row-padding must be 0 to " + std::to_string(kMaxRowPadding));
  }
  return AtRenderDepth(RenderDepth(image, frame), [&]<class Pixel>(Pixel) {
    CheckFrameSize(image.width, image.height, frame.rowPadding, static_cast<int>(sizeof(Pixel)));
    FrameBuffer<Pixel> input(image.width, image.height, frame.rowPadding);
    FrameBuffer<Pixel> output(image.width, image.height, frame.rowPadding);
    ImageToWorld(image, input);
    RenderWorlds(host, settings, input, output, frame.threads <= 1 && settings.cornerMarkers,
                 frame.threads);
    return WorldToImage(output);
  });
}

}  // namespace corvalin::cli

#include "cli/render_frame.h"

#include <limits>

#include "engine/parallel/parallel_scan.h"

namespace corvalin::cli {

void CheckFrameSize(int32_t width, int32_t height, int32_t rowPadding, int pixelBytes) {
  const int64_t stride = int64_t{width} + rowPadding;
  if (stride * height > kMaxFramePixels || stride * pixelBytes > std::numeric_limits<int32_t>::max()) {
    throw CliError("a frame of " + std::to_string(width) + " x " + std::to_string(height) +
                   " pixels with row padding " + std::to_string(rowPadding) +
                   " is too large: (width + padding) x height must be at most " +
                   std::to_string(kMaxFramePixels) + " pixels (a signed 32-bit pixel index)");
  }
}

namespace {

template <class Pixel>
Image RenderAt(const minihost::MiniHost& host, const Image& image, const RenderSettings& settings,
               const FrameOptions& frame) {
  CheckFrameSize(image.width, image.height, frame.rowPadding, static_cast<int>(sizeof(Pixel)));
  minihost::HostWorld<Pixel> input(image.width, image.height, frame.rowPadding);
  minihost::HostWorld<Pixel> output(image.width, image.height, frame.rowPadding);
  ImageToWorld(image, input);
  if (frame.threads > 1) {
    ScanFrameParallel<Pixel>(settings, &input.world(), &output.world(), input.pixels(),
                             output.pixels(), ParallelScanOptions{frame.threads, 0});
    return WorldToImage(output);
  }
  const PF_Err err = host.Render(settings, input, output);
  if (err != PF_Err_NONE) throw CliError("the effect's render failed with error " + std::to_string(err));
  return WorldToImage(output);
}

}  // namespace

Image RenderImage(const minihost::MiniHost& host, const Image& image,
                  const RenderSettings& settings, const FrameOptions& frame) {
  if (frame.rowPadding < 0 || frame.rowPadding > kMaxRowPadding) {
    throw CliError("--row-padding must be 0 to " + std::to_string(kMaxRowPadding));
  }
  if (RenderDepth(image, frame) == 16) return RenderAt<PF_Pixel16>(host, image, settings, frame);
  return RenderAt<PF_Pixel8>(host, image, settings, frame);
}

void RenderFile(const minihost::MiniHost& host, const std::string& input,
                const std::string& output, const RenderSettings& settings,
                const FrameOptions& frame) {
  // Refuse a frame too large for the worlds, or an output that cannot hold
  // the depth, from the header: before the pixels are allocated and read.
  const Image source = ReadImage(input, [&](const Image& header) {
    const int depth = RenderDepth(header, frame);
    try {
      CheckFrameSize(header.width, header.height, frame.rowPadding,
                     depth == 16 ? static_cast<int>(sizeof(PF_Pixel16))
                                 : static_cast<int>(sizeof(PF_Pixel8)));
    } catch (const CliError& e) {
      throw CliError(input + ": " + e.what());
    }
    OutputFormat(output, depth);
  });
  WriteImage(output, RenderImage(host, source, settings, frame));
}

}  // namespace corvalin::cli

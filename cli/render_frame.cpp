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
Image RenderAt(const minihost::MiniHost& host, const Image& image, const RenderSettings& settings) {
  CheckFrameSize(image.width, image.height, settings.rowPadding, static_cast<int>(sizeof(Pixel)));
  minihost::HostWorld<Pixel> input(image.width, image.height, settings.rowPadding);
  minihost::HostWorld<Pixel> output(image.width, image.height, settings.rowPadding);
  ImageToWorld(image, input);
  if (settings.threads > 1) {
    const minihost::EffectControls& c = settings.controls;
    ScanFrameParallel<Pixel>(corvalin::RenderSettings{c.useColorKey, c.alphaKey,
                                                      c.smootherRange, c.lineWeight},
                             &input.world(), &output.world(), input.pixels(), output.pixels(),
                             ParallelScanOptions{settings.threads, 0});
    return WorldToImage(output);
  }
  const PF_Err err = host.Render(settings.controls, input, output);
  if (err != PF_Err_NONE) throw CliError("the effect's render failed with error " + std::to_string(err));
  return WorldToImage(output);
}

}  // namespace

Image RenderImage(const minihost::MiniHost& host, const Image& image,
                  const RenderSettings& settings) {
  if (settings.rowPadding < 0 || settings.rowPadding > kMaxRowPadding) {
    throw CliError("--row-padding must be 0 to " + std::to_string(kMaxRowPadding));
  }
  if (RenderDepth(image, settings) == 16) return RenderAt<PF_Pixel16>(host, image, settings);
  return RenderAt<PF_Pixel8>(host, image, settings);
}

void RenderFile(const minihost::MiniHost& host, const std::string& input,
                const std::string& output, const RenderSettings& settings) {
  // Refuse a frame too large for the worlds, or an output that cannot hold
  // the depth, from the header: before the pixels are allocated and read.
  const Image source = ReadImage(input, [&](const Image& header) {
    const int depth = RenderDepth(header, settings);
    try {
      CheckFrameSize(header.width, header.height, settings.rowPadding,
                     depth == 16 ? static_cast<int>(sizeof(PF_Pixel16))
                                 : static_cast<int>(sizeof(PF_Pixel8)));
    } catch (const CliError& e) {
      throw CliError(input + ": " + e.what());
    }
    OutputFormat(output, depth);
  });
  WriteImage(output, RenderImage(host, source, settings));
}

}  // namespace corvalin::cli

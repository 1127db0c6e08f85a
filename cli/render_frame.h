// One frame through the effect: file samples into frame buffers, the
// module's render over the mini host, and the output back into file samples.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>

#include "cli/frame_buffer.h"
#include "cli/image_io.h"
#include "effect/associated_alpha.h"
#include "effect/pixel_convert.h"
#include "host/minihost/mini_host.h"

namespace corvalin::cli {

inline constexpr int32_t kMaxRowPadding = 4096;

inline constexpr int kMaxThreads = 256;

// The default limit of --max-frame-memory. A 16384 x 16384 frame of 16 bits
// per channel needs at most 6144 MiB: 4096 MiB for the two worlds at 16 bits
// and 2048 MiB more for an interlaced PNG, decoded whole (a TIFF strip, a TGA
// or a band of tiles needs less); the rest is for bands and libraries.
inline constexpr int64_t kDefaultMaxFrameMemory = int64_t{6400} << 20;

// How a frame is rendered, beside the effect's own settings.
struct FrameOptions {
  int depth = 0;  // 8 or 16; 0 takes the input file's (16 for 16-bit files, else 8)
  int32_t rowPadding = 0;
  // Threads for the whole run. 1: every frame renders through the module's
  // EffectMain, as a host would (without corner markers, the engine's scan
  // on one thread). More: the engine's banded parallel scan, bit for bit the
  // same, with reading and writing of frames overlapped.
  int threads = 1;
  // Bytes one frame may take in flight (FrameReader::MemoryNeed), checked
  // from the file's header before anything is allocated.
  int64_t maxFrameMemory = kDefaultMaxFrameMemory;
  // How the colour of every file of the run relates to its alpha; none: as
  // each file says (OpenEXR and associated-alpha TIFF premultiplied, the
  // rest straight; outputs: OpenEXR premultiplied, the rest straight).
  std::optional<AlphaConvention> alpha;
};

// The depth a render of `image` runs at under `frame`.
inline int RenderDepth(const Image& image, const FrameOptions& frame) {
  return frame.depth != 0 ? frame.depth : (image.bits == 16 ? 16 : 8);
}

// A CliError naming the limit if a frame of this size and padding cannot be
// addressed with a signed 32-bit pixel index.
void CheckFrameSize(int32_t width, int32_t height, int32_t rowPadding, int pixelBytes);

// Into a FrameBuffer or any world of the image's size with at(x, y).
template <class World>
void ImageToWorld(const Image& image, World& world) {
  using Pixel = std::remove_reference_t<decltype(world.at(0, 0))>;
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      const uint16_t* s = &image.samples[image.index(x, y)];
      Pixel& p = world.at(x, y);
      using T = decltype(p.red);
      p.red = static_cast<T>(SampleConvert<Pixel>::FromFile(s[0], image.bits));
      p.green = static_cast<T>(SampleConvert<Pixel>::FromFile(s[1], image.bits));
      p.blue = static_cast<T>(SampleConvert<Pixel>::FromFile(s[2], image.bits));
      p.alpha = static_cast<T>(SampleConvert<Pixel>::FromFile(s[3], image.bits));
    }
  }
}

template <class World>
Image WorldToImage(const World& world) {
  using Pixel = std::remove_cvref_t<decltype(world.at(0, 0))>;
  Image image;
  image.width = world.width();
  image.height = world.height();
  image.bits = SampleConvert<Pixel>::bits;
  image.samples.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4);
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      const Pixel& p = world.at(x, y);
      uint16_t* d = &image.samples[image.index(x, y)];
      d[0] = static_cast<uint16_t>(SampleConvert<Pixel>::ToFile(p.red));
      d[1] = static_cast<uint16_t>(SampleConvert<Pixel>::ToFile(p.green));
      d[2] = static_cast<uint16_t>(SampleConvert<Pixel>::ToFile(p.blue));
      d[3] = static_cast<uint16_t>(SampleConvert<Pixel>::ToFile(p.alpha));
    }
  }
  return image;
}

// Renders `image` through the module (through the engine without corner
// markers, or on more than one thread): output RGBA at the render depth.
Image RenderImage(const minihost::MiniHost& host, const Image& image,
                  const RenderSettings& settings, const FrameOptions& frame);

// The one place the command calls the engine: renders `input` into `output`
// (frames of one size and padding) through the module's EffectMain over
// `host` when `throughModule`, else through the banded parallel scan on the
// threads of the calling task arena. Both write the same bytes. The module
// always marks the corners: with settings.cornerMarkers off, `throughModule`
// must be false (a CliError otherwise).
template <class Pixel>
void RenderWorlds(const minihost::MiniHost& host, const RenderSettings& settings,
                  FrameBuffer<Pixel>& input, FrameBuffer<Pixel>& output, bool throughModule,
                  int threads);

}  // namespace corvalin::cli

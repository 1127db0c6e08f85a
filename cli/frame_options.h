// How the command renders a frame, beside the effect's own settings, and the
// limits of those options.
#pragma once

#include <cstdint>
#include <optional>

#include "effect/associated_alpha.h"

namespace corvalin::cli {

inline constexpr int32_t kMaxRowPadding = 4096;

inline constexpr int kMaxThreads = 256;

// The default limit of --max-frame-memory. A 16384 x 16384 frame of 16 bits
// per channel needs at most 6144 MiB: 4096 MiB for the two frames at 16 bits
// and 2048 MiB more for an interlaced PNG, decoded whole (a TIFF strip, a TGA
// or a band of tiles needs less); the rest is for bands and libraries.
inline constexpr int64_t kDefaultMaxFrameMemory = int64_t{6400} << 20;

struct FrameOptions {
  int depth = 0;  // 8 or 16; 0 takes the input file's (16 for 16-bit files, else 8)
  int32_t rowPadding = 0;
  // Threads for the whole run. 1: every frame renders through the module's
  // EffectMain, as a host would (without corner markers, the engine on one
  // thread). More: the engine's banded scan, bit for bit the same, with
  // reading and writing of frames overlapped.
  int threads = 1;
  // Bytes one frame may take in flight (FrameReader::MemoryNeed), checked
  // from the file's header before anything is allocated.
  int64_t maxFrameMemory = kDefaultMaxFrameMemory;
  // How the colour of every file of the run relates to its alpha; none: as
  // each file says (OpenEXR and associated-alpha TIFF premultiplied, the
  // rest straight; outputs: OpenEXR premultiplied, the rest straight).
  std::optional<AlphaConvention> alpha;
};

}  // namespace corvalin::cli

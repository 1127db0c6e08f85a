// What a corvalin command line asks for, as parsed, and the command's exit
// statuses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/formats.h"
#include "cli/frame_options.h"
#include "effect/controls.h"

namespace corvalin::cli {

inline constexpr int kMaxJobs = 256;

// --max-frame-memory's range.
inline constexpr int64_t kMinFrameMemoryMiB = 16;
inline constexpr int64_t kMaxFrameMemoryMiB = int64_t{1} << 20;  // 1 TiB

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a frame or the module failed
inline constexpr int kExitUsage = 2;   // the command line is wrong; nothing was rendered
// Stopped by a signal: 128 + the signal's number, as a shell reports it.

struct CommandOptions {
  std::string input, output;
  RenderSettings settings = DefaultRenderSettings();  // the effect's controls
  FrameOptions frame;
  std::string plugin;                 // module file to load instead of the linked one
  std::optional<std::string> frames;  // none: every frame on disk, or a single file
  int jobs = 1;                       // earlier releases' frames at once; folded into frame.threads
  bool quiet = false;
  bool skipExisting = false;
  bool timings = false;
  std::string compression;                // empty: the output format's default
  std::optional<SampleKind> floatOutput;  // --float-output
};

}  // namespace corvalin::cli

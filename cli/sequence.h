// The render of a list of frames as one pipeline: each frame is opened,
// decoded and converted, rendered, converted and encoded, and the stages of
// different frames run at the same time on the threads of the run. Only a
// bounded number of frames is in flight, and their buffers are reused, so
// memory does not grow with the length of the sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/frame_io.h"
#include "cli/frame_options.h"
#include "cli/progress.h"
#include "host/module_host/module_host.h"

namespace corvalin::cli {

struct FrameJob {
  int64_t frame = -1;  // -1 for a single file
  std::string input, output;
};

struct SequenceOptions {
  RenderSettings settings;
  FrameOptions frame;                     // frame.threads: threads of the whole run
  bool throughModule = true;              // render through EffectMain (else the engine in bands)
  bool skipExisting = false;              // leave every existing output as it is
  std::string compression;                // checked for the output's format; empty: its default
  std::optional<SampleKind> floatOutput;  // float type asked for float outputs
};

struct SequenceResult {
  size_t written = 0, skipped = 0, failed = 0;
  int stopSignal = 0;  // the signal that stopped the run, or 0
};

// The render depth and output layout (with the header's colour tags) of a
// frame with `header` written to `output`; a CliError when the options and
// the file do not fit together.
struct FramePlan {
  int depth = 8;
  AlphaConvention inputAlpha = AlphaConvention::straight;
  OutputLayout layout;
};
FramePlan PlanOutput(const FrameHeader& header, const std::string& output,
                     const SequenceOptions& options);

// Renders `jobs` in order of completion reports (progress lines come in the
// order of `jobs`). A frame that fails is reported and the others go on.
SequenceResult RenderSequence(const modulehost::ModuleHost& host, const std::vector<FrameJob>& jobs,
                              const SequenceOptions& options, Progress& progress,
                              StageTimes* times);

}  // namespace corvalin::cli

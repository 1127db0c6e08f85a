// The frames a command line asks for, and the checks of their outputs made
// before the first frame renders.
#pragma once

#include <vector>

#include "cli/command_options.h"
#include "cli/formats.h"
#include "cli/sequence.h"

namespace corvalin::cli {

// Without --frames a pattern INPUT names no file on disk at all.
class NoFramesFound : public CliError {
 public:
  using CliError::CliError;
};

// The frames the options ask for: those of --frames, or without it every
// frame on disk for a pattern INPUT. An INPUT naming an existing file is a
// still, with or without --frames, held for every frame. A CliError (a usage
// error) when the patterns and the frames do not fit together (a still INPUT
// and a pattern OUTPUT need --frames), NoFramesFound when a pattern finds
// nothing.
std::vector<FrameJob> PlanFrames(const CommandOptions& options);

// A CliError naming both files when an output of `jobs` is an input of any
// of them: the same existing file (device and inode, links followed), or the
// same name once made absolute and normal before it exists.
void CheckOutputsSpareInputs(const std::vector<FrameJob>& jobs);

// Every check of the outputs of a non-empty plan, each a CliError: the
// output options fit the output's format, no output is an input, and what
// is at each output's name (but those --skip-existing keeps) may be replaced.
void CheckPlannedOutputs(const CommandOptions& options, const std::vector<FrameJob>& jobs);

}  // namespace corvalin::cli

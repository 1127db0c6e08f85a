// The corvalin command: options, frame planning, and the render of the
// planned frames through the sequence pipeline with progress reporting.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/frame_io.h"
#include "cli/render_frame.h"
#include "cli/sequence.h"
#include "effect/controls.h"

namespace CLI {
class App;
}

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
  std::string plugin;  // module file to load instead of the linked one
  std::optional<std::string> frames;  // none: every frame on disk, or a single file
  int jobs = 1;  // earlier releases' frames at once; folded into frame.threads
  bool quiet = false;
  bool skipExisting = false;
  bool timings = false;
  std::string compression;                // empty: the output format's default
  std::optional<SampleKind> floatOutput;  // --float-output
};

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

// The command line, bound to `options`: the options, their help and
// checks, which the manual page and the completion are written from too.
// The render subcommand is returned.
CLI::App* DefineCommandLine(CLI::App& app, CommandOptions& options);

// Parses a "RRGGBB" key colour (an optional leading '#' is allowed); key alpha is 255.
PF_Pixel8 ParseAlphaKey(const std::string& text);

// Renders every planned frame through one mini host on `options.frame.threads`
// threads. Errors, progress and timings go to `err`; `terminal` selects the
// redrawn bar.
int RunRender(const CommandOptions& options, std::ostream& err, bool terminal);

// Parses `args` (without the program name) into options. Prints help, the
// version or a usage error instead and returns nothing; `status` is then
// the exit status (0 after help).
std::optional<CommandOptions> ParseCommandLine(const std::vector<std::string>& args,
                                               std::ostream& out, std::ostream& err,
                                               int* status);

// The whole command line: parses `args` (without the program name), prints
// help or errors, renders. Returns the exit status.
int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool terminal);

}  // namespace corvalin::cli

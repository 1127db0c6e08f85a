// The corvalin command: options, frame planning and the threaded render of a
// sequence with progress reporting.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/render_frame.h"
#include "effect/controls.h"

namespace corvalin::cli {

inline constexpr int kMaxJobs = 256;

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a frame or the module failed
inline constexpr int kExitUsage = 2;   // the command line is wrong; nothing was rendered

struct CommandOptions {
  std::string input, output;
  RenderSettings settings = DefaultRenderSettings();  // the effect's controls
  FrameOptions frame;
  std::string plugin;  // module file to load instead of the linked one
  std::optional<std::string> frames;  // none: INPUT and OUTPUT are plain file names
  int jobs = 1;
  bool quiet = false;
};

struct FrameJob {
  int64_t frame = -1;  // -1 for a single file
  std::string input, output;
};

// The frames the options ask for; a CliError (a usage error) when the
// patterns and --frames do not fit together.
std::vector<FrameJob> PlanFrames(const CommandOptions& options);

// Parses a "RRGGBB" key colour (an optional leading '#' is allowed); key alpha is 255.
PF_Pixel8 ParseAlphaKey(const std::string& text);

// Renders every planned frame on `options.jobs` threads through one mini host,
// each frame on `options.frame.threads` threads.
// Errors and progress go to `err`; `terminal` selects the redrawn bar.
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

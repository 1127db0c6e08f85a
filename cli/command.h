// The corvalin command: the command line parsed, the frames planned and
// checked, the effect loaded, and the planned frames rendered through the
// sequence pipeline with progress reporting.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/command_options.h"
#include "cli/frame_plan.h"

namespace corvalin::cli {

// Renders every planned frame through one module host on
// `options.frame.threads` threads. Errors, progress and timings go to
// `err`; `terminal` selects the redrawn bar.
int RunRender(const CommandOptions& options, std::ostream& err, bool terminal);

// The whole command line: parses `args` (without the program name), prints
// help or errors, renders. Returns the exit status.
int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool terminal);

}  // namespace corvalin::cli

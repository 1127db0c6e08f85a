// The corvalin command line: its options with their help, ranges and checks
// (which the manual page and the completion are written from too), and
// their parsing into CommandOptions.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_options.h"
#include "sdk/AE_Effect.h"

namespace CLI {
class App;
}

namespace corvalin::cli {

// The command line, bound to `options`. The render subcommand is returned.
CLI::App* DefineCommandLine(CLI::App& app, CommandOptions& options);

// Parses a "RRGGBB" key colour (an optional leading '#' is allowed); key alpha is 255.
PF_Pixel8 ParseAlphaKey(const std::string& text);

// Parses `args` (without the program name) into options, --jobs folded into
// --threads. Prints help, the version or a usage error instead and returns
// nothing; `status` is then the exit status (0 after help).
std::optional<CommandOptions> ParseCommandLine(const std::vector<std::string>& args,
                                               std::ostream& out, std::ostream& err, int* status);

}  // namespace corvalin::cli

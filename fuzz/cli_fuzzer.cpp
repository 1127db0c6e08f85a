// The command-line fuzzer: the command's parsing, up to the planned frames,
// without rendering anything. The bytes are split at NUL into arguments;
// when the first byte is even they follow "render", so that most inputs reach
// the render options. Each argument also goes alone through the frame list,
// frame pattern and key colour parsers. A refusal (a CliError, a usage
// error) is fine; a crash, a sanitizer report or a hang is a finding.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/frame_pattern.h"
#include "cli/image_io.h"

namespace {

using namespace corvalin::cli;

constexpr size_t kMaxArguments = 24;

std::vector<std::string> Arguments(const uint8_t* data, size_t size) {
  std::vector<std::string> args;
  if ((data[0] & 1) == 0) args.emplace_back("render");
  std::string current;
  for (size_t i = 1; i < size && args.size() < kMaxArguments; ++i) {
    if (data[i] == 0) {
      args.push_back(std::move(current));
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (args.size() < kMaxArguments) args.push_back(std::move(current));
  return args;
}

// The parsers the command runs on single values, each on its own.
void ParseValue(const std::string& text) {
  try {
    const std::vector<int64_t> frames = ParseFrameList(text);
    for (int64_t f : frames)
      if (f < 0 || f > kMaxFrameNumber) __builtin_trap();  // outside the documented range
  } catch (const CliError&) {
  }
  try {
    if (const std::optional<FramePattern> pattern = FindFramePattern(text)) {
      for (int64_t f : {int64_t{0}, int64_t{7}, kMaxFrameNumber}) {
        const std::string name = pattern->Expand(f);
        if (name.size() < pattern->prefix.size() + pattern->suffix.size()) __builtin_trap();
      }
    }
  } catch (const CliError&) {
  }
  try {
    ParseAlphaKey(text);
  } catch (const CliError&) {
  }
}

// What the command checks before it renders, on a parsed command line. The
// frames on disk are not looked for: that reads folders named by the input.
void PlanCommand(const CommandOptions& options) {
  try {
    if (options.frames) PlanFrames(options);
  } catch (const CliError&) {
  }
  try {
    if (!options.compression.empty())
      CheckCompression(FormatOfPath(options.output), options.compression);
  } catch (const CliError&) {
  }
  try {
    PlanSamples(options.output, FormatOfPath(options.output),
                SampleRequest{options.frame.depth, options.floatOutput, {}});
  } catch (const CliError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::vector<std::string> args = Arguments(data, size);
  for (const std::string& a : args) ParseValue(a);
  std::ostringstream out, err;
  int status = 0;
  if (const std::optional<CommandOptions> options = ParseCommandLine(args, out, err, &status)) {
    PlanCommand(*options);
  } else if (status != kExitOk && status != kExitUsage) {
    __builtin_trap();  // parsing ends in help, the version or a usage error
  }
  return 0;
}

#include "cli/command.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/effect_loading.h"
#include "cli/frame_plan.h"
#include "cli/movie.h"
#include "cli/progress.h"
#include "cli/sequence.h"

namespace corvalin::cli {

namespace {

void PrintTimings(std::ostream& err, const StageTimes& times, const SequenceResult& result,
                  double seconds, int threads) {
  const size_t frames = result.written;
  char line[160];
  std::snprintf(
      line, sizeof line, "corvalin: %zu frame%s written in %.3f s (%.2f frames/s) on %d thread%s\n",
      frames, frames == 1 ? "" : "s", seconds,
      seconds > 0 ? static_cast<double>(frames) / seconds : 0.0, threads, threads == 1 ? "" : "s");
  err << line;
  for (int i = 0; i < kStageCount; ++i) {
    const Stage stage = static_cast<Stage>(i);
    const double t = times.Seconds(stage);
    std::snprintf(line, sizeof line, "  %-12s %8.3f s  %8.1f ms/frame\n", StageName(stage), t,
                  frames > 0 ? t * 1000.0 / static_cast<double>(frames) : 0.0);
    err << line;
  }
  err << "  (times of all threads added up; decode and encode include file reads and writes)\n";
}

}  // namespace

int RunRender(const CommandOptions& options, std::ostream& err, bool terminal) {
  // A movie is named as one before anything else is said about the frames.
  if (const std::optional<std::string> movie = MovieFile(options.input)) {
    err << "corvalin: error: cannot read " << options.input << ": "
        << MovieInputMessage(options.input, *movie) << "\n";
    return kExitFailed;
  }
  std::vector<FrameJob> jobs;
  try {
    jobs = PlanFrames(options);
    CheckPlannedOutputs(options, jobs);
  } catch (const NoFramesFound& e) {
    err << "corvalin: error: " << e.what() << "\n";
    return kExitFailed;
  } catch (const CliError& e) {
    err << "corvalin: error: " << e.what() << "\n";
    return kExitUsage;
  }

  std::optional<LoadedEffect> effect;
  try {
    effect.emplace(options.plugin);
  } catch (const std::exception& e) {
    err << "corvalin: error: " << e.what() << "\n";
    return kExitFailed;
  }

  SequenceOptions sequence;
  sequence.settings = options.settings;
  sequence.frame = options.frame;
  // The module always marks the corners: a render without them runs on the
  // command's engine, which gives the module's bytes everywhere else.
  sequence.throughModule =
      !options.plugin.empty() || (options.frame.threads <= 1 && options.settings.cornerMarkers);
  sequence.skipExisting = options.skipExisting;
  sequence.compression = options.compression;
  sequence.floatOutput = options.floatOutput;

  Progress progress(err, jobs.size(), terminal, options.quiet);
  StageTimes times;
  const auto start = std::chrono::steady_clock::now();
  const SequenceResult result =
      RenderSequence(effect->host(), jobs, sequence, progress, options.timings ? &times : nullptr);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  progress.Finish(result.stopSignal);
  if (options.timings) PrintTimings(err, times, result, seconds, options.frame.threads);
  if (result.stopSignal != 0) return 128 + result.stopSignal;
  return result.failed > 0 ? kExitFailed : kExitOk;
}

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool terminal) {
  int status = kExitOk;
  const std::optional<CommandOptions> options = ParseCommandLine(args, out, err, &status);
  return options ? RunRender(*options, err, terminal) : status;
}

}  // namespace corvalin::cli

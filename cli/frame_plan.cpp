#include "cli/frame_plan.h"

#include <filesystem>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "cli/frame_pattern.h"

namespace corvalin::cli {

std::vector<FrameJob> PlanFrames(const CommandOptions& options) {
  // The name of an existing file is that file, whatever characters it holds.
  std::error_code ec;
  const bool still = std::filesystem::exists(options.input, ec);
  const std::optional<FramePattern> in = still ? std::nullopt : FindFramePattern(options.input);
  const std::optional<FramePattern> out = FindFramePattern(options.output);
  std::vector<int64_t> frames;
  if (options.frames) {
    frames = ParseFrameList(*options.frames);
  } else if (in) {
    frames = DiscoverFrames(*in);
    if (frames.empty()) {
      throw NoFramesFound("no frames on disk for " + options.input + " (no file named as " +
                          in->Expand(1) + " is)");
    }
  } else if (out) {
    // Else the frame field would end up literally in the output's name.
    throw CliError("INPUT " + options.input + " is a single image, and OUTPUT " + options.output +
                   " has a frame field: give --frames (such as --frames 1-24) for the frames "
                   "to write it as, or name OUTPUT without a frame field");
  } else {
    return {FrameJob{-1, options.input, options.output}};
  }
  if (!out) {
    throw CliError(std::string(options.frames ? "--frames" : "a sequence") +
                   " needs a frame field in OUTPUT ('####', '@@@' or %04d); " + options.output +
                   " has none");
  }
  std::vector<FrameJob> jobs;
  jobs.reserve(frames.size());
  for (int64_t f : frames) {
    jobs.push_back(FrameJob{f, in ? in->Expand(f) : options.input, out->Expand(f)});
  }
  return jobs;
}

namespace {

// An existing file's identity, links followed: its device and inode, so that
// hard links and links to it are the same file.
std::optional<std::string> FileIdentity(const std::string& path) {
#ifdef _WIN32
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(path, ec);
  if (ec) return std::nullopt;
  return real.string();
#else
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
#endif
}

// Absolute names with "." and ".." gone and the folder's links followed,
// for files that may not exist yet. Each folder is resolved once: a
// sequence has thousands of names in a few folders.
class PathNormaliser {
 public:
  std::string operator()(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path full = fs::absolute(path, ec);
    if (ec) return fs::path(path).lexically_normal().string();
    const std::string folder = full.parent_path().string();
    auto it = folders_.find(folder);
    if (it == folders_.end()) {
      fs::path real = fs::weakly_canonical(full.parent_path(), ec);
      if (ec) real = full.parent_path().lexically_normal();
      it = folders_.emplace(folder, real).first;
    }
    return (it->second / full.filename()).lexically_normal().string();
  }

 private:
  std::unordered_map<std::string, std::filesystem::path> folders_;
};

std::string OfFrame(const FrameJob& job) {
  return job.frame < 0 ? std::string() : " (frame " + std::to_string(job.frame) + ")";
}

}  // namespace

void CheckOutputsSpareInputs(const std::vector<FrameJob>& jobs) {
  // Every input once, by identity and by name, then every output looked up:
  // linear in the frames, for runs of a million of them.
  std::unordered_map<std::string, size_t> inputs;
  std::unordered_set<std::string> named;
  inputs.reserve(2 * jobs.size());
  named.reserve(jobs.size());
  PathNormaliser normal;
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (!named.insert(jobs[i].input).second) continue;  // a still, held for every frame
    if (const std::optional<std::string> id = FileIdentity(jobs[i].input)) {
      inputs.emplace("file " + *id, i);
    }
    inputs.emplace("name " + normal(jobs[i].input), i);
  }
  for (const FrameJob& job : jobs) {
    auto hit = inputs.end();
    if (const std::optional<std::string> id = FileIdentity(job.output))
      hit = inputs.find("file " + *id);
    if (hit == inputs.end()) hit = inputs.find("name " + normal(job.output));
    if (hit == inputs.end()) continue;
    // A still is the input of every frame: no frame of its own to name.
    const FrameJob& reader = jobs[hit->second];
    const bool still = jobs.size() > 1 && jobs.front().input == jobs.back().input;
    throw CliError("OUTPUT " + job.output + OfFrame(job) + " is the same file as INPUT " +
                   reader.input + (still ? std::string() : OfFrame(reader)) +
                   "; its render would replace an input of the run: name another OUTPUT");
  }
}

namespace {

// What the command line says about the output, checked before anything
// renders: the same for every frame, since they share one extension.
void CheckOutputOptions(const CommandOptions& options, const std::string& output) {
  const FileFormat format = FormatOfPath(output);
  PlanSamples(output, format, SampleRequest{options.frame.depth, options.floatOutput, {}});
  if (!options.compression.empty()) CheckCompression(format, options.compression);
}

// Every frame's output before the first frame renders: what is there must
// be a file the render may replace. An output that --skip-existing keeps is
// never written, so it is not looked at, whatever it is.
void CheckOutputsReplaceable(const std::vector<FrameJob>& jobs, bool skipExisting) {
  for (const FrameJob& job : jobs) {
    std::error_code ec;
    if (skipExisting && std::filesystem::exists(std::filesystem::symlink_status(job.output, ec))) {
      continue;
    }
    CheckOutputReplaceable(job.output);
  }
}

}  // namespace

void CheckPlannedOutputs(const CommandOptions& options, const std::vector<FrameJob>& jobs) {
  CheckOutputOptions(options, jobs.front().output);
  CheckOutputsSpareInputs(jobs);
  CheckOutputsReplaceable(jobs, options.skipExisting);
}

}  // namespace corvalin::cli

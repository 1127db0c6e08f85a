// Loads a Corvalin.ofx bundle through the test host, checks what it
// describes, renders a fixed set of frames (every depth, RGBA and RGB, rows
// stored either way, bounds off the origin, a partial window), checks each
// against the effect module linked into this program and prints one digest
// line per frame. Built natively and for Windows (run under wine), so the
// two binaries' renders can be compared line by line.
//
// The set is rendered by hosts without the multi-thread suite and with it at
// 1, 2 and 4 CPUs; every host's lines must be the same, and only one copy is
// printed. Tall frames, which the plug-in cuts into several bands, are
// rendered by each host as well and checked against the module and across
// hosts; their lines go to standard error, as `banded ...`.
//
// Usage: corvalin_ofx_digest BUNDLE [DIGEST_FILE]
//        corvalin_ofx_digest --installed [DIGEST_FILE]
// With --installed the bundle is searched for as hosts search for it
// (OFX_PLUGIN_PATH, then the standard folder). Exits 1 when a check fails.
#include <cinttypes>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "effect/controls.h"
#include "effect/corner_markers.h"
#include "tests/ofx/ofx_test_frames.h"
#include "tests/ofx/ofx_test_host.h"

namespace {

using namespace corvalin;
using namespace corvalin::ofxtest;

int failures = 0;

void Check(bool ok, const std::string& what) {
  if (ok) return;
  ++failures;
  std::fprintf(stderr, "FAIL: %s\n", what.c_str());
}

// How a host offers threads: without the suite (threads 0), or with it and
// that many CPUs.
struct ThreadMode {
  unsigned int threads;
  std::string name() const {
    return threads == 0 ? "no multi-thread suite" : std::to_string(threads) + " CPU(s)";
  }
  HostOptions options() const { return WithThreads(threads); }
};

struct Renders {
  std::vector<std::string> lines, banded;
};

// Frames of several bands each at every depth (the plug-in's bands are at
// least 8 rows and hold about 256 KiB of each frame).
void RenderBanded(OfxTestHost& host, const RenderSettings (&settings)[3], Renders* out) {
  const struct {
    uint32_t seed;
    int32_t width, height;
    int bits;
  } frames[] = {{6, 40, 1100, 8}, {7, 700, 150, 16}};
  const char* depths[] = {"OfxBitDepthByte", "OfxBitDepthShort", "OfxBitDepthFloat"};
  const Placement placements[] = {{0, 0, {false, 0, 0xA5}}, {3, -9, {true, 4, 0x5A}}};
  for (const auto& f : frames) {
    const Picture picture = GeneratedPicture(f.seed, f.width, f.height, f.bits);
    for (size_t s = 0; s < std::size(settings); ++s)
      for (const char* depth : depths)
        for (size_t p = 0; p < std::size(placements); ++p) {
          const Placement& at = placements[p];
          const OfxRectI window{at.x0 + 1, at.y0 + 1, at.x0 + f.width - 1, at.y0 + f.height - 1};
          const RenderCheck check =
              RenderAndCompare(host, picture, settings[s], depth, "OfxImageComponentRGBA", at,
                               p == 1 ? &window : nullptr);
          char line[256];
          std::snprintf(line, sizeof line,
                        "banded %s frame%u-%dx%d-%dbit settings%zu place%zu %d %016" PRIx64, depth,
                        static_cast<unsigned>(f.seed), f.width, f.height, f.bits, s, p,
                        check.status, check.digest);
          Check(check.difference.empty(), std::string(line) + ": " + check.difference);
          out->banded.push_back(line);
        }
  }
}

Renders Run(const std::string& bundle, const ThreadMode& mode) {
  OfxTestHost host(OfxTestHost::BinaryInBundle(bundle), mode.options());
  Check(host.pluginCount() == 1, "one plug-in in the binary");
  Check(std::string(host.plugin().pluginIdentifier) == "org.corvalin.Corvalin", "identifier");
  Prepare(host);
  std::vector<std::string> expectedParams;
  for (const ControlSpec& control : kControls) expectedParams.push_back(control.scriptName);
  expectedParams.push_back(kCornerMarkers.scriptName);
  Check(host.paramNames("OfxImageEffectContextFilter") == expectedParams, "parameters");

  const PF_Pixel8 key{255, 200, 20, 60};
  const RenderSettings settings[] = {{false, key, 1.0, 0.0},
                                     {true, key, 25.0, 0.5},
                                     {true, PF_Pixel8{255, 255, 255, 255}, 5.0, 0.75}};
  const struct {
    uint32_t seed;
    int32_t width, height;
    int bits;
  } frames[] = {{1, 48, 32, 8}, {2, 33, 41, 16}, {3, 64, 17, 8}, {4, 3, 3, 8}, {5, 57, 31, 16}};
  const Placement placements[] = {{0, 0, {false, 0, 0xA5}}, {-5, 7, {true, 6, 0x5A}}};
  const char* depths[] = {"OfxBitDepthByte", "OfxBitDepthShort", "OfxBitDepthFloat"};
  const char* components[] = {"OfxImageComponentRGBA", "OfxImageComponentRGB"};

  Renders renders;
  std::vector<std::string>& lines = renders.lines;
  for (const auto& f : frames) {
    const Picture picture = GeneratedPicture(f.seed, f.width, f.height, f.bits);
    for (size_t s = 0; s < std::size(settings); ++s)
      for (const char* depth : depths)
        for (const char* comps : components)
          for (size_t p = 0; p < std::size(placements); ++p) {
            const Placement& at = placements[p];
            // The second placement renders all but the outer rows and columns.
            const OfxRectI window{at.x0 + 1, at.y0 + 1, at.x0 + f.width - 1, at.y0 + f.height - 1};
            const bool partial = p == 1 && f.width > 2 && f.height > 2;
            const RenderCheck check = RenderAndCompare(host, picture, settings[s], depth, comps, at,
                                                       partial ? &window : nullptr);
            char line[256];
            std::snprintf(line, sizeof line,
                          "%s %s frame%u-%dx%d-%dbit settings%zu place%zu %d %016" PRIx64, depth,
                          comps, static_cast<unsigned>(f.seed), f.width, f.height, f.bits, s, p,
                          check.status, check.digest);
            Check(check.difference.empty(), std::string(line) + ": " + check.difference);
            lines.push_back(line);
          }
  }

  RenderBanded(host, settings, &renders);
  // The banded frames use the host's threads when it has more than one CPU,
  // never more calls than CPUs, and never the suite's misuse.
  const ThreadUse use = host.threadUse();
  if (mode.threads >= 2)
    Check(use.multiThreadCalls > 0 && use.mostThreads >= 2 && use.mostThreads <= mode.threads,
          mode.name() + ": multiThread asked for " + std::to_string(use.multiThreadCalls) +
              " time(s), at most " + std::to_string(use.mostThreads) + " threads");
  else
    Check(use.multiThreadCalls == 0, mode.name() + ": multiThread was asked for");

  // A missing source image fails and leaves the output alone.
  HostImage output("OfxBitDepthByte", "OfxImageComponentRGBA", OfxRectI{0, 0, 8, 8});
  const std::vector<unsigned char> before = output.bytes();
  RenderRequest request;
  request.output = &output;
  request.window = output.bounds;
  Check(host.Render(request) == kOfxStatFailed && output.bytes() == before,
        "a render without a Source image fails cleanly");
  Check(host.DestroyInstance() == kOfxStatReplyDefault, "DestroyInstance");
  Check(host.Unload() == kOfxStatOK, "Unload");
  Check(host.misuses().empty(), host.misuses().empty() ? "" : "suite misuse: " + host.misuses()[0]);
  return renders;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: corvalin_ofx_digest BUNDLE|--installed [DIGEST_FILE]\n");
    return 2;
  }
  try {
    std::string bundle = argv[1];
    if (bundle == "--installed") {
      bundle = OfxTestHost::FindInstalledBundle("Corvalin.ofx.bundle");
      std::fprintf(stderr, "corvalin_ofx_digest: found %s\n", bundle.c_str());
    }
    const ThreadMode modes[] = {{0}, {1}, {2}, {4}};
    const Renders first = Run(bundle, modes[0]);
    for (size_t m = 1; m < std::size(modes); ++m) {
      const Renders other = Run(bundle, modes[m]);
      Check(other.lines == first.lines && other.banded == first.banded,
            "renders with " + modes[m].name() + " differ from those with " + modes[0].name());
    }
    const std::vector<std::string>& lines = first.lines;
    for (const std::string& line : first.banded) std::fprintf(stderr, "%s\n", line.c_str());
    std::FILE* out = argc > 2 ? std::fopen(argv[2], "w") : stdout;
    if (out == nullptr) {
      std::fprintf(stderr, "corvalin_ofx_digest: cannot write %s\n", argv[2]);
      return 1;
    }
    for (const std::string& line : lines) std::fprintf(out, "%s\n", line.c_str());
    if (out != stdout) std::fclose(out);
    std::fprintf(
        stderr, "corvalin_ofx_digest: %zu renders (%zu banded) by each of %zu hosts, %d failures\n",
        lines.size(), first.banded.size(), std::size(modes), failures);
    return failures == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "corvalin_ofx_digest: %s\n", e.what());
    return 1;
  }
}

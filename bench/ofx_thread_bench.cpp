// The OpenFX plug-in on 1 and 2 of the test host's threads, in one run: a
// 4K inked cel frame (byte RGBA) rendered alternately by two hosts that
// differ only in the CPU count their multi-thread suite reports. Prints the
// median time of each and their ratio, and fails if the two renders differ.
//
// Usage: corvalin_ofx_thread_bench BUNDLE [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

#include "bench_frames.h"
#include "tests/ofx/ofx_test_frames.h"
#include "tests/ofx/ofx_test_host.h"

using namespace corvalin;
using namespace corvalin::ofxtest;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: corvalin_ofx_thread_bench BUNDLE [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
  try {
    const cli::Image frame = bench::MakeFrame(bench::Pattern::inkedCel, 3840, 2160);
    const Picture picture{frame.width, frame.height, frame.bits, frame.samples};
    HostImage source = SourceImage(picture, "OfxBitDepthByte", "OfxImageComponentRGBA", {});
    const unsigned int cpus[2] = {1, 2};
    OfxTestHost one(OfxTestHost::BinaryInBundle(argv[1]), HostOptions{{}, true, cpus[0]});
    OfxTestHost two(OfxTestHost::BinaryInBundle(argv[1]), HostOptions{{}, true, cpus[1]});
    OfxTestHost* hosts[2] = {&one, &two};
    std::vector<HostImage> outputs;
    for (OfxTestHost* host : hosts) {
      Prepare(*host);
      SetParams(*host, DefaultRenderSettings());
      outputs.emplace_back("OfxBitDepthByte", "OfxImageComponentRGBA", source.bounds);
    }
    std::vector<double> seconds[2];
    for (int r = 0; r < rounds + 1; ++r)
      for (int h = 0; h < 2; ++h) {
        const auto start = std::chrono::steady_clock::now();
        if (RenderThrough(*hosts[h], source, outputs[static_cast<size_t>(h)], source.bounds) !=
            kOfxStatOK) {
          std::fprintf(stderr, "the render failed\n");
          return 1;
        }
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (r > 0) seconds[h].push_back(s);  // the first round warms up
      }
    if (outputs[0].bytes() != outputs[1].bytes()) {
      std::fprintf(stderr, "the renders on 1 and 2 threads differ\n");
      return 1;
    }
    double median[2];
    for (int h = 0; h < 2; ++h) {
      std::sort(seconds[h].begin(), seconds[h].end());
      median[h] = seconds[h][seconds[h].size() / 2];
      std::printf("%u CPU(s): median %.1f ms over %d renders (%d multiThread requests)\n", cpus[h],
                  median[h] * 1000, rounds, hosts[h]->threadUse().multiThreadCalls);
    }
    std::printf("2 threads over 1: %.2fx faster\n", median[0] / median[1]);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "corvalin_ofx_thread_bench: %s\n", e.what());
    return 1;
  }
}

// Render throughput of the module in the command's module host, the way the
// corvalin command drives it, for HD and UHD frames at 8 and 16 bits, and of the fast
// engine against the plain one. Each iteration
// also makes a plain copy of the same frame (what the host copy alone costs),
// so every result carries its ratio to a copy measured in the same run:
//   MP/s       megapixels rendered per second
//   copy_MP/s  megapixels copied per second
//   vs_copy    MP/s / copy_MP/s (1.0 would be as fast as a copy)
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench_frames.h"
#include "effect/controls.h"
#include "engine/parallel/core_bands.h"
#include "engine/scan/scan_frame.h"
#include "engine/view/render_view.h"
#include "host/module_host/module_host.h"
#include "tests/support/image_worlds.h"
#include "tests/support/minihost/host_world.h"

namespace corvalin::bench {
namespace {

using Clock = std::chrono::steady_clock;

// The module as the command renders it: GlobalSetup and ParamsSetup done.
class CommandHost {
 public:
  CommandHost() {
    if (const std::string problem = host_.Setup(); !problem.empty()) {
      std::fprintf(stderr, "corvalin_bench: %s\n", problem.c_str());
      std::exit(1);
    }
  }
  template <class Pixel>
  PF_Err Render(const RenderSettings& settings, minihost::HostWorld<Pixel>& input,
                minihost::HostWorld<Pixel>& output) const {
    return host_.Render(settings, input.world(), output.world());
  }

 private:
  modulehost::ModuleHost host_{modulehost::LinkedEffectModule()};
};

const CommandHost& Host() {
  static const CommandHost* host = new CommandHost;
  return *host;
}

template <class Pixel>
FrameView ViewOf(minihost::HostWorld<Pixel>& world) {
  return FrameView{world.pixels(), world.width(), world.height(),
                   int64_t{world.stride()} * int64_t{sizeof(Pixel)}, kDepthOf<Pixel>};
}

template <class Pixel>
void PlainCopy(minihost::HostWorld<Pixel>& from, minihost::HostWorld<Pixel>& to) {
  for (int32_t y = 0; y < from.height(); ++y) {
    std::memcpy(&to.at(0, y), &from.at(0, y), static_cast<size_t>(from.width()) * sizeof(Pixel));
  }
}

// The picture drawn into an input world, beside an output world of its size.
template <class Pixel>
struct BenchWorlds {
  minihost::HostWorld<Pixel> input, output;
  BenchWorlds(Pattern pattern, int32_t w, int32_t h) : input(w, h), output(w, h) {
    test::ImageToWorld(MakeFrame(pattern, w, h), input);
  }
};

template <class Pixel>
void BM_Render(benchmark::State& state, Pattern pattern, int32_t w, int32_t h) {
  BenchWorlds<Pixel> worlds(pattern, w, h);
  auto& [input, output] = worlds;
  const RenderSettings settings = DefaultRenderSettings();

  // One untimed round first, so page faults of fresh buffers count nowhere.
  PlainCopy(input, output);
  Host().Render(settings, input, output);

  double renderSeconds = 0, copySeconds = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    PlainCopy(input, output);
    benchmark::ClobberMemory();
    const auto t1 = Clock::now();
    const PF_Err err = Host().Render(settings, input, output);
    benchmark::ClobberMemory();
    const auto t2 = Clock::now();
    if (err != PF_Err_NONE) {
      state.SkipWithError("render failed");
      break;
    }
    const double render = std::chrono::duration<double>(t2 - t1).count();
    copySeconds += std::chrono::duration<double>(t1 - t0).count();
    renderSeconds += render;
    state.SetIterationTime(render);
  }
  const double megapixels =
      static_cast<double>(w) * h * static_cast<double>(state.iterations()) / 1e6;
  if (renderSeconds > 0 && copySeconds > 0) {
    state.counters["MP/s"] = megapixels / renderSeconds;
    state.counters["copy_MP/s"] = megapixels / copySeconds;
    state.counters["vs_copy"] = copySeconds / renderSeconds;
  }
}

// Each iteration makes a plain copy, then the reference render, then the
// measured one, each timed on its own; the measured render is the
// iteration's time. Returns the three totals in seconds.
struct IterationSeconds {
  double copy = 0, reference = 0, measured = 0;
};

template <class Copy, class Reference, class Measured>
IterationSeconds TimeAgainstReference(benchmark::State& state, const Copy& copy,
                                      const Reference& reference, const Measured& measured) {
  IterationSeconds total;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    copy();
    benchmark::ClobberMemory();
    const auto t1 = Clock::now();
    reference();
    benchmark::ClobberMemory();
    const auto t2 = Clock::now();
    measured();
    benchmark::ClobberMemory();
    const auto t3 = Clock::now();
    const double seconds = std::chrono::duration<double>(t3 - t2).count();
    total.copy += std::chrono::duration<double>(t1 - t0).count();
    total.reference += std::chrono::duration<double>(t2 - t1).count();
    total.measured += seconds;
    state.SetIterationTime(seconds);
  }
  return total;
}

// One frame on several threads (the engine's entry in bands, as the command
// renders with more than one thread), against the serial render through the
// module in the same iteration:
//   speedup    serial seconds / parallel seconds
//   vs_copy    plain copy seconds / parallel seconds
template <class Pixel>
void BM_ParallelRender(benchmark::State& state, Pattern pattern, int32_t w, int32_t h,
                       int threads) {
  BenchWorlds<Pixel> worlds(pattern, w, h);
  auto& [input, output] = worlds;
  const RenderSettings settings = DefaultRenderSettings();
  CoreBands cores(threads);
  auto renderParallel = [&] {
    if (!RenderFrameView(settings, ViewOf(input), ViewOf(output), &cores).empty())
      state.SkipWithError("the frame was refused");
  };
  renderParallel();
  Host().Render(settings, input, output);

  const IterationSeconds t = TimeAgainstReference(
      state, [&] { PlainCopy(input, output); }, [&] { Host().Render(settings, input, output); },
      renderParallel);
  const double megapixels =
      static_cast<double>(w) * h * static_cast<double>(state.iterations()) / 1e6;
  if (t.measured > 0) {
    state.counters["MP/s"] = megapixels / t.measured;
    state.counters["speedup"] = t.reference / t.measured;
    state.counters["vs_copy"] = t.copy / t.measured;
  }
}

// The fast engine against the plain one (the definition), serially, on the
// same frame in the same iteration, with the copy step of the command's
// isolated render (a row copy) and no host around them:
//   MP/s       megapixels per second of the fast engine
//   plain_MP/s the same of the plain engine
//   speedup    plain seconds / fast seconds
//   vs_copy    plain copy seconds / fast seconds
template <class Pixel>
void BM_Engines(benchmark::State& state, Pattern pattern, int32_t w, int32_t h) {
  BenchWorlds<Pixel> worlds(pattern, w, h);
  auto& [input, output] = worlds;
  const RenderSettings settings = DefaultRenderSettings();
  auto render = [&](Engine engine) {
    ScanFrame<Pixel>(
        settings, &input.world(), &output.world(), input.pixels(), output.pixels(),
        [&] {
          PlainCopy(input, output);
          return PF_Err{PF_Err_NONE};
        },
        engine);
  };
  render(Engine::plain);
  render(Engine::fast);

  const IterationSeconds t = TimeAgainstReference(
      state, [&] { PlainCopy(input, output); }, [&] { render(Engine::plain); },
      [&] { render(Engine::fast); });
  const double megapixels =
      static_cast<double>(w) * h * static_cast<double>(state.iterations()) / 1e6;
  if (t.measured > 0 && t.reference > 0) {
    state.counters["MP/s"] = megapixels / t.measured;
    state.counters["plain_MP/s"] = megapixels / t.reference;
    state.counters["speedup"] = t.reference / t.measured;
    state.counters["vs_copy"] = t.copy / t.measured;
  }
}

// The frame the thread scaling is measured on: a typical cel frame.
constexpr Pattern kParallelPattern = Pattern::cel;
void RegisterAll() {
  const struct {
    const char* name;
    int32_t w, h;
  } sizes[] = {{"1920x1080", 1920, 1080}, {"3840x2160", 3840, 2160}};
  for (const auto& size : sizes) {
    for (int bits : {8, 16}) {
      for (Pattern p :
           {Pattern::flat, Pattern::cel, Pattern::inkedCel, Pattern::lineArt, Pattern::noise}) {
        const std::string name = std::string("Render/") + size.name + "/" + std::to_string(bits) +
                                 "bit/" + PatternName(p);
        benchmark::internal::Benchmark* b =
            bits == 8 ? benchmark::RegisterBenchmark(name.c_str(), BM_Render<PF_Pixel8>, p, size.w,
                                                     size.h)
                      : benchmark::RegisterBenchmark(name.c_str(), BM_Render<PF_Pixel16>, p, size.w,
                                                     size.h);
        b->UseManualTime()->Unit(benchmark::kMillisecond);
      }
    }
  }
  for (int bits : {8, 16}) {
    for (Pattern p :
         {Pattern::flat, Pattern::cel, Pattern::inkedCel, Pattern::lineArt, Pattern::noise}) {
      const std::string name =
          std::string("Engines/1920x1080/") + std::to_string(bits) + "bit/" + PatternName(p);
      benchmark::internal::Benchmark* b =
          bits == 8
              ? benchmark::RegisterBenchmark(name.c_str(), BM_Engines<PF_Pixel8>, p, 1920, 1080)
              : benchmark::RegisterBenchmark(name.c_str(), BM_Engines<PF_Pixel16>, p, 1920, 1080);
      b->UseManualTime()->Unit(benchmark::kMillisecond);
    }
  }
  const int allCores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::vector<int> threadCounts{1, 2};
  if (allCores > 2) threadCounts.push_back(allCores);
  for (const auto& size : sizes) {
    for (int bits : {8, 16}) {
      for (int threads : threadCounts) {
        const std::string name = std::string("Parallel/") + size.name + "/" + std::to_string(bits) +
                                 "bit/cel/threads:" + std::to_string(threads);
        benchmark::internal::Benchmark* b =
            bits == 8 ? benchmark::RegisterBenchmark(name.c_str(), BM_ParallelRender<PF_Pixel8>,
                                                     kParallelPattern, size.w, size.h, threads)
                      : benchmark::RegisterBenchmark(name.c_str(), BM_ParallelRender<PF_Pixel16>,
                                                     kParallelPattern, size.w, size.h, threads);
        b->UseManualTime()->Unit(benchmark::kMillisecond);
      }
    }
  }
}

}  // namespace
}  // namespace corvalin::bench

int main(int argc, char** argv) {
  corvalin::bench::RegisterAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

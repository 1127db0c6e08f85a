// The adapters' cost around the engine (Google Benchmark): a flat 3840x2160
// frame, where the engine itself has almost nothing to do, through the
// OpenFX plug-in at byte, short and float depth (the test host offering 1 or
// 2 CPUs) and through the frei0r filter, each beside a plain copy of the
// frame that adapter is handed, in the same run. An adapter at memory speed
// costs a small multiple of its copy.
//
// Compositing hosts hand the plug-in premultiplied images, so each OpenFX
// render runs with the same pixels labelled straight and premultiplied (an
// opaque picture is the same either way): the flat frame at each depth, and
// at float depth a typical frame (the 4K inked cel of the render bench) and
// a translucent flat frame (alpha 128 of 255, the colour halved), whose
// every pixel the unpremultiply divides.
//
// Usage: corvalin_adapter_bench [--ofx=BUNDLE] [--frei0r=MODULE] [benchmark flags]
// (the build's own bundle and filter by default: another build's can be
// compared in the same run).
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_frames.h"
#include "tests/ofx/ofx_test_frames.h"
#include "tests/ofx/ofx_test_host.h"

extern "C" {
#include <frei0r.h>
}

using namespace corvalin;
using namespace corvalin::ofxtest;

namespace {

constexpr int32_t kWidth = 3840, kHeight = 2160;

std::string gBundle = CORVALIN_OFX_BUNDLE;
std::string gFrei0r = CORVALIN_FREI0R_MODULE;

Picture Drawn(bench::Pattern pattern) {
  const cli::Image frame = bench::MakeFrame(pattern, kWidth, kHeight);
  return Picture{frame.width, frame.height, frame.bits, frame.samples};
}

const Picture& FlatPicture() {
  static const Picture picture = Drawn(bench::Pattern::flat);
  return picture;
}

const Picture& InkedCelPicture() {
  static const Picture picture = Drawn(bench::Pattern::inkedCel);
  return picture;
}

// The flat frame at alpha 128, its colour halved: premultiplied colour.
const Picture& TranslucentPicture() {
  static const Picture picture = [] {
    Picture p = FlatPicture();
    for (size_t i = 0; i < p.samples.size(); i += 4) {
      for (size_t c = 0; c < 3; ++c) p.samples[i + c] = static_cast<uint16_t>(p.samples[i + c] / 2);
      p.samples[i + 3] = 128;
    }
    return p;
  }();
  return picture;
}

// What a render is given: the picture, and how its Source is labelled.
struct Case {
  const Picture& (*picture)();
  const char* depth;
  const char* premultiplication;
  unsigned int cpus;
};

void CopyFrame(benchmark::State& state, size_t bytes) {
  std::vector<unsigned char> from(bytes, 1), to(bytes, 2);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void OfxCopy(benchmark::State& state, const char* depth) {
  const HostImage source = SourceImage(FlatPicture(), depth, "OfxImageComponentRGBA", {});
  CopyFrame(state, source.bytes().size());
}

// The clip preferences are asked for the Source labelled straight, and then
// only the image states premultiplication: the plug-in reads the image's own
// state, while the test host checks premultiplied Output pixels only where
// the preferences declared them, and that check (a message made per pixel)
// would outweigh the render.
void OfxRender(benchmark::State& state, Case c) {
  OfxTestHost host(OfxTestHost::BinaryInBundle(gBundle), HostOptions{{}, true, c.cpus});
  Prepare(host);
  SetParams(host, DefaultRenderSettings());
  HostImage source = SourceImage(c.picture(), c.depth, "OfxImageComponentRGBA", {});
  HostImage output(c.depth, "OfxImageComponentRGBA", source.bounds);
  if (RenderThrough(host, source, output, source.bounds) != kOfxStatOK) {
    state.SkipWithError("the render failed");
    return;
  }
  source.premultiplication = c.premultiplication;
  RenderRequest request;
  request.source = &source;
  request.output = &output;
  request.window = source.bounds;
  for (auto _ : state) {
    if (host.Render(request) != kOfxStatOK) {
      state.SkipWithError("the render failed");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(source.bytes().size()));
}

void Frei0rCopy(benchmark::State& state) { CopyFrame(state, size_t{kWidth} * kHeight * 4); }

void Frei0rRender(benchmark::State& state) {
  void* module = dlopen(gFrei0r.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    state.SkipWithError(dlerror());
    return;
  }
  const auto init = reinterpret_cast<int (*)()>(dlsym(module, "f0r_init"));
  const auto construct = reinterpret_cast<f0r_instance_t (*)(unsigned int, unsigned int)>(
      dlsym(module, "f0r_construct"));
  const auto update =
      reinterpret_cast<void (*)(f0r_instance_t, double, const uint32_t*, uint32_t*)>(
          dlsym(module, "f0r_update"));
  const auto destruct = reinterpret_cast<void (*)(f0r_instance_t)>(dlsym(module, "f0r_destruct"));
  init();
  f0r_instance_t instance = construct(kWidth, kHeight);
  const Picture& picture = FlatPicture();
  std::vector<uint32_t> in(size_t{kWidth} * kHeight), out(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const uint8_t rgba[4] = {static_cast<uint8_t>(picture.samples[i * 4]),
                             static_cast<uint8_t>(picture.samples[i * 4 + 1]),
                             static_cast<uint8_t>(picture.samples[i * 4 + 2]),
                             static_cast<uint8_t>(picture.samples[i * 4 + 3])};
    std::memcpy(&in[i], rgba, sizeof rgba);
  }
  for (auto _ : state) update(instance, 0.0, in.data(), out.data());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(in.size() * 4));
  destruct(instance);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--ofx=", 0) == 0) {
      gBundle = arg.substr(6);
    } else if (arg.rfind("--frei0r=", 0) == 0) {
      gFrei0r = arg.substr(9);
    } else {
      std::fprintf(stderr, "corvalin_adapter_bench: unknown argument '%s'\n", arg.c_str());
      return 2;
    }
  }
  // Straight and premultiplied Sources of one picture side by side.
  const auto renders = [](const std::string& name, const Picture& (*picture)(), const char* depth) {
    for (unsigned int cpus : {1u, 2u})
      for (const char* state : {kOfxImageUnPreMultiplied, kOfxImagePreMultiplied}) {
        const std::string label =
            state == std::string(kOfxImagePreMultiplied) ? "/premultiplied" : "";
        benchmark::RegisterBenchmark((name + label + "/cpus:" + std::to_string(cpus)).c_str(),
                                     OfxRender, Case{picture, depth, state, cpus})
            ->UseRealTime();
      }
  };
  for (const char* depth : {"OfxBitDepthByte", "OfxBitDepthShort", "OfxBitDepthFloat"}) {
    const std::string name = std::string("flat4k/ofx/") + depth;
    benchmark::RegisterBenchmark((name + "/copy").c_str(), OfxCopy, depth)->UseRealTime();
    renders(name, FlatPicture, depth);
  }
  renders("inkedcel4k/ofx/OfxBitDepthFloat", InkedCelPicture, "OfxBitDepthFloat");
  renders("translucent4k/ofx/OfxBitDepthFloat", TranslucentPicture, "OfxBitDepthFloat");
  benchmark::RegisterBenchmark("flat4k/frei0r/copy", Frei0rCopy)->UseRealTime();
  benchmark::RegisterBenchmark("flat4k/frei0r/render", Frei0rRender)->UseRealTime();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

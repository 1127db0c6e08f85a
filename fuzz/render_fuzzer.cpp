// Fuzzes a whole render through EffectMain: a random world pair (1 to 64
// pixels each way, row padding 0 to 4, either depth, arbitrary pixels, any
// key and any control values in their ranges), with guard zones around both
// worlds that must come back untouched. Built with AddressSanitizer and
// UndefinedBehaviorSanitizer, so any access outside the worlds also stops it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "guarded_world.h"
#include "host/module_host/module_host.h"

namespace {

using corvalin::modulehost::LinkedEffectModule;
using corvalin::modulehost::ModuleHost;

using fuzzing::GuardedWorld;

// The command's host, as the command runs the module.
const ModuleHost& Host() {
  static const ModuleHost host(LinkedEffectModule());
  return host;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int32_t width = in.ConsumeIntegralInRange<int32_t>(1, 64);
  const int32_t height = in.ConsumeIntegralInRange<int32_t>(1, 64);
  const int32_t padding = in.ConsumeIntegralInRange<int32_t>(0, 4);
  const bool deep = in.ConsumeBool();
  corvalin::RenderSettings settings = corvalin::DefaultRenderSettings();
  settings.useKey = in.ConsumeBool();
  settings.keyColour = PF_Pixel8{in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint8_t>(),
                                 in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint8_t>()};
  settings.smootherRange = in.ConsumeFloatingPointInRange<double>(0.0, 100.0);
  settings.lineWeight = in.ConsumeFloatingPointInRange<double>(0.0, 1.0);

  const size_t pixelSize = deep ? sizeof(PF_Pixel16) : sizeof(PF_Pixel8);
  GuardedWorld input(width, height, padding, pixelSize, deep);
  GuardedWorld output(width, height, padding, pixelSize, deep);

  // Either a few colours painted by index (edges of every kind are common),
  // or raw bytes; padding pixels get whatever comes, as a host's might.
  const bool palette = in.ConsumeBool();
  std::vector<uint8_t> colours(4 * pixelSize);
  for (uint8_t& b : colours) b = in.ConsumeIntegral<uint8_t>();
  uint8_t* pixels = input.Pixels();
  for (size_t p = 0; p < input.PixelBytes() / pixelSize; ++p) {
    if (palette) {
      const size_t colour = in.ConsumeIntegral<uint8_t>() % 4u;
      std::memcpy(pixels + p * pixelSize, &colours[colour * pixelSize], pixelSize);
    } else {
      for (size_t b = 0; b < pixelSize; ++b)
        pixels[p * pixelSize + b] = in.ConsumeIntegral<uint8_t>();
    }
  }

  Host().Render(settings, input.world, output.world);

  if (!input.GuardsIntact() || !output.GuardsIntact()) {
    std::fprintf(stderr, "render wrote outside a world (%dx%d, padding %d, %s)\n", width, height,
                 padding, deep ? "16-bit" : "8-bit");
    std::abort();
  }
  return 0;
}

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

#include "host/minihost/mini_host.h"

namespace {

using corvalin::minihost::LinkedEffectModule;
using corvalin::minihost::MiniHost;
using corvalin::minihost::RenderParams;

constexpr size_t kGuardBytes = 256;
constexpr uint8_t kGuardValue = 0xA5;

// One world inside a buffer with a guard zone on each side.
struct GuardedWorld {
  std::vector<uint8_t> bytes;
  PF_EffectWorld world{};

  GuardedWorld(int32_t width, int32_t height, int32_t padding, size_t pixelSize, bool deep) {
    const size_t rowbytes = static_cast<size_t>(width + padding) * pixelSize;
    bytes.assign(kGuardBytes + rowbytes * static_cast<size_t>(height) + kGuardBytes, 0);
    std::memset(bytes.data(), kGuardValue, kGuardBytes);
    std::memset(bytes.data() + bytes.size() - kGuardBytes, kGuardValue, kGuardBytes);
    world.data = bytes.data() + kGuardBytes;
    world.rowbytes = static_cast<int32_t>(rowbytes);
    world.width = width;
    world.height = height;
    world.world_flags = PF_WorldFlag_WRITEABLE | (deep ? PF_WorldFlag_DEEP : 0);
  }
  size_t PixelBytes() const { return bytes.size() - 2 * kGuardBytes; }
  uint8_t* Pixels() { return bytes.data() + kGuardBytes; }

  bool GuardsIntact() const {
    for (size_t i = 0; i < kGuardBytes; ++i)
      if (bytes[i] != kGuardValue || bytes[bytes.size() - 1 - i] != kGuardValue) return false;
    return true;
  }
};

const MiniHost& Host() {
  static const MiniHost host(LinkedEffectModule());
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

  RenderParams params(settings, input.world);
  PF_OutData outData{};
  Host().Command(PF_Cmd_RENDER, &outData, params.array, &output.world);

  if (!input.GuardsIntact() || !output.GuardsIntact()) {
    std::fprintf(stderr, "render wrote outside a world (%dx%d, padding %d, %s)\n", width, height,
                 padding, deep ? "16-bit" : "8-bit");
    std::abort();
  }
  return 0;
}

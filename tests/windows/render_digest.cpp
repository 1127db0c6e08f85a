#include "tests/windows/render_digest.h"

#include <cinttypes>
#include <cstdio>

#include "tests/support/test_images.h"

namespace corvalin::digest {

namespace {

using minihost::HostWorld;

uint64_t Fnv1a(const void* data, size_t size) {
  uint64_t h = 0xcbf29ce484222325ull;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 0x100000001b3ull;
  return h;
}

// Seeded flat-colour scenes; the palette holds the key colour (brick) and
// transparent colours.
template <class Pixel>
HostWorld<Pixel> Frame(uint32_t seed, int32_t width, int32_t height, int32_t padding) {
  HostWorld<Pixel> world(width, height, padding);
  test_images::DrawScene(test_images::CanvasOver(world), seed);
  return world;
}

template <class Pixel>
void Add(std::vector<std::string>& lines, const minihost::MiniHost& host, const char* depth,
         uint32_t seed, int32_t width, int32_t height, int32_t padding,
         const RenderSettings& settings) {
  HostWorld<Pixel> input = Frame<Pixel>(seed, width, height, padding);
  HostWorld<Pixel> output(width, height, padding);
  const PF_Err err = host.Render(settings, input, output);
  const size_t bytes =
      sizeof(Pixel) * static_cast<size_t>(input.stride()) * static_cast<size_t>(height);
  char line[256];
  std::snprintf(line, sizeof line, "%s-%ux%dx%d+%d-key%d-r%.2f-w%.2f %d %016" PRIx64 " %016" PRIx64,
                depth, static_cast<unsigned>(seed), width, height, padding, settings.useKey ? 1 : 0,
                settings.smootherRange, settings.lineWeight, static_cast<int>(err),
                Fnv1a(input.pixels(), bytes), Fnv1a(output.pixels(), bytes));
  lines.push_back(line);
}

}  // namespace

std::vector<std::string> RenderDigests(const minihost::EffectModule& module) {
  const minihost::MiniHost host(module);
  const PF_Pixel8 key{255, 200, 70, 60};
  const RenderSettings settings[] = {
      {false, key, 1.0, 0.0}, {true, key, 1.0, 0.0},    {false, key, 0.0, 1.0},
      {true, key, 25.0, 0.5}, {false, key, 100.0, 0.3}, {true, PF_Pixel8{0, 0, 0, 0}, 5.0, 0.75},
  };
  const struct {
    uint32_t seed;
    int32_t width, height, padding;
  } frames[] = {{1, 48, 32, 0}, {2, 33, 41, 5}, {3, 64, 17, 1}, {4, 3, 3, 2}, {5, 97, 61, 7}};
  std::vector<std::string> lines;
  for (const auto& f : frames)
    for (const RenderSettings& c : settings) {
      Add<PF_Pixel8>(lines, host, "8", f.seed, f.width, f.height, f.padding, c);
      Add<PF_Pixel16>(lines, host, "16", f.seed, f.width, f.height, f.padding, c);
    }
  return lines;
}

}  // namespace corvalin::digest

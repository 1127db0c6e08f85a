#include "tests/windows/render_digest.h"

#include <cinttypes>
#include <cstdio>

namespace corvalin::digest {

namespace {

using minihost::EffectControls;
using minihost::HostWorld;

uint64_t Fnv1a(const void* data, size_t size) {
  uint64_t h = 0xcbf29ce484222325ull;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 0x100000001b3ull;
  return h;
}

struct Random {  // xorshift32: the same sequence everywhere
  uint32_t state;
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  int32_t Below(int32_t n) { return static_cast<int32_t>(Next() % static_cast<uint32_t>(n)); }
};

// Flat-colour shapes: filled boxes, discs and staircase diagonals from a small
// palette, one of them the key colour, some transparent.
template <class Pixel>
HostWorld<Pixel> Frame(uint32_t seed, int32_t width, int32_t height, int32_t padding) {
  constexpr int kMax = sizeof(Pixel) == 8 ? 32768 : 255;
  const int palette[5][4] = {{255, 255, 255, 255}, {255, 200, 20, 60}, {255, 30, 90, 220},
                             {0, 0, 0, 0},         {128, 10, 240, 10}};
  auto colour = [&](int i) {
    Pixel p{};
    p.alpha = static_cast<decltype(p.alpha)>(palette[i][0] * kMax / 255);
    p.red = static_cast<decltype(p.red)>(palette[i][1] * kMax / 255);
    p.green = static_cast<decltype(p.green)>(palette[i][2] * kMax / 255);
    p.blue = static_cast<decltype(p.blue)>(palette[i][3] * kMax / 255);
    return p;
  };
  HostWorld<Pixel> world(width, height, padding);
  Random rng{seed};
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) world.at(x, y) = colour(0);
  for (int shape = 0; shape < 9; ++shape) {
    const Pixel c = colour(rng.Below(5));
    const int32_t cx = rng.Below(width), cy = rng.Below(height);
    const int32_t rx = 2 + rng.Below(width / 3 + 1), ry = 2 + rng.Below(height / 3 + 1);
    const int kind = rng.Below(3);
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        const int64_t dx = x - cx, dy = y - cy;
        bool inside = false;
        if (kind == 0) inside = dx >= -rx && dx <= rx && dy >= -ry && dy <= ry;
        if (kind == 1) inside = dx * dx * ry * ry + dy * dy * rx * rx <= int64_t{rx} * rx * ry * ry;
        if (kind == 2) inside = (dx * 2 - dy * 3) >= 0 && (dx * 2 - dy * 3) < 3 * rx;
        if (inside) world.at(x, y) = c;
      }
  }
  return world;
}

template <class Pixel>
void Add(std::vector<std::string>& lines, const minihost::MiniHost& host, const char* depth,
         uint32_t seed, int32_t width, int32_t height, int32_t padding,
         const EffectControls& controls) {
  HostWorld<Pixel> input = Frame<Pixel>(seed, width, height, padding);
  HostWorld<Pixel> output(width, height, padding);
  const PF_Err err = host.Render(controls, input, output);
  const size_t bytes = sizeof(Pixel) * static_cast<size_t>(input.stride()) * height;
  char line[256];
  std::snprintf(line, sizeof line,
                "%s-%ux%dx%d+%d-key%d-r%.2f-w%.2f %d %016" PRIx64 " %016" PRIx64, depth,
                static_cast<unsigned>(seed), width, height, padding, controls.useColorKey ? 1 : 0,
                controls.smootherRange, controls.lineWeight, static_cast<int>(err),
                Fnv1a(input.pixels(), bytes), Fnv1a(output.pixels(), bytes));
  lines.push_back(line);
}

}  // namespace

std::vector<std::string> RenderDigests(const minihost::EffectModule& module) {
  const minihost::MiniHost host(module);
  const PF_Pixel8 key{255, 200, 20, 60};
  const EffectControls settings[] = {
      {false, key, 1.0, 0.0}, {true, key, 1.0, 0.0},   {false, key, 0.0, 1.0},
      {true, key, 25.0, 0.5}, {false, key, 100.0, 0.3}, {true, PF_Pixel8{0, 0, 0, 0}, 5.0, 0.75},
  };
  const struct {
    uint32_t seed;
    int32_t width, height, padding;
  } frames[] = {{1, 48, 32, 0}, {2, 33, 41, 5}, {3, 64, 17, 1}, {4, 3, 3, 2}, {5, 97, 61, 7}};
  std::vector<std::string> lines;
  for (const auto& f : frames)
    for (const EffectControls& c : settings) {
      Add<PF_Pixel8>(lines, host, "8", f.seed, f.width, f.height, f.padding, c);
      Add<PF_Pixel16>(lines, host, "16", f.seed, f.width, f.height, f.padding, c);
    }
  return lines;
}

}  // namespace corvalin::digest

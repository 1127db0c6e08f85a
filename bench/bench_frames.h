// Test pictures for the render benchmark, in 8-bit file units: a flat frame,
// a cel frame (large flat regions with hard outlines), dense line art, and
// random noise, the worst case, where every pixel is an edge.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "cli/image_io.h"

namespace corvalin::bench {

enum class Pattern { flat, cel, lineArt, noise };

inline const char* PatternName(Pattern p) {
  switch (p) {
    case Pattern::flat: return "flat";
    case Pattern::cel: return "cel";
    case Pattern::lineArt: return "lineart";
    case Pattern::noise: return "noise";
  }
  return "?";
}

inline cli::Image MakeFrame(Pattern pattern, int32_t w, int32_t h) {
  cli::Image im;
  im.width = w;
  im.height = h;
  im.bits = 8;
  im.samples.assign(static_cast<size_t>(w) * h * 4, 255);
  auto set = [&](int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) {
    uint16_t* p = &im.samples[im.index(x, y)];
    p[0] = r, p[1] = g, p[2] = b;
  };
  switch (pattern) {
    case Pattern::flat:
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) set(x, y, 120, 170, 210);
      break;
    case Pattern::cel: {
      // Regions: sky, two ground bands at slopes, and a grid of discs; then a
      // dark outline wherever a pixel's region differs from its right or
      // lower neighbour's.
      static const uint8_t colours[6][3] = {{150, 205, 235}, {95, 175, 90},  {65, 130, 70},
                                            {250, 205, 60},  {200, 70, 60},  {240, 228, 196}};
      std::vector<uint8_t> region(static_cast<size_t>(w) * h);
      const int32_t cell = h / 4, radius = h / 11;
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
          int id = 0;
          if (3 * y > 2 * h - x / 3) id = 1;
          if (5 * y > 4 * h + x / 4) id = 2;
          const int32_t cx = x % cell - cell / 2, cy = y % cell - cell / 2;
          if (cx * cx + cy * cy <= radius * radius) id = 3 + (x / cell + y / cell) % 3;
          region[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(id);
        }
      }
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
          const uint8_t id = region[static_cast<size_t>(y) * w + x];
          const bool edge = (x + 1 < w && region[static_cast<size_t>(y) * w + x + 1] != id) ||
                            (y + 1 < h && region[static_cast<size_t>(y + 1) * w + x] != id);
          if (edge) {
            set(x, y, 24, 20, 36);
          } else {
            set(x, y, colours[id][0], colours[id][1], colours[id][2]);
          }
        }
      }
      break;
    }
    case Pattern::lineArt:
      // One-pixel ink lines at several slopes on paper, with crossings,
      // spurs and line ends everywhere.
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
          const bool ink = (x + 2 * y) % 9 == 0 || (3 * x + 5 * y) % 23 == 0 || x % 17 == 0 ||
                           ((x / 40 + y / 40) % 2 == 0 && (x - y + 4 * h) % 7 == 0);
          if (ink) {
            set(x, y, 20, 20, 28);
          } else {
            set(x, y, 250, 248, 240);
          }
        }
      }
      break;
    case Pattern::noise: {
      std::mt19937 random(12345);
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
          const uint32_t v = random();
          set(x, y, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16));
        }
      break;
    }
  }
  return im;
}

}  // namespace corvalin::bench

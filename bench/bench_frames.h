// Test pictures for the render benchmark, in 8-bit file units: a flat frame,
// a cel frame (large flat regions with hard outlines), an inked cel frame
// (flat regions, thick outlines, one-pixel ink lines and circles, as drawn
// cels are), dense line art, and random noise, the worst case, where every
// pixel is an edge.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "cli/image_io.h"

namespace corvalin::bench {

enum class Pattern { flat, cel, inkedCel, lineArt, noise };

inline const char* PatternName(Pattern p) {
  switch (p) {
    case Pattern::flat: return "flat";
    case Pattern::cel: return "cel";
    case Pattern::inkedCel: return "inkedcel";
    case Pattern::lineArt: return "lineart";
    case Pattern::noise: return "noise";
  }
  return "?";
}

namespace frame_detail {

// A drawing surface over one frame: plots clipped to the frame.
struct Canvas {
  cli::Image& im;
  void Plot(int32_t x, int32_t y, const uint8_t* c) const {
    if (x < 0 || y < 0 || x >= im.width || y >= im.height) return;
    uint16_t* p = &im.samples[im.index(x, y)];
    p[0] = c[0], p[1] = c[1], p[2] = c[2];
  }
  // A disc of radius r (a filled circle when r is the outline's outer radius).
  void Disc(double cx, double cy, double r, const uint8_t* c) const {
    const int32_t y0 = static_cast<int32_t>(std::floor(cy - r)), y1 = static_cast<int32_t>(std::ceil(cy + r));
    const int32_t x0 = static_cast<int32_t>(std::floor(cx - r)), x1 = static_cast<int32_t>(std::ceil(cx + r));
    for (int32_t y = y0; y <= y1; ++y)
      for (int32_t x = x0; x <= x1; ++x) {
        const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
        if (dx * dx + dy * dy <= r * r) Plot(x, y, c);
      }
  }
  // A one-pixel line, eight-connected, as an ink pen leaves it without
  // anti-aliasing.
  void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, const uint8_t* c) const {
    const int32_t dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int32_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int32_t err = dx + dy;
    for (;;) {
      Plot(x0, y0, c);
      if (x0 == x1 && y0 == y1) break;
      const int32_t e2 = 2 * err;
      if (e2 >= dy) err += dy, x0 += sx;
      if (e2 <= dx) err += dx, y0 += sy;
    }
  }
};

// The inked cel: a sky and two ground regions split by gentle slopes, filled
// shapes (ellipses and tilted boxes) with outlines 3 to 6 pixels thick, 37
// outlined circles and 150 one-pixel ink polylines per 1920x1080, all from
// one seed, so every run draws the same frame.
inline void DrawInkedCel(cli::Image& im) {
  const int32_t w = im.width, h = im.height;
  const Canvas canvas{im};
  std::mt19937 random(20240611);
  auto uniform = [&random](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(random);
  };
  auto pick = [&random](int32_t n) { return static_cast<int32_t>(random() % static_cast<uint32_t>(n)); };
  static const uint8_t fills[8][3] = {{150, 205, 235}, {95, 175, 90},  {65, 130, 70},
                                      {250, 205, 60},  {200, 70, 60},  {240, 228, 196},
                                      {120, 100, 170}, {230, 150, 120}};
  static const uint8_t inks[3][3] = {{24, 20, 36}, {60, 40, 30}, {20, 30, 70}};
  const double area = static_cast<double>(w) * h / (1920.0 * 1080.0);

  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      int id = 0;
      if (5 * y > 3 * h + x / 5) id = 1;
      if (7 * y > 6 * h - x / 4) id = 2;
      canvas.Plot(x, y, fills[id]);
    }
  // Horizon lines between the regions, 3 pixels thick.
  for (int32_t x = 0; x < w; ++x)
    for (int32_t y = 0; y < h; ++y) {
      const bool first = 5 * y > 3 * h + x / 5 && 5 * (y - 3) <= 3 * h + x / 5;
      const bool second = 7 * y > 6 * h - x / 4 && 7 * (y - 3) <= 6 * h - x / 4;
      if (first || second) canvas.Plot(x, y, inks[0]);
    }

  // Filled shapes with thick outlines: the outline is the shape drawn larger
  // in ink, then the fill over it.
  const int shapes = static_cast<int>(std::lround(24 * area));
  for (int s = 0; s < shapes; ++s) {
    const double cx = uniform(0, w), cy = uniform(0, h);
    const double rx = uniform(40, 220), ry = uniform(30, 160), angle = uniform(0, 3.14159);
    const double outline = 3 + pick(4);
    const uint8_t* fill = fills[pick(8)];
    const bool box = pick(2) == 0;
    const double c = std::cos(angle), sn = std::sin(angle);
    const double reach = std::hypot(rx, ry) + outline + 1;
    for (int32_t y = static_cast<int32_t>(cy - reach); y <= static_cast<int32_t>(cy + reach); ++y)
      for (int32_t x = static_cast<int32_t>(cx - reach); x <= static_cast<int32_t>(cx + reach); ++x) {
        const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
        const double u = dx * c + dy * sn, v = -dx * sn + dy * c;
        auto inside = [&](double grow) {
          if (box) return std::abs(u) <= rx + grow && std::abs(v) <= ry + grow;
          const double a = rx + grow, b = ry + grow;
          return (u * u) / (a * a) + (v * v) / (b * b) <= 1.0;
        };
        if (inside(0))
          canvas.Plot(x, y, fill);
        else if (inside(outline))
          canvas.Plot(x, y, inks[0]);
      }
  }

  const int circles = static_cast<int>(std::lround(37 * area));
  for (int i = 0; i < circles; ++i) {
    const double cx = uniform(0, w), cy = uniform(0, h), r = uniform(8, 70);
    const double outline = 3 + pick(4);
    canvas.Disc(cx, cy, r + outline, inks[pick(3)]);
    canvas.Disc(cx, cy, r, fills[pick(8)]);
  }

  const int polylines = static_cast<int>(std::lround(150 * area));
  for (int i = 0; i < polylines; ++i) {
    int32_t x = pick(w), y = pick(h);
    const uint8_t* ink = inks[pick(3)];
    double heading = uniform(0, 6.28318);
    const int segments = 3 + pick(6);
    for (int s = 0; s < segments; ++s) {
      heading += uniform(-0.9, 0.9);
      const double length = uniform(15, 160);
      const int32_t nx = x + static_cast<int32_t>(std::lround(length * std::cos(heading)));
      const int32_t ny = y + static_cast<int32_t>(std::lround(length * std::sin(heading)));
      canvas.Line(x, y, nx, ny, ink);
      x = nx, y = ny;
    }
  }
}

}  // namespace frame_detail

inline cli::Image MakeFrame(Pattern pattern, int32_t w, int32_t h) {
  cli::Image im;
  im.width = w;
  im.height = h;
  im.bits = 8;
  im.samples.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, 255);
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
      auto at = [w](int32_t x, int32_t y) {
        return static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
      };
      std::vector<uint8_t> region(at(0, h));
      const int32_t cell = h / 4, radius = h / 11;
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
          int id = 0;
          if (3 * y > 2 * h - x / 3) id = 1;
          if (5 * y > 4 * h + x / 4) id = 2;
          const int32_t cx = x % cell - cell / 2, cy = y % cell - cell / 2;
          if (cx * cx + cy * cy <= radius * radius) id = 3 + (x / cell + y / cell) % 3;
          region[at(x, y)] = static_cast<uint8_t>(id);
        }
      }
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
          const uint8_t id = region[at(x, y)];
          const bool edge = (x + 1 < w && region[at(x + 1, y)] != id) ||
                            (y + 1 < h && region[at(x, y + 1)] != id);
          if (edge) {
            set(x, y, 24, 20, 36);
          } else {
            set(x, y, colours[id][0], colours[id][1], colours[id][2]);
          }
        }
      }
      break;
    }
    case Pattern::inkedCel:
      frame_detail::DrawInkedCel(im);
      break;
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
          const uint32_t v = static_cast<uint32_t>(random());
          set(x, y, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16));
        }
      break;
    }
  }
  return im;
}

}  // namespace corvalin::bench

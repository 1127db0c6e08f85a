// Draws a seeded sequence of cel frames for the sequence benchmark: flat
// colour regions with hard (aliased) ink outlines, thick strokes and
// one-pixel lines, moving a little from frame to frame as animation does.
// The same seed, size and frame number always give the same picture.
//
// Usage: corvalin_make_cel_sequence OUTPUT_PATTERN WIDTH HEIGHT FIRST LAST [SEED]
//   e.g. corvalin_make_cel_sequence frames/cel.%04d.png 3840 2160 1 8 7
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <random>
#include <string>
#include <vector>

#include "cli/frame_pattern.h"
#include "cli/image_io.h"

namespace {

struct Rgb {
  uint8_t r, g, b;
};

struct Canvas {
  int w, h;
  std::vector<Rgb> px;
  Canvas(int width, int height)
      : w(width), h(height), px(static_cast<size_t>(w) * static_cast<size_t>(h)) {}

  void Set(int x, int y, Rgb c) {
    if (x >= 0 && y >= 0 && x < w && y < h) px[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] = c;
  }
  // Every pixel of the box whose centre passes `inside` gets `c`.
  template <class F>
  void Fill(double x0, double y0, double x1, double y1, Rgb c, F inside) {
    const int xa = std::max(0, static_cast<int>(x0)), xb = std::min(w, static_cast<int>(x1) + 1);
    const int ya = std::max(0, static_cast<int>(y0)), yb = std::min(h, static_cast<int>(y1) + 1);
    for (int y = ya; y < yb; ++y)
      for (int x = xa; x < xb; ++x)
        if (inside(x + 0.5, y + 0.5)) px[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] = c;
  }
  void Disc(double cx, double cy, double r, Rgb c) {
    Fill(cx - r, cy - r, cx + r, cy + r, c,
         [&](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; });
  }
  // A rectangle of half sides a, b turned by `angle` about its centre.
  void Box(double cx, double cy, double a, double b, double angle, Rgb c) {
    const double co = std::cos(angle), si = std::sin(angle), reach = std::hypot(a, b);
    Fill(cx - reach, cy - reach, cx + reach, cy + reach, c, [&](double x, double y) {
      const double u = (x - cx) * co + (y - cy) * si, v = -(x - cx) * si + (y - cy) * co;
      return std::abs(u) <= a && std::abs(v) <= b;
    });
  }
  void Stroke(double x0, double y0, double x1, double y1, double width, Rgb c) {
    const double r = width / 2;
    Fill(std::min(x0, x1) - r, std::min(y0, y1) - r, std::max(x0, x1) + r, std::max(y0, y1) + r, c,
         [&](double x, double y) {
           const double dx = x1 - x0, dy = y1 - y0;
           double t = ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy);
           t = std::clamp(t, 0.0, 1.0);
           return std::hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= r;
         });
  }
  // A one-pixel line, stepped as a plain rasteriser steps it.
  void Line(int x0, int y0, int x1, int y1, Rgb c) {
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    for (int err = dx + dy;;) {
      Set(x0, y0, c);
      if (x0 == x1 && y0 == y1) break;
      const int e2 = 2 * err;
      if (e2 >= dy) err += dy, x0 += sx;
      if (e2 <= dx) err += dx, y0 += sy;
    }
  }
};

struct Shape {
  int kind;  // 0 disc, 1 box, 2 stroke, 3 one-pixel line
  double x, y, a, b, angle, vx, vy, spin;
  Rgb colour;
};

void Draw(Canvas& c, const std::vector<Shape>& shapes, const std::vector<Rgb>& ground, int frame,
          double s) {
  const Rgb ink{24, 20, 36};
  // Sky and two bands of ground under wavy, outlined horizons.
  c.Fill(0, 0, c.w, c.h, ground[0], [](double, double) { return true; });
  for (int band = 1; band < 3; ++band) {
    const double base = c.h * (0.45 + 0.2 * band), phase = frame * 0.02 * band;
    auto horizon = [&](double x) { return base + 30 * s * std::sin(x / (140 * s) + phase); };
    c.Fill(0, base - 31 * s, c.w, c.h, ink, [&](double x, double y) { return y >= horizon(x) - 3 * s; });
    c.Fill(0, base - 31 * s, c.w, c.h, ground[static_cast<size_t>(band)],
           [&](double x, double y) { return y >= horizon(x); });
  }
  const double t = frame;
  for (const Shape& sh : shapes) {
    const double x = sh.x + sh.vx * t, y = sh.y + sh.vy * t, angle = sh.angle + sh.spin * t;
    const double outline = 3 * s;
    switch (sh.kind) {
      case 0:
        c.Disc(x, y, sh.a + outline, ink);
        c.Disc(x, y, sh.a, sh.colour);
        break;
      case 1:
        c.Box(x, y, sh.a + outline, sh.b + outline, angle, ink);
        c.Box(x, y, sh.a, sh.b, angle, sh.colour);
        break;
      case 2:
        c.Stroke(x, y, x + sh.a * std::cos(angle), y + sh.a * std::sin(angle), sh.b, ink);
        break;
      default:
        c.Line(static_cast<int>(x), static_cast<int>(y), static_cast<int>(x + sh.a * std::cos(angle)),
               static_cast<int>(y + sh.a * std::sin(angle)), ink);
        break;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6 && argc != 7) {
    std::fprintf(stderr, "usage: corvalin_make_cel_sequence OUTPUT_PATTERN WIDTH HEIGHT FIRST LAST [SEED]\n");
    return 2;
  }
  const int w = std::atoi(argv[2]), h = std::atoi(argv[3]);
  const int first = std::atoi(argv[4]), last = std::atoi(argv[5]);
  const unsigned seed = argc == 7 ? static_cast<unsigned>(std::strtoul(argv[6], nullptr, 10)) : 1u;
  if (w < 16 || h < 16 || first < 0 || last < first) {
    std::fprintf(stderr, "corvalin_make_cel_sequence: sizes of 16 or more and FIRST <= LAST\n");
    return 2;
  }
  try {
    const auto pattern = corvalin::cli::FindFramePattern(argv[1]);
    if (!pattern) throw corvalin::cli::CliError(std::string(argv[1]) + " has no frame field");

    std::mt19937 rng(seed);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    const double s = h / 1080.0;
    const std::vector<Rgb> palette = {{156, 208, 236}, {255, 204, 64}, {96, 176, 88},
                                      {64, 132, 72},   {196, 64, 56},  {240, 228, 196},
                                      {120, 80, 48},   {255, 240, 150}, {60, 96, 200},
                                      {230, 150, 170}, {180, 120, 200}, {250, 250, 250}};
    const std::vector<Rgb> ground = {palette[0], palette[2], palette[3]};
    std::vector<Shape> shapes;
    auto pick = [&] { return palette[static_cast<size_t>(rng() % palette.size())]; };
    for (int i = 0; i < 14; ++i)
      shapes.push_back({0, uniform(0, w), uniform(0, h), uniform(20, 160) * s, 0, 0,
                        uniform(-4, 4) * s, uniform(-2, 2) * s, 0, pick()});
    for (int i = 0; i < 14; ++i)
      shapes.push_back({1, uniform(0, w), uniform(0, h), uniform(20, 180) * s, uniform(10, 90) * s,
                        uniform(0, 3.2), uniform(-4, 4) * s, uniform(-2, 2) * s, uniform(-0.02, 0.02),
                        pick()});
    for (int i = 0; i < 24; ++i)
      shapes.push_back({2, uniform(0, w), uniform(0, h), uniform(60, 400) * s, uniform(2, 7) * s,
                        uniform(0, 6.3), uniform(-3, 3) * s, uniform(-3, 3) * s, uniform(-0.01, 0.01),
                        {}});
    for (int i = 0; i < 60; ++i)
      shapes.push_back({3, uniform(0, w), uniform(0, h), uniform(40, 500) * s, 0, uniform(0, 6.3),
                        uniform(-3, 3) * s, uniform(-3, 3) * s, uniform(-0.01, 0.01), {}});

    Canvas canvas(w, h);
    corvalin::cli::Image image;
    image.width = w;
    image.height = h;
    image.bits = 8;
    for (int f = first; f <= last; ++f) {
      Draw(canvas, shapes, ground, f, s);
      image.samples.resize(canvas.px.size() * 4);
      for (size_t i = 0; i < canvas.px.size(); ++i) {
        image.samples[4 * i] = canvas.px[i].r;
        image.samples[4 * i + 1] = canvas.px[i].g;
        image.samples[4 * i + 2] = canvas.px[i].b;
        image.samples[4 * i + 3] = 255;
      }
      corvalin::cli::WriteImage(pattern->Expand(f), image);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "corvalin_make_cel_sequence: %s\n", e.what());
    return 1;
  }
  return 0;
}

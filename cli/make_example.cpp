// Draws the bundled example: a small cel frame with hard (aliased) outlines,
// thin lines, a circle and diagonal strokes, so the effect has every kind of
// edge to work on. Usage: corvalin_make_example OUTPUT.png
#include <cmath>
#include <cstdio>
#include <exception>
#include <vector>

#include "cli/image_io.h"

namespace {

struct Rgb {
  uint8_t r, g, b;
};

struct Canvas {
  int w, h;
  std::vector<Rgb> px;
  Canvas(int width, int height, Rgb fill) : w(width), h(height), px(static_cast<size_t>(w) * static_cast<size_t>(h), fill) {}

  void Set(int x, int y, Rgb c) {
    if (x >= 0 && y >= 0 && x < w && y < h) px[static_cast<size_t>(y * w + x)] = c;
  }
  // Every pixel whose centre passes `inside` gets `c`: no coverage, hard steps.
  template <class F>
  void Fill(Rgb c, F inside) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (inside(x + 0.5, y + 0.5)) Set(x, y, c);
  }
  void Disc(double cx, double cy, double r, Rgb c) {
    Fill(c, [&](double x, double y) { return std::hypot(x - cx, y - cy) <= r; });
  }
  void Ring(double cx, double cy, double r0, double r1, Rgb c) {
    Fill(c, [&](double x, double y) {
      const double d = std::hypot(x - cx, y - cy);
      return d > r0 && d <= r1;
    });
  }
  // A stroke of the given width along a segment.
  void Stroke(double x0, double y0, double x1, double y1, double width, Rgb c) {
    Fill(c, [&](double x, double y) {
      const double dx = x1 - x0, dy = y1 - y0;
      double t = ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy);
      t = t < 0 ? 0 : (t > 1 ? 1 : t);
      return std::hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= width / 2;
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: corvalin_make_example OUTPUT.png\n");
    return 2;
  }
  const Rgb ink{24, 20, 36}, sky{156, 208, 236}, sun{255, 204, 64}, hill{96, 176, 88},
      hillShade{64, 132, 72}, roof{196, 64, 56}, wall{240, 228, 196}, door{120, 80, 48},
      window{255, 240, 150}, rain{60, 96, 200};
  Canvas c(192, 144, sky);

  // Sun: a disc with an outline ring.
  c.Disc(150, 34, 19, sun);
  c.Ring(150, 34, 17, 20, ink);

  // Hill: the area under a wave, a shaded band under it, an outline on top.
  auto ground = [](double x) { return 100 + 14 * std::sin(x / 23.0); };
  c.Fill(hill, [&](double x, double y) { return y >= ground(x); });
  c.Fill(hillShade, [&](double x, double y) { return y >= ground(x) + 18 + 0.25 * x * 0.3; });
  c.Fill(ink, [&](double x, double y) { return y >= ground(x) && y < ground(x) + 2.2; });

  // House: wall and a roof triangle with outlines, a door and a window.
  c.Fill(wall, [](double x, double y) { return x >= 40 && x < 84 && y >= 70 && y < 104; });
  c.Fill(roof, [](double x, double y) { return y < 70 && y >= 44 + std::abs(x - 62) * 24.0 / 28.0; });
  c.Stroke(34, 70, 62, 44, 2.5, ink);
  c.Stroke(62, 44, 90, 70, 2.5, ink);
  c.Stroke(34, 70, 90, 70, 2.0, ink);
  c.Fill(ink, [](double x, double y) {
    const bool box = x >= 39 && x < 85 && y >= 70 && y < 105;
    const bool inner = x >= 41 && x < 83 && y >= 70 && y < 103;
    return box && !inner;
  });
  c.Fill(door, [](double x, double y) { return x >= 54 && x < 64 && y >= 84 && y < 103; });
  c.Disc(74, 82, 5.5, window);
  c.Ring(74, 82, 5.5, 7, ink);

  // Thin lines: a fence of one-pixel posts and rails at shallow slopes.
  for (int x = 100; x <= 176; x += 8) c.Line(x, 96, x + 1, 116, ink);
  c.Line(98, 100, 178, 104, ink);
  c.Line(98, 108, 178, 113, ink);

  // Diagonal strokes: rain at two slopes and a kite string.
  for (int i = 0; i < 6; ++i) c.Stroke(96 + 10 * i, 10, 86 + 10 * i, 40, 1.6, rain);
  c.Line(8, 140, 30, 20, ink);
  c.Fill(roof, [](double x, double y) { return std::abs(x - 30) + std::abs(y - 16) <= 8; });

  corvalin::cli::Image image;
  image.width = c.w;
  image.height = c.h;
  image.bits = 8;
  for (const Rgb& p : c.px) image.samples.insert(image.samples.end(), {p.r, p.g, p.b, 255});
  try {
    corvalin::cli::WriteImage(argv[1], image);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "corvalin_make_example: %s\n", e.what());
    return 1;
  }
  return 0;
}

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
#include "tests/support/test_images.h"

namespace {

using corvalin::test_images::Colour8;
using corvalin::test_images::Opaque;
using Canvas = corvalin::test_images::Canvas<Colour8>;

struct Shape {
  int kind;  // 0 disc, 1 box, 2 stroke, 3 one-pixel line
  double x, y, a, b, angle, vx, vy, spin;
  Colour8 colour;
};

void Draw(Canvas c, const std::vector<Shape>& shapes, const std::vector<Colour8>& ground, int frame,
          double s) {
  const Colour8 ink = Opaque(24, 20, 36);
  const int w = c.width(), h = c.height();
  // Sky and two bands of ground under wavy, outlined horizons.
  c.Fill(ground[0]);
  for (int band = 1; band < 3; ++band) {
    const double base = h * (0.45 + 0.2 * band), phase = frame * 0.02 * band;
    auto horizon = [&](double x) { return base + 30 * s * std::sin(x / (140 * s) + phase); };
    const auto below = Canvas::CentreBounds(0, base - 31 * s, w, h);
    c.FillCentres(below, ink, [&](double x, double y) { return y >= horizon(x) - 3 * s; });
    c.FillCentres(below, ground[static_cast<size_t>(band)],
                  [&](double x, double y) { return y >= horizon(x); });
  }
  const double t = frame;
  for (const Shape& sh : shapes) {
    const double x = sh.x + sh.vx * t, y = sh.y + sh.vy * t, angle = sh.angle + sh.spin * t;
    const double outline = 3 * s;
    switch (sh.kind) {
      case 0:
        c.CentreDisc(x, y, sh.a + outline, ink);
        c.CentreDisc(x, y, sh.a, sh.colour);
        break;
      case 1:
        c.CentreBox(x, y, sh.a + outline, sh.b + outline, angle, ink);
        c.CentreBox(x, y, sh.a, sh.b, angle, sh.colour);
        break;
      case 2:
        c.Stroke(x, y, x + sh.a * std::cos(angle), y + sh.a * std::sin(angle), sh.b, ink);
        break;
      default:
        c.Line({static_cast<int>(x), static_cast<int>(y)},
               {static_cast<int>(x + sh.a * std::cos(angle)),
                static_cast<int>(y + sh.a * std::sin(angle))},
               ink);
        break;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6 && argc != 7) {
    std::fprintf(
        stderr,
        "usage: corvalin_make_cel_sequence OUTPUT_PATTERN WIDTH HEIGHT FIRST LAST [SEED]\n");
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
    auto uniform = [&](double lo, double hi) {
      return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    const double s = h / 1080.0;
    const std::vector<Colour8> palette = {
        Opaque(156, 208, 236), Opaque(255, 204, 64),  Opaque(96, 176, 88),   Opaque(64, 132, 72),
        Opaque(196, 64, 56),   Opaque(240, 228, 196), Opaque(120, 80, 48),   Opaque(255, 240, 150),
        Opaque(60, 96, 200),   Opaque(230, 150, 170), Opaque(180, 120, 200), Opaque(250, 250, 250)};
    const std::vector<Colour8> ground = {palette[0], palette[2], palette[3]};
    std::vector<Shape> shapes;
    auto pick = [&] { return palette[static_cast<size_t>(rng() % palette.size())]; };
    for (int i = 0; i < 14; ++i)
      shapes.push_back({0, uniform(0, w), uniform(0, h), uniform(20, 160) * s, 0, 0,
                        uniform(-4, 4) * s, uniform(-2, 2) * s, 0, pick()});
    for (int i = 0; i < 14; ++i)
      shapes.push_back({1, uniform(0, w), uniform(0, h), uniform(20, 180) * s, uniform(10, 90) * s,
                        uniform(0, 3.2), uniform(-4, 4) * s, uniform(-2, 2) * s,
                        uniform(-0.02, 0.02), pick()});
    // clang-format off
    for (int i = 0; i < 24; ++i)
      shapes.push_back({2, uniform(0, w), uniform(0, h), uniform(60, 400) * s, uniform(2, 7) * s,
                        uniform(0, 6.3), uniform(-3, 3) * s, uniform(-3, 3) * s,
                        uniform(-0.01, 0.01), {}});
    for (int i = 0; i < 60; ++i)
      shapes.push_back({3, uniform(0, w), uniform(0, h), uniform(40, 500) * s, 0, uniform(0, 6.3),
                        uniform(-3, 3) * s, uniform(-3, 3) * s, uniform(-0.01, 0.01), {}});
    // clang-format on

    corvalin::test_images::PaddedImage<Colour8> picture(w, h);
    for (int f = first; f <= last; ++f) {
      Draw(picture.canvas(), shapes, ground, f, s);
      corvalin::cli::WriteImage(pattern->Expand(f), corvalin::cli::OpaqueImage8(picture));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "corvalin_make_cel_sequence: %s\n", e.what());
    return 1;
  }
  return 0;
}

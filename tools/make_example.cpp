// Draws the bundled example: a small cel frame with hard (aliased) outlines,
// thin lines, a circle and diagonal strokes, so the effect has every kind of
// edge to work on. With --small, a 24 x 16 frame for the picture of the
// corner markers, small enough that one pixel shows when enlarged.
// Usage: corvalin_make_example [--small] OUTPUT.png
#include <cmath>
#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

#include "cli/image_io.h"
#include "tests/support/test_images.h"

namespace {

using Picture = corvalin::test_images::PaddedImage<corvalin::test_images::Colour8>;

int WritePicture(const char* path, const Picture& picture) {
  try {
    corvalin::cli::WriteImage(path, corvalin::cli::OpaqueImage8(picture));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "corvalin_make_example: %s\n", e.what());
    return 1;
  }
  return 0;
}

// A sun with an outline over a hill, on sky from border to border.
int WriteSmall(const char* path) {
  using corvalin::test_images::Opaque;
  const auto ink = Opaque(24, 20, 36), sky = Opaque(156, 208, 236), sun = Opaque(255, 204, 64),
             hill = Opaque(96, 176, 88);
  Picture picture(24, 16);
  auto c = picture.canvas();
  c.Fill(sky);
  c.CentreDisc(15.5, 6.5, 5.5, ink);
  c.CentreDisc(15.5, 6.5, 4.2, sun);
  c.FillCentres(c.Bounds(), hill,
                [](double x, double y) { return y >= 11 + 0.3 * x - 0.02 * x * x; });
  return WritePicture(path, picture);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string_view(argv[1]) == "--small") return WriteSmall(argv[2]);
  if (argc != 2) {
    std::fprintf(stderr, "usage: corvalin_make_example [--small] OUTPUT.png\n");
    return 2;
  }
  using corvalin::test_images::Opaque;
  const auto ink = Opaque(24, 20, 36), sky = Opaque(156, 208, 236), sun = Opaque(255, 204, 64),
             hill = Opaque(96, 176, 88), hillShade = Opaque(64, 132, 72),
             roof = Opaque(196, 64, 56), wall = Opaque(240, 228, 196), door = Opaque(120, 80, 48),
             window = Opaque(255, 240, 150), rain = Opaque(60, 96, 200);
  corvalin::test_images::PaddedImage<corvalin::test_images::Colour8> picture(192, 144);
  auto c = picture.canvas();
  c.Fill(sky);
  // Every pixel whose centre passes `inside`: no coverage, hard steps.
  auto fill = [&](auto colour, auto inside) { c.FillCentres(c.Bounds(), colour, inside); };
  auto ring = [&](double cx, double cy, double r0, double r1, auto colour) {
    fill(colour, [&](double x, double y) {
      const double d = std::hypot(x - cx, y - cy);
      return d > r0 && d <= r1;
    });
  };

  // Sun: a disc with an outline ring.
  c.CentreDisc(150, 34, 19, sun);
  ring(150, 34, 17, 20, ink);

  // Hill: the area under a wave, a shaded band under it, an outline on top.
  auto ground = [](double x) { return 100 + 14 * std::sin(x / 23.0); };
  fill(hill, [&](double x, double y) { return y >= ground(x); });
  fill(hillShade, [&](double x, double y) { return y >= ground(x) + 18 + 0.25 * x * 0.3; });
  fill(ink, [&](double x, double y) { return y >= ground(x) && y < ground(x) + 2.2; });

  // House: wall and a roof triangle with outlines, a door and a window.
  fill(wall, [](double x, double y) { return x >= 40 && x < 84 && y >= 70 && y < 104; });
  fill(roof, [](double x, double y) { return y < 70 && y >= 44 + std::abs(x - 62) * 24.0 / 28.0; });
  c.Stroke(34, 70, 62, 44, 2.5, ink);
  c.Stroke(62, 44, 90, 70, 2.5, ink);
  c.Stroke(34, 70, 90, 70, 2.0, ink);
  fill(ink, [](double x, double y) {
    const bool box = x >= 39 && x < 85 && y >= 70 && y < 105;
    const bool inner = x >= 41 && x < 83 && y >= 70 && y < 103;
    return box && !inner;
  });
  fill(door, [](double x, double y) { return x >= 54 && x < 64 && y >= 84 && y < 103; });
  c.CentreDisc(74, 82, 5.5, window);
  ring(74, 82, 5.5, 7, ink);

  // Thin lines: a fence of one-pixel posts and rails at shallow slopes.
  for (int x = 100; x <= 176; x += 8) c.Line({x, 96}, {x + 1, 116}, ink);
  c.Line({98, 100}, {178, 104}, ink);
  c.Line({98, 108}, {178, 113}, ink);

  // Diagonal strokes: rain at two slopes and a kite string.
  for (int i = 0; i < 6; ++i) c.Stroke(96 + 10 * i, 10, 86 + 10 * i, 40, 1.6, rain);
  c.Line({8, 140}, {30, 20}, ink);
  fill(roof, [](double x, double y) { return std::abs(x - 30) + std::abs(y - 16) <= 8; });

  return WritePicture(argv[1], picture);
}

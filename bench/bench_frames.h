// Test pictures for the render benchmark, in 8-bit file units: a flat frame,
// a cel frame (large flat regions with hard outlines), dense line art, and
// random noise, the worst case, where every pixel is an edge.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/image_io.h"
#include "sdk/AE_Effect.h"
#include "tests/support/test_images.h"

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
  using test_images::Colour8;
  using test_images::Rect;
  auto opaque = [](uint8_t r, uint8_t g, uint8_t b) {
    return test_images::ToPixel<PF_Pixel8>(Colour8{255, r, g, b});
  };
  test_images::PaddedImage<PF_Pixel8> picture(w, h);
  test_images::Canvas<PF_Pixel8> canvas = picture.canvas();
  const Rect all = canvas.Bounds();
  switch (pattern) {
    case Pattern::flat: canvas.Fill(opaque(120, 170, 210)); break;
    case Pattern::cel: {
      // Sky, two ground bands at slopes, a grid of discs, then a dark
      // outline wherever a pixel differs from its right or lower neighbour.
      canvas.Fill(opaque(150, 205, 235));
      canvas.HalfPlane(all, 1, 9, int64_t{6} * h + 2, opaque(95, 175, 90));
      canvas.HalfPlane(all, -1, 20, int64_t{16} * h, opaque(65, 130, 70));
      const PF_Pixel8 discs[3] = {opaque(250, 205, 60), opaque(200, 70, 60), opaque(240, 228, 196)};
      const int32_t cell = std::max(h / 4, 1), radius = h / 11;
      for (int32_t j = 0; j * cell < h; ++j)
        for (int32_t i = 0; i * cell < w; ++i)
          canvas.Disc(i * cell + cell / 2, j * cell + cell / 2, radius, discs[(i + j) % 3]);
      canvas.Outline(opaque(24, 20, 36));
      break;
    }
    case Pattern::lineArt: {
      // One-pixel ink lines at several slopes on paper, with crossings,
      // spurs and line ends everywhere.
      const PF_Pixel8 ink = opaque(20, 20, 28);
      canvas.Fill(opaque(250, 248, 240));
      canvas.Hatch(all, 1, 2, 9, 0, ink);
      canvas.Hatch(all, 3, 5, 23, 0, ink);
      canvas.Hatch(all, 1, 0, 17, 0, ink);
      for (int32_t top = 0; top < h; top += 40)
        for (int32_t left = (top / 40 % 2) * 40; left < w; left += 80)
          canvas.Hatch(Rect{left, top, left + 40, top + 40}, 1, -1, 7, -4 * int64_t{h}, ink);
      break;
    }
    case Pattern::noise: {
      test_images::Random random(12345);
      canvas.ColourNoise(random);
      break;
    }
  }
  cli::Image im;
  im.width = w;
  im.height = h;
  im.bits = 8;
  for (const PF_Pixel8& p : picture.pixels)
    im.samples.insert(im.samples.end(), {p.red, p.green, p.blue, p.alpha});
  return im;
}

}  // namespace corvalin::bench

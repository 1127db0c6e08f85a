// Test pictures for the render benchmark, in 8-bit file units: a flat frame,
// a cel frame (large flat regions with hard outlines), an inked cel frame
// (flat regions, thick outlines, one-pixel ink lines and circles, as drawn
// cels are), dense line art, and random noise, the worst case, where every
// pixel is an edge.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/image_io.h"
#include "sdk/AE_Effect.h"
#include "tests/support/test_images.h"

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

// The inked cel: sky and two ground regions under 3-pixel horizon lines,
// filled boxes (tilted) and ellipses with outlines 3 to 6 pixels thick, and
// per 1920x1080 pixels 37 outlined circles and 150 one-pixel ink polylines of
// 3 to 8 strokes, all from one seed.
inline void DrawInkedCel(test_images::Canvas<PF_Pixel8> canvas,
                         PF_Pixel8 (*opaque)(uint8_t, uint8_t, uint8_t)) {
  using test_images::Point;
  using test_images::Rect;
  const int32_t w = canvas.width(), h = canvas.height();
  const Rect all = canvas.Bounds();
  const PF_Pixel8 fills[8] = {opaque(150, 205, 235), opaque(95, 175, 90),  opaque(65, 130, 70),
                              opaque(250, 205, 60),  opaque(200, 70, 60),  opaque(240, 228, 196),
                              opaque(120, 100, 170), opaque(230, 150, 120)};
  const PF_Pixel8 inks[3] = {opaque(24, 20, 36), opaque(60, 40, 30), opaque(20, 30, 70)};
  test_images::Random random(20240611);
  // Shapes per frame scale with its area, so a UHD frame is as busy as an HD one.
  const int64_t area = int64_t{w} * h;
  auto perHd = [area](int64_t count) { return static_cast<int32_t>(count * area / (1920 * 1080)); };

  canvas.Fill(fills[0]);
  canvas.HalfPlane(all, -1, 25, int64_t{15} * h, inks[0]);
  canvas.HalfPlane(all, -1, 25, int64_t{15} * h + 75, fills[1]);
  canvas.HalfPlane(all, 1, 28, int64_t{24} * h, inks[0]);
  canvas.HalfPlane(all, 1, 28, int64_t{24} * h + 84, fills[2]);

  // Boxes along a direction (dx, dy) and axis-aligned ellipses, each drawn
  // grown by its outline in ink, then filled.
  for (int32_t s = perHd(24); s > 0; --s) {
    const int32_t cx = random.Below(w), cy = random.Below(h);
    const int64_t rx = random.Between(40, 220), ry = random.Between(30, 160);
    const int64_t outline = random.Between(3, 6);
    const PF_Pixel8 fill = fills[random.Below(8)];
    const bool box = random.OneIn(2);
    const int64_t dx = random.Between(1, 8), dy = random.Between(-8, 8);
    const int64_t length2 = dx * dx + dy * dy;
    auto inside = [&](int64_t x, int64_t y, int64_t grow) {
      const int64_t a = rx + grow, b = ry + grow;
      if (!box) return x * x * b * b + y * y * a * a <= a * a * b * b;
      const int64_t u = x * dx + y * dy, v = y * dx - x * dy;  // both scaled by |(dx, dy)|
      return u * u <= a * a * length2 && v * v <= b * b * length2;
    };
    const int32_t reach = static_cast<int32_t>(rx + ry + outline);
    for (int32_t y = cy - reach; y <= cy + reach; ++y)
      for (int32_t x = cx - reach; x <= cx + reach; ++x) {
        if (inside(x - cx, y - cy, 0))
          canvas.Set(x, y, fill);
        else if (inside(x - cx, y - cy, outline))
          canvas.Set(x, y, inks[0]);
      }
  }

  for (int32_t c = perHd(37); c > 0; --c) {
    const int32_t cx = random.Below(w), cy = random.Below(h), r = random.Between(8, 70);
    const int32_t outline = random.Between(3, 6);
    canvas.Disc(cx, cy, r, fills[random.Below(8)]);
    canvas.Ring(cx, cy, r, outline, inks[random.Below(3)]);
  }

  // Pen strokes: each polyline turns by up to about 50 degrees per stroke.
  static const int32_t directions[16][2] = {
      {16, 0},  {15, 6},   {11, 11},   {6, 15},   {0, 16},  {-6, 15}, {-11, 11}, {-15, 6},
      {-16, 0}, {-15, -6}, {-11, -11}, {-6, -15}, {0, -16}, {6, -15}, {11, -11}, {15, -6}};
  for (int32_t l = perHd(150); l > 0; --l) {
    std::vector<Point> points{Point{random.Below(w), random.Below(h)}};
    int32_t heading = random.Below(16);
    for (int32_t stroke = random.Between(3, 8); stroke > 0; --stroke) {
      heading = (heading + random.Between(-2, 2) + 16) % 16;
      const int32_t length = random.Between(15, 160);
      const Point& from = points.back();
      points.push_back(Point{from.x + directions[heading][0] * length / 16,
                             from.y + directions[heading][1] * length / 16});
    }
    canvas.Polyline(points, inks[random.Below(3)]);
  }
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
    case Pattern::inkedCel: DrawInkedCel(canvas, opaque); break;
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

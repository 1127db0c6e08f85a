// Test pictures for the tests, the benchmark, the Windows render digests and
// the tools that draw the bundled example and the benchmark's cel frames:
// flat regions, hard outlines, staircase slopes, discs and rings, one-pixel
// lines, polylines and hatching, noise, transparent and key-coloured areas,
// shapes sampled at pixel centres, drawn into any strided buffer of pixels
// with alpha, red, green and blue fields (PF_Pixel8, PF_Pixel16, Colour8).
//
// Only the standard library, and of std::mt19937 only its raw output: the
// standard fixes that sequence, while its distributions differ between
// standard libraries. So a seed draws the same picture with gcc, mingw and
// MSVC.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <type_traits>
#include <vector>

namespace corvalin::test_images {

// The effect's channel maximum: 255 for 8-bit channels, 32768 for 16-bit ones.
template <class Pixel>
constexpr uint32_t ChannelMaximum() {
  return sizeof(Pixel{}.red) == 1 ? 255u : 32768u;
}

// A colour in 8-bit units, scaled to the pixel depth when drawn.
struct Colour8 {
  uint8_t alpha, red, green, blue;
  friend bool operator==(const Colour8&, const Colour8&) = default;
};

// An opaque colour.
constexpr Colour8 Opaque(uint8_t red, uint8_t green, uint8_t blue) {
  return Colour8{255, red, green, blue};
}

// Each channel c becomes c * maximum / 255, remainder dropped.
template <class Pixel>
Pixel ToPixel(Colour8 c) {
  using Channel = decltype(Pixel{}.red);
  auto scale = [](uint32_t v) { return static_cast<Channel>(v * ChannelMaximum<Pixel>() / 255u); };
  Pixel p{};
  p.alpha = scale(c.alpha);
  p.red = scale(c.red);
  p.green = scale(c.green);
  p.blue = scale(c.blue);
  return p;
}

template <class Pixel>
bool SameColour(const Pixel& a, const Pixel& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

namespace colours {
inline constexpr Colour8 paper{255, 240, 232, 210};
inline constexpr Colour8 ink{255, 24, 20, 36};
inline constexpr Colour8 sky{255, 150, 205, 235};
inline constexpr Colour8 grass{255, 95, 175, 90};
inline constexpr Colour8 sun{255, 250, 200, 40};
inline constexpr Colour8 brick{255, 200, 70, 60};
inline constexpr Colour8 white{255, 255, 255, 255};  // the effect's default key colour
inline constexpr Colour8 green{255, 0, 255, 0};
inline constexpr Colour8 transparent{0, 0, 0, 0};
inline constexpr Colour8 glass{128, 90, 120, 200};  // half transparent
// Three 8-bit steps from ink: an edge at Smoother Range 0 only.
inline constexpr Colour8 nearInk{255, 26, 21, 36};
}  // namespace colours

// Opaque colours apart and a hair apart, white (the default key), fully and
// half transparent. paper comes first: scenes fill their background with it.
inline std::vector<Colour8> DefaultPalette() {
  using namespace colours;
  return {paper, ink, sky, grass, sun, brick, white, transparent, glass, nearInk};
}

// Deterministic numbers from std::mt19937's raw 32-bit output.
class Random {
 public:
  explicit Random(uint32_t seed) : engine_(seed) {}
  uint32_t Next() { return static_cast<uint32_t>(engine_()); }
  // 0 <= result < n, for n >= 1. The modulo bias is immaterial for pictures.
  int32_t Below(int32_t n) { return static_cast<int32_t>(Next() % static_cast<uint32_t>(n)); }
  int32_t Between(int32_t lo, int32_t hi) { return lo + Below(hi - lo + 1); }  // inclusive
  bool OneIn(int32_t n) { return Below(n) == 0; }

 private:
  std::mt19937 engine_;
};

// An index into a container of `size` elements (at least one): one draw of
// random.Below(size).
inline size_t Pick(Random& random, size_t size) {
  return static_cast<size_t>(random.Below(static_cast<int32_t>(size)));
}

// The place of pixel (x, y) in rows that start `stride` pixels apart; x, y
// and stride are not negative.
inline size_t Index(int32_t x, int32_t y, int32_t stride) {
  return static_cast<size_t>(y) * static_cast<size_t>(stride) + static_cast<size_t>(x);
}

struct Point {
  int32_t x, y;
};

// Left and top inclusive, right and bottom exclusive.
struct Rect {
  int32_t left, top, right, bottom;
};

// Draws into width x height pixels whose rows start `stride` pixels apart;
// pixels between width and stride (row padding) are never touched unless the
// canvas is made as wide as the stride. Everything is clipped to the canvas.
template <class Pixel>
class Canvas {
 public:
  Canvas(Pixel* pixels, int32_t width, int32_t height, int32_t stride)
      : pixels_(pixels), width_(width), height_(height), stride_(stride) {}

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  Rect Bounds() const { return Rect{0, 0, width_, height_}; }
  bool Contains(int32_t x, int32_t y) const {
    return x >= 0 && y >= 0 && x < width_ && y < height_;
  }
  Pixel& at(int32_t x, int32_t y) { return pixels_[Index(x, y, stride_)]; }
  void Set(int32_t x, int32_t y, const Pixel& p) {
    if (Contains(x, y)) at(x, y) = p;
  }

  void Fill(const Pixel& p) { FillRect(Bounds(), p); }
  void FillRect(Rect r, const Pixel& p) {
    FillWhere(r, p, [](int32_t, int32_t) { return true; });
  }

  // Every pixel within r of (cx, cy), centre to centre: dx² + dy² <= r².
  void Disc(int32_t cx, int32_t cy, int32_t r, const Pixel& p) {
    FillWhere(Rect{cx - r, cy - r, cx + r + 1, cy + r + 1}, p,
              [=](int32_t x, int32_t y) { return Square(x - cx) + Square(y - cy) <= Square(r); });
  }
  // A circle `thickness` pixels wide inside radius r.
  void Ring(int32_t cx, int32_t cy, int32_t r, int32_t thickness, const Pixel& p) {
    const int64_t inner = r > thickness ? Square(r - thickness) : -1;
    FillWhere(Rect{cx - r, cy - r, cx + r + 1, cy + r + 1}, p, [=](int32_t x, int32_t y) {
      const int64_t d = Square(x - cx) + Square(y - cy);
      return d > inner && d <= Square(r);
    });
  }

  // The pixels of `area` with a*x + b*y > c: a straight edge at any rational
  // slope, which pixels turn into a staircase.
  void HalfPlane(Rect area, int64_t a, int64_t b, int64_t c, const Pixel& p) {
    FillWhere(area, p, [=](int32_t x, int32_t y) { return a * x + b * y > c; });
  }

  // A one-pixel line, both ends included, stepped diagonally where it must
  // (Bresenham).
  void Line(Point from, Point to, const Pixel& p) {
    const int32_t dx = to.x > from.x ? to.x - from.x : from.x - to.x;
    const int32_t dy = -(to.y > from.y ? to.y - from.y : from.y - to.y);
    const int32_t sx = from.x < to.x ? 1 : -1, sy = from.y < to.y ? 1 : -1;
    int32_t x = from.x, y = from.y;
    for (int32_t err = dx + dy;;) {
      Set(x, y, p);
      if (x == to.x && y == to.y) break;
      const int32_t e2 = 2 * err;
      if (e2 >= dy) err += dy, x += sx;
      if (e2 <= dx) err += dx, y += sy;
    }
  }
  void Polyline(const std::vector<Point>& points, const Pixel& p) {
    for (size_t i = 1; i < points.size(); ++i) Line(points[i - 1], points[i], p);
    if (points.size() == 1) Set(points[0].x, points[0].y, p);
  }

  // Parallel one-pixel lines across `area`: the pixels with
  // a*x + b*y = offset modulo period.
  void Hatch(Rect area, int64_t a, int64_t b, int64_t period, int64_t offset, const Pixel& p) {
    FillWhere(area, p, [=](int32_t x, int32_t y) {
      return ((a * x + b * y - offset) % period + period) % period == 0;
    });
  }

  // Every pixel of `r` for which inside(x, y) holds.
  template <class Inside>
  void FillWhere(Rect r, const Pixel& p, Inside inside) {
    ForEach(r, [&](int32_t x, int32_t y) {
      if (inside(x, y)) at(x, y) = p;
    });
  }

  // Shapes at any real place and size: every pixel of `box` whose centre
  // (x + 0.5, y + 0.5) passes inside(cx, cy), with hard (aliased) steps.
  template <class Inside>
  void FillCentres(Rect box, const Pixel& p, Inside inside) {
    FillWhere(box, p, [&](int32_t x, int32_t y) { return inside(x + 0.5, y + 0.5); });
  }
  // The pixels whose centres lie within the real box from (x0, y0) to (x1, y1).
  static Rect CentreBounds(double x0, double y0, double x1, double y1) {
    return Rect{static_cast<int32_t>(x0), static_cast<int32_t>(y0), static_cast<int32_t>(x1) + 1,
                static_cast<int32_t>(y1) + 1};
  }
  // Centres within r of (cx, cy).
  void CentreDisc(double cx, double cy, double r, const Pixel& p) {
    FillCentres(CentreBounds(cx - r, cy - r, cx + r, cy + r), p, [&](double x, double y) {
      return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
    });
  }
  // A rectangle of half sides a, b turned by `angle` about its centre.
  void CentreBox(double cx, double cy, double a, double b, double angle, const Pixel& p) {
    const double co = std::cos(angle), si = std::sin(angle), reach = std::hypot(a, b);
    FillCentres(CentreBounds(cx - reach, cy - reach, cx + reach, cy + reach), p,
                [&](double x, double y) {
                  const double u = (x - cx) * co + (y - cy) * si;
                  const double v = -(x - cx) * si + (y - cy) * co;
                  return std::abs(u) <= a && std::abs(v) <= b;
                });
  }
  // A stroke `width` wide along the segment from (x0, y0) to (x1, y1).
  void Stroke(double x0, double y0, double x1, double y1, double width, const Pixel& p) {
    const double r = width / 2;
    FillCentres(CentreBounds(std::min(x0, x1) - r, std::min(y0, y1) - r, std::max(x0, x1) + r,
                             std::max(y0, y1) + r),
                p, [&](double x, double y) {
                  const double dx = x1 - x0, dy = y1 - y0;
                  double t = ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy);
                  t = std::clamp(t, 0.0, 1.0);
                  return std::hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= r;
                });
  }

  // Hard outlines: `ink` on every pixel whose colour differs from its right
  // or lower neighbour's, all judged on the picture before any is inked.
  void Outline(const Pixel& ink) {
    std::vector<uint8_t> edge(static_cast<size_t>(width_) * static_cast<size_t>(height_));
    for (int32_t y = 0; y < height_; ++y)
      for (int32_t x = 0; x < width_; ++x)
        edge[Index(x, y, width_)] = (x + 1 < width_ && !SameColour(at(x, y), at(x + 1, y))) ||
                                    (y + 1 < height_ && !SameColour(at(x, y), at(x, y + 1)));
    for (int32_t y = 0; y < height_; ++y)
      for (int32_t x = 0; x < width_; ++x)
        if (edge[Index(x, y, width_)]) at(x, y) = ink;
  }

  // Each pixel of `area`, with a chance of percent in 100, becomes a palette
  // colour.
  void Noise(Random& random, Rect area, const std::vector<Pixel>& palette, int32_t percent = 100) {
    ForEach(area, [&](int32_t x, int32_t y) {
      if (random.Below(100) < percent) at(x, y) = palette[Pick(random, palette.size())];
    });
  }
  // Noise that clumps: row by row, each pixel repeats its left neighbour
  // (4 in 10), its upper one (2 in 10) or takes a palette colour.
  void RunNoise(Random& random, const std::vector<Pixel>& palette) {
    ForEach(Bounds(), [&](int32_t x, int32_t y) {
      const int32_t pick = random.Below(10);
      if (pick < 4 && x > 0)
        at(x, y) = at(x - 1, y);
      else if (pick < 6 && y > 0)
        at(x, y) = at(x, y - 1);
      else
        at(x, y) = palette[Pick(random, palette.size())];
    });
  }
  // Every pixel an opaque colour from one raw 32-bit number: its low byte
  // red, then green, then blue, each scaled to the depth.
  void ColourNoise(Random& random) {
    ForEach(Bounds(), [&](int32_t x, int32_t y) {
      const uint32_t v = random.Next();
      at(x, y) = ToPixel<Pixel>(Colour8{255, uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)});
    });
  }

 private:
  static int64_t Square(int64_t v) { return v * v; }

  template <class Visit>
  void ForEach(Rect r, Visit visit) {
    const int32_t left = std::max(r.left, 0), right = std::min(r.right, width_);
    for (int32_t y = std::max(r.top, 0); y < std::min(r.bottom, height_); ++y)
      for (int32_t x = left; x < right; ++x) visit(x, y);
  }
  Pixel* pixels_;
  int32_t width_, height_, stride_;
};

// A canvas over any image that offers pixels(), width(), height() and its
// stride() in pixels, such as the mini host's worlds.
template <class Image>
auto CanvasOver(Image& image) {
  using Pixel = std::remove_reference_t<decltype(*image.pixels())>;
  return Canvas<Pixel>(image.pixels(), image.width(), image.height(), image.stride());
}

// A seeded scene: the background, then shapes of random kind, place, size and
// palette colour (rectangles, discs, rings, slopes, lines, polylines, noise
// patches, hatching), then optional scattered dots and outlines.
struct Scene {
  std::vector<Colour8> palette = DefaultPalette();  // palette[0] is the background
  int32_t shapes = 12;
  int32_t dotsPer1000 = 0;  // single pixels of palette colours per 1000 pixels
  bool outlines = false;    // palette[1] wherever two colours meet, drawn last
};

template <class Pixel>
void DrawScene(Canvas<Pixel> canvas, uint32_t seed, const Scene& scene = {}) {
  const int32_t w = canvas.width(), h = canvas.height();
  if (w <= 0 || h <= 0 || scene.palette.empty()) return;
  std::vector<Pixel> palette;
  for (const Colour8& c : scene.palette) palette.push_back(ToPixel<Pixel>(c));
  // Every draw from `random` is its own statement or in a braced list: the
  // order of function arguments is unspecified, that of a braced list is not.
  Random random(seed);
  auto colour = [&] { return palette[Pick(random, palette.size())]; };
  auto point = [&] { return Point{random.Below(w), random.Below(h)}; };
  // Lines and slopes also run in from outside, so they cross the borders.
  auto pointAround = [&] {
    return Point{random.Between(-w / 4 - 1, w + w / 4), random.Between(-h / 4 - 1, h + h / 4)};
  };
  canvas.Fill(palette[0]);
  for (int32_t shape = 0; shape < scene.shapes; ++shape) {
    const Pixel p = colour();
    const Point at = point();
    switch (random.Below(8)) {
      case 0:
        canvas.FillRect(Rect{at.x, at.y, at.x + 1 + random.Below(w / 2 + 1),
                             at.y + 1 + random.Below(h / 2 + 1)},
                        p);
        break;
      case 1: canvas.Disc(at.x, at.y, random.Below(std::min(w, h) / 3 + 2), p); break;
      case 2: {
        const int32_t radius = 1 + random.Below(std::max(w, h) / 3 + 1);
        canvas.Ring(at.x, at.y, radius, 1 + random.Below(2), p);
        break;
      }
      case 3: {
        // The side of the line through two points, inside a random box.
        const Point to = pointAround();
        const Rect box{at.x - random.Below(w), at.y - random.Below(h), at.x + 1 + random.Below(w),
                       at.y + 1 + random.Below(h)};
        const int64_t a = to.y - at.y, b = at.x - to.x;
        canvas.HalfPlane(box, a, b, a * at.x + b * at.y, p);
        break;
      }
      case 4: {
        const Point from = pointAround(), to = pointAround();
        canvas.Line(from, to, p);
        break;
      }
      case 5: {
        std::vector<Point> points{pointAround()};
        for (int32_t i = random.Between(2, 4); i > 0; --i) points.push_back(pointAround());
        canvas.Polyline(points, p);
        break;
      }
      case 6: {
        const Rect patch{at.x, at.y, at.x + 1 + random.Below(8), at.y + 1 + random.Below(8)};
        canvas.Noise(random, patch, palette, 50);
        break;
      }
      default: {
        // Parallel lines over a box that may reach past the borders.
        const Point from = pointAround(), to = pointAround();
        const Rect box{std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x) + 1,
                       std::max(from.y, to.y) + 1};
        const int32_t a = random.Between(-3, 3), b = random.Between(1, 3);
        const int32_t period = random.Between(3, 8);
        canvas.Hatch(box, a, b, period, random.Below(period), p);
        break;
      }
    }
  }
  for (int64_t dot = int64_t{w} * h * scene.dotsPer1000 / 1000; dot > 0; --dot) {
    const Point at = point();
    canvas.Set(at.x, at.y, colour());
  }
  if (scene.outlines && palette.size() > 1) canvas.Outline(palette[1]);
}

// xorshift32: the same sequence everywhere, for the OpenFX tests' pictures,
// which were pinned with it.
class XorShift32 {
 public:
  explicit XorShift32(uint32_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  int32_t Below(int32_t n) { return static_cast<int32_t>(Next() % static_cast<uint32_t>(n)); }

 private:
  uint32_t state_;
};

// Nine flat shapes over palette[0] from a xorshift32 seed: boxes, ellipses
// and staircase diagonal bands of palette colours.
template <class Pixel>
void DrawFlatShapes(Canvas<Pixel> canvas, uint32_t seed, const std::vector<Pixel>& palette) {
  const int32_t width = canvas.width(), height = canvas.height();
  canvas.Fill(palette[0]);
  XorShift32 random(seed);
  for (int shape = 0; shape < 9; ++shape) {
    const Pixel colour = palette[static_cast<size_t>(random.Below(int32_t(palette.size())))];
    const int32_t cx = random.Below(width), cy = random.Below(height);
    const int32_t rx = 2 + random.Below(width / 3 + 1), ry = 2 + random.Below(height / 3 + 1);
    const int32_t kind = random.Below(3);
    canvas.FillWhere(canvas.Bounds(), colour, [&](int32_t x, int32_t y) {
      const int64_t dx = x - cx, dy = y - cy;
      if (kind == 0) return dx >= -rx && dx <= rx && dy >= -ry && dy <= ry;
      if (kind == 1) return dx * dx * ry * ry + dy * dy * rx * rx <= int64_t{rx} * rx * ry * ry;
      return (dx * 2 - dy * 3) >= 0 && (dx * 2 - dy * 3) < 3 * rx;
    });
  }
}

// A pixel buffer of width x height with `padding` spare pixels after each row
// (left all zero), and a canvas over its picture.
template <class Pixel>
struct PaddedImage {
  int32_t width, height, stride;
  std::vector<Pixel> pixels;

  PaddedImage(int32_t w, int32_t h, int32_t padding = 0)
      : width(w), height(h), stride(w + padding),
        pixels(static_cast<size_t>(stride) * static_cast<size_t>(h), Pixel{}) {}
  Canvas<Pixel> canvas() { return Canvas<Pixel>(pixels.data(), width, height, stride); }
  const Pixel& at(int32_t x, int32_t y) const { return pixels[Index(x, y, stride)]; }
};

}  // namespace corvalin::test_images

// Differential fuzzer of the engine: every input frame is rendered by the
// fast engine, by the plain engine (the definition of the output) and by the
// banded parallel scan of the fast engine with a random band height and
// thread count. All three must write the same
// bytes, key the input the same way and leave the guard zones around every
// world untouched.
//
// Frames are 1 to 300 pixels along one side, with row padding 0 to 4, either
// depth, any key and controls. Their pixels are palette indices or raw bytes
// from the input, or shapes (areas, one-pixel lines, stairs of any step
// length, dots, noise) drawn from a seed in the input with a palette that
// holds colours just inside and just outside the threshold of each other.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "guarded_world.h"
#include "engine/parallel/core_bands.h"
#include "engine/scan/scan_frame.h"

namespace {

using fuzzing::GuardedWorld;

// A pixel as its four channels, in memory order (alpha, red, green, blue).
struct Colour {
  uint32_t channel[4];
};

void StorePixel(uint8_t* at, const Colour& c, bool deep) {
  for (int i = 0; i < 4; ++i) {
    if (deep) {
      const uint16_t v = static_cast<uint16_t>(c.channel[i]);
      std::memcpy(at + 2 * i, &v, sizeof v);
    } else {
      at[i] = static_cast<uint8_t>(c.channel[i]);
    }
  }
}

// Colours from the input: opaque or not, full or empty channels, and
// variations of earlier colours by a few steps, so that pairs fall on both
// sides of the threshold.
std::vector<Colour> MakePalette(FuzzedDataProvider& in, bool deep) {
  const uint32_t max = deep ? 32768 : 255;
  const int count = in.ConsumeIntegralInRange<int>(2, 6);
  std::vector<Colour> palette;
  for (int n = 0; n < count; ++n) {
    Colour c{};
    const int kind = n == 0 ? 0 : in.ConsumeIntegralInRange<int>(0, 2);
    if (kind == 2) {
      c = palette[in.ConsumeIntegralInRange<size_t>(0, palette.size() - 1)];
      const int64_t reach = in.ConsumeBool() ? max / 64 + 1 : max / 8;
      for (uint32_t& v : c.channel) {
        const int64_t moved = int64_t{v} + in.ConsumeIntegralInRange<int64_t>(-reach, reach);
        v = static_cast<uint32_t>(std::clamp<int64_t>(moved, 0, max));
      }
    } else {
      for (uint32_t& v : c.channel) {
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
          case 0: v = 0; break;
          case 1: v = max; break;
          default:  // deep channels may exceed the channel maximum, as raw bytes can
            v = deep ? in.ConsumeIntegral<uint16_t>() % (in.ConsumeBool() ? 65536u : max + 1)
                     : in.ConsumeIntegral<uint8_t>();
        }
      }
      if (kind == 0 || in.ConsumeBool()) c.channel[0] = max;
    }
    palette.push_back(c);
  }
  return palette;
}

// Shapes from a seed: a background, then areas, one-pixel lines, stairs,
// dots and noise patches, clipped to the rows including their padding.
void DrawShapes(uint32_t seed, int32_t stride, int32_t height, int32_t colours,
                std::vector<uint8_t>& index) {
  std::minstd_rand random(seed);
  auto pick = [&random](int32_t lo, int32_t hi) {
    return lo + static_cast<int32_t>(random() % static_cast<uint32_t>(hi - lo + 1));
  };
  auto plot = [&](int32_t x, int32_t y, int32_t c) {
    if (x >= 0 && y >= 0 && x < stride && y < height)
      index[static_cast<size_t>(y) * static_cast<size_t>(stride) + static_cast<size_t>(x)] =
          static_cast<uint8_t>(c);
  };
  std::fill(index.begin(), index.end(), uint8_t{0});
  const int32_t shapes = pick(1, 14);
  for (int32_t s = 0; s < shapes; ++s) {
    const int32_t c = pick(0, colours - 1);
    const int32_t x0 = pick(-4, stride + 3), y0 = pick(-4, height + 3);
    switch (pick(0, 5)) {
      case 0: {
        const int32_t x1 = x0 + pick(1, stride), y1 = y0 + pick(1, height);
        for (int32_t y = y0; y < y1; ++y)
          for (int32_t x = x0; x < x1; ++x) plot(x, y, c);
        break;
      }
      case 1: {
        int32_t x = x0, y = y0;
        const int32_t x1 = pick(-4, stride + 3), y1 = pick(-4, height + 3);
        const int32_t dx = std::abs(x1 - x), dy = -std::abs(y1 - y);
        const int32_t sx = x < x1 ? 1 : -1, sy = y < y1 ? 1 : -1;
        for (int32_t err = dx + dy;;) {
          plot(x, y, c);
          if (x == x1 && y == y1) break;
          const int32_t e2 = 2 * err;
          if (e2 >= dy) err += dy, x += sx;
          if (e2 <= dx) err += dx, y += sy;
        }
        break;
      }
      case 2: {  // stairs: runs of 1 to 7 pixels, 1 to 3 thick, either way
        int32_t x = x0, y = y0, run = pick(1, 7);
        const int32_t thick = pick(1, 3), rise = pick(0, 1) ? 1 : -1;
        const bool vertical = pick(0, 1) == 1;
        for (int32_t k = 0; k < 400; ++k) {
          for (int32_t t = 0; t < thick; ++t) vertical ? plot(y + t, x, c) : plot(x, y + t, c);
          ++x;
          if (k % run == run - 1) y += rise;
          if (pick(0, 9) == 0) run = pick(1, 7);
        }
        break;
      }
      case 3:
        for (int32_t k = pick(1, 40); k > 0; --k) plot(pick(0, stride - 1), pick(0, height - 1), c);
        break;
      case 4: {
        const int32_t x1 = x0 + pick(1, 24), y1 = y0 + pick(1, 24);
        for (int32_t y = y0; y < y1; ++y)
          for (int32_t x = x0; x < x1; ++x)
            if (pick(0, 1)) plot(x, y, pick(0, colours - 1));
        break;
      }
      default: {  // an ellipse
        const int32_t rx = pick(1, 30), ry = pick(1, 30);
        for (int32_t y = y0 - ry; y <= y0 + ry; ++y)
          for (int32_t x = x0 - rx; x <= x0 + rx; ++x) {
            const int64_t u = x - x0, v = y - y0;
            if (u * u * ry * ry + v * v * rx * rx <= int64_t{rx} * rx * ry * ry) plot(x, y, c);
          }
      }
    }
  }
}

void Fail(const char* what, int32_t width, int32_t height, int32_t padding, bool deep) {
  std::fprintf(stderr, "%s (%dx%d, padding %d, %s)\n", what, width, height, padding,
               deep ? "16-bit" : "8-bit");
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  int32_t width, height;
  const auto between = [&](int32_t lo, int32_t hi) {
    return in.ConsumeIntegralInRange<int32_t>(lo, hi);
  };
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: width = between(1, 24), height = between(1, 24); break;
    case 1: width = between(1, 96), height = between(1, 96); break;
    case 2: width = between(100, 300), height = between(1, 12); break;
    default: width = between(1, 12), height = between(100, 300);
  }
  const int32_t padding = in.ConsumeIntegralInRange<int32_t>(0, 4);
  const bool deep = in.ConsumeBool();
  static const double kRanges[] = {0.0, 0.1, 0.5, 1.0, 2.0, 5.0, 10.0, 30.0, 100.0};
  corvalin::RenderSettings settings{};
  settings.useKey = in.ConsumeBool();
  settings.keyColour = PF_Pixel8{in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint8_t>(),
                                 in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint8_t>()};
  settings.smootherRange = in.ConsumeBool() ? in.PickValueInArray(kRanges)
                                            : in.ConsumeFloatingPointInRange<double>(0.0, 100.0);
  settings.lineWeight = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(0, 4) / 4.0
                                         : in.ConsumeFloatingPointInRange<double>(0.0, 1.0);
  corvalin::CoreBands cores(in.ConsumeIntegralInRange<int>(1, 4));
  const int32_t rowsPerBand = in.ConsumeIntegralInRange<int32_t>(0, std::min<int32_t>(height, 70));

  const size_t pixelSize = deep ? sizeof(PF_Pixel16) : sizeof(PF_Pixel8);
  const int32_t stride = width + padding;
  const size_t pixels = static_cast<size_t>(stride) * static_cast<size_t>(height);
  const std::vector<Colour> palette = MakePalette(in, deep);
  const int32_t colours = static_cast<int32_t>(palette.size());
  if (settings.useKey && in.ConsumeBool()) {  // key one of the colours
    const Colour& k = palette[in.ConsumeIntegralInRange<size_t>(0, palette.size() - 1)];
    settings.keyColour =
        PF_Pixel8{255, static_cast<uint8_t>(k.channel[1]), static_cast<uint8_t>(k.channel[2]),
                  static_cast<uint8_t>(k.channel[3])};
  }

  GuardedWorld input(width, height, padding, pixelSize, deep);
  const int mode = in.ConsumeIntegralInRange<int>(0, 2);
  if (mode == 0) {
    std::vector<uint8_t> index(pixels);
    DrawShapes(in.ConsumeIntegral<uint32_t>(), stride, height, colours, index);
    for (size_t p = 0; p < pixels; ++p)
      StorePixel(input.Pixels() + p * pixelSize, palette[index[p]], deep);
  } else if (mode == 1) {
    for (size_t p = 0; p < pixels; ++p)
      StorePixel(input.Pixels() + p * pixelSize,
                 palette[in.ConsumeIntegral<uint8_t>() % palette.size()], deep);
  } else {
    for (size_t b = 0; b < input.PixelBytes(); ++b)
      input.Pixels()[b] = in.ConsumeIntegral<uint8_t>();
  }

  // Three renders of the same input into outputs that start out the same.
  GuardedWorld fastIn = input, plainIn = input, bandedIn = input;
  GuardedWorld fastOut(width, height, padding, pixelSize, deep);
  for (size_t b = 0; b < fastOut.PixelBytes(); ++b)
    fastOut.Pixels()[b] = static_cast<uint8_t>(b * 7 + 3);
  GuardedWorld plainOut = fastOut, bandedOut = fastOut;
  for (GuardedWorld* w : {&fastIn, &plainIn, &bandedIn, &fastOut, &plainOut, &bandedOut})
    w->world.data = w->Pixels();

  // The copy step copies width pixels of every row, as the mini host's does.
  auto render = [&](corvalin::Engine engine, GuardedWorld& in, GuardedWorld& out) {
    auto copy = [&]() -> PF_Err {
      for (int32_t y = 0; y < height; ++y)
        std::memcpy(out.Pixels() + static_cast<size_t>(y) * static_cast<size_t>(out.world.rowbytes),
                    in.Pixels() + static_cast<size_t>(y) * static_cast<size_t>(in.world.rowbytes),
                    static_cast<size_t>(width) * pixelSize);
      return PF_Err_NONE;
    };
    if (deep)
      corvalin::ScanFrame(settings, &in.world, &out.world,
                          reinterpret_cast<PF_Pixel16*>(in.Pixels()),
                          reinterpret_cast<PF_Pixel16*>(out.Pixels()), copy, engine);
    else
      corvalin::ScanFrame(settings, &in.world, &out.world,
                          reinterpret_cast<PF_Pixel8*>(in.Pixels()),
                          reinterpret_cast<PF_Pixel8*>(out.Pixels()), copy, engine);
  };
  render(corvalin::Engine::fast, fastIn, fastOut);
  if (deep)
    corvalin::ScanFrameBanded(settings, &bandedIn.world, &bandedOut.world,
                              reinterpret_cast<PF_Pixel16*>(bandedIn.Pixels()),
                              reinterpret_cast<PF_Pixel16*>(bandedOut.Pixels()), cores,
                              corvalin::Engine::fast, rowsPerBand);
  else
    corvalin::ScanFrameBanded(settings, &bandedIn.world, &bandedOut.world,
                              reinterpret_cast<PF_Pixel8*>(bandedIn.Pixels()),
                              reinterpret_cast<PF_Pixel8*>(bandedOut.Pixels()), cores,
                              corvalin::Engine::fast, rowsPerBand);
  render(corvalin::Engine::plain, plainIn, plainOut);

  for (const GuardedWorld* w : {&fastIn, &plainIn, &bandedIn, &fastOut, &plainOut, &bandedOut})
    if (!w->GuardsIntact()) Fail("a render wrote outside a world", width, height, padding, deep);
  if (fastIn.bytes != plainIn.bytes || bandedIn.bytes != plainIn.bytes)
    Fail("the keyed inputs differ", width, height, padding, deep);
  if (fastOut.bytes != plainOut.bytes)
    Fail("the fast engine differs from the plain engine", width, height, padding, deep);
  if (bandedOut.bytes != plainOut.bytes)
    Fail("the banded scan differs from the plain engine", width, height, padding, deep);
  return 0;
}

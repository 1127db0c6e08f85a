// Frames for engine tests: input and output worlds with optional row padding,
// a host copy of width x height pixels, renders through ScanFrame, an
// EdgeContext placed on one pixel, test colours and a whole-frame check.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <vector>

#include "effect/controls.h"
#include "engine/parallel/banded_scan.h"
#include "engine/scan/engine_choice.h"
#include "engine/scan/scan_frame.h"
#if CORVALIN_FAST_ENGINE
#include "engine/fast/scan_rows_fast.h"
#endif
#include "tests/support/test_images.h"

// Comparison and printers (global, where lookup finds them for the host
// records) so that a failed pixel comparison shows the channels.
inline bool operator==(const PF_Pixel8& a, const PF_Pixel8& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}
inline bool operator==(const PF_Pixel16& a, const PF_Pixel16& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}
inline std::ostream& operator<<(std::ostream& os, const PF_Pixel8& p) {
  return os << "(" << int(p.alpha) << "," << int(p.red) << "," << int(p.green) << "," << int(p.blue)
            << ")";
}
inline std::ostream& operator<<(std::ostream& os, const PF_Pixel16& p) {
  return os << "(" << p.alpha << "," << p.red << "," << p.green << "," << p.blue << ")";
}

namespace corvalin::test {

using Depths = ::testing::Types<PF_Pixel8, PF_Pixel16>;

// The engines this build has: the plain one everywhere, the fast one on x86-64.
inline std::vector<Engine> BuiltEngines() {
  return CORVALIN_FAST_ENGINE ? std::vector<Engine>{Engine::plain, Engine::fast}
                              : std::vector<Engine>{Engine::plain};
}

inline const char* EngineName(Engine engine) { return engine == Engine::fast ? "fast" : "plain"; }

template <class Pixel>
PF_Err CopyWorld(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect*, PF_Rect*) {
  for (int32_t y = 0; y < src->height; ++y) {
    std::memcpy(
        static_cast<char*>(dst->data) + static_cast<size_t>(y) * static_cast<size_t>(dst->rowbytes),
        static_cast<const char*>(src->data) +
            static_cast<size_t>(y) * static_cast<size_t>(src->rowbytes),
        static_cast<size_t>(src->width) * sizeof(Pixel));
  }
  return PF_Err_NONE;
}

using CopyFn = PF_Err (*)(PF_ProgPtr, PF_EffectWorld*, PF_EffectWorld*, PF_Rect*, PF_Rect*);

// ScanFrame on the given worlds, copying with `copy` as the module copies
// with the host's callback.
template <class Pixel>
PF_Err RenderWorlds(const RenderSettings& settings, PF_EffectWorld* in, PF_EffectWorld* out,
                    Pixel* inPixels, Pixel* outPixels, CopyFn copy = &CopyWorld<Pixel>,
                    Engine engine = DefaultEngine()) {
  return ScanFrame(
      settings, in, out, inPixels, outPixels,
      [&] { return copy(nullptr, in, out, nullptr, nullptr); }, engine);
}

template <class Pixel>
struct TestFrame {
  int32_t width, height, stride;
  std::vector<Pixel> input, output;
  PF_EffectWorld inWorld{}, outWorld{};

  TestFrame(int32_t w, int32_t h, Pixel fill, int32_t padding = 0)
      : width(w), height(h), stride(w + padding),
        input(static_cast<size_t>(stride) * static_cast<size_t>(h), Pixel{}),
        output(static_cast<size_t>(stride) * static_cast<size_t>(h), Pixel{}) {
    Fill(0, 0, w, h, fill);
    SetUpWorlds();
  }

  Pixel& in(int32_t x, int32_t y) { return input[test_images::Index(x, y, stride)]; }
  const Pixel& out(int32_t x, int32_t y) const { return output[test_images::Index(x, y, stride)]; }

  void Fill(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Pixel p) {  // inclusive-exclusive
    canvas().FillRect(test_images::Rect{x0, y0, x1, y1}, p);
  }
  // Draws on the input.
  test_images::Canvas<Pixel> canvas() {
    return test_images::Canvas<Pixel>(input.data(), width, height, stride);
  }

  // By default with the effect's default settings.
  PF_Err Render(const RenderSettings& settings = DefaultRenderSettings(),
                CopyFn copy = &CopyWorld<Pixel>, Engine engine = DefaultEngine()) {
    return RenderWorlds(settings, &inWorld, &outWorld, input.data(), output.data(), copy, engine);
  }

  // An EdgeContext on pixel (x, y), as the driver sets it before a step, with
  // the output holding a copy of the input; of the plain steps unless another
  // kind is named.
  template <class Steps = PlainSteps>
  EdgeContext<Pixel, OutputWriter<Pixel>, Steps> ContextAt(int32_t x, int32_t y,
                                                           double smootherRange = 1.0,
                                                           double lineWeight = 0.0) {
    output = input;
    SetUpWorlds();
    RenderSettings settings{false, PF_Pixel8{}, smootherRange, lineWeight};
    auto ctx = MakeEdgeContext<Pixel, Steps>(&inWorld, &outWorld, input.data(),
                                             OutputWriter<Pixel>(output.data()), settings);
    ctx.x = x;
    ctx.y = y;
    ctx.sourceIndex = ctx.destinationIndex = y * stride + x;
    ctx.traceFlags = 0;
    return ctx;
  }

  // After copying a frame, point its worlds at its own pixels.
  void SetUpWorlds() {
    SetUpWorld(inWorld, input);
    SetUpWorld(outWorld, output);
  }

 private:
  void SetUpWorld(PF_EffectWorld& world, std::vector<Pixel>& pixels) {
    world.data = pixels.data();
    world.rowbytes = stride * static_cast<int32_t>(sizeof(Pixel));
    world.width = width;
    world.height = height;
    world.world_flags = sizeof(Pixel) == 8 ? PF_WorldFlag_DEEP : 0;
  }
};

// Calls check(ctx) with a context on (x, y) of each kind of steps this build
// has, each made afresh (so each starts from an output equal to the input).
template <class Pixel, class Check>
void ForEachStepKind(TestFrame<Pixel>& f, int32_t x, int32_t y, double smootherRange,
                     double lineWeight, const Check& check) {
  {
    SCOPED_TRACE("plain steps");
    check(f.template ContextAt<PlainSteps>(x, y, smootherRange, lineWeight));
  }
#if CORVALIN_FAST_ENGINE
  {
    SCOPED_TRACE("fast steps");
    check(f.template ContextAt<fast::FastSteps>(x, y, smootherRange, lineWeight));
  }
#endif
}

template <class Pixel>
Pixel Colour(uint32_t alpha, uint32_t red, uint32_t green, uint32_t blue) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  return Pixel{static_cast<Channel>(alpha), static_cast<Channel>(red), static_cast<Channel>(green),
               static_cast<Channel>(blue)};
}

// Opaque full red (ink) and opaque full blue (paper): a blend of the two
// reads back the integer weight in red and its complement in blue.
template <class Pixel>
Pixel Ink() {
  return Colour<Pixel>(ChannelMax<Pixel>(), ChannelMax<Pixel>(), 0, 0);
}
template <class Pixel>
Pixel Paper() {
  return Colour<Pixel>(ChannelMax<Pixel>(), 0, 0, ChannelMax<Pixel>());
}

// Shapes, lines and single pixels of the whole palette, so that every
// neighbour pattern occurs; many of them taller than a band of the
// parallel scans.
template <class Pixel>
void PaintTestImage(TestFrame<Pixel>& f, uint32_t seed) {
  test_images::Scene scene;
  scene.shapes = 16;
  scene.dotsPer1000 = 25;
  test_images::DrawScene(f.canvas(), seed, scene);
}

// Runs each stage's bands last to first on this thread, counting the stages
// and bands it was asked to run.
class ReversedRunner final : public BandRunner {
 public:
  void RunBands(int32_t count, BandFunction function, void* context) override {
    ++stages;
    bands += count;
    for (int32_t b = count - 1; b >= 0; --b) function(context, b);
  }
  int stages = 0;
  int32_t bands = 0;
};

// Ink mixed with paper at weight w on the ink, or paper with ink at w on paper.
template <class Pixel>
Pixel InkOverPaper(float w, bool paperFirst = false) {
  constexpr uint32_t M = ChannelMax<Pixel>();
  const uint32_t wA = static_cast<uint32_t>(static_cast<float>(M) * w);
  return paperFirst ? Colour<Pixel>(M, M - wA, 0, wA) : Colour<Pixel>(M, wA, 0, M - wA);
}

// Ink on paper, row y holding inkPerRow[y] pixels from the left edge.
template <class Pixel>
void InkFromLeft(TestFrame<Pixel>& f, const std::vector<int32_t>& inkPerRow) {
  for (int32_t y = 0; y < static_cast<int32_t>(inkPerRow.size()); ++y)
    f.Fill(0, y, inkPerRow[static_cast<size_t>(y)], y + 1, Ink<Pixel>());
}

// Opaque 16-bit colours whose red or blue channel shows a blend weight.
constexpr uint16_t M16 = 32768;
inline const PF_Pixel16 black16{M16, 0, 0, 0};
inline const PF_Pixel16 red16{M16, M16, 0, 0};
inline const PF_Pixel16 blue16{M16, 0, 0, M16};
inline const PF_Pixel8 black8{255, 0, 0, 0};
inline const PF_Pixel8 red8{255, 255, 0, 0};
inline PF_Pixel16 Mix16(uint16_t red, uint16_t blue = 0) { return PF_Pixel16{M16, red, 0, blue}; }
inline PF_Pixel8 Red8(uint8_t red) { return PF_Pixel8{255, red, 0, 0}; }

// The scan's NeighbourMask of pixel s (bit 0 right, 1 up, 2 down, 3 left
// differ), and whether the pixel after it opens a mirrored T-junction.
template <class Pixel>
uint32_t NeighbourMask(const Pixel* in, int32_t s, int32_t stride, uint32_t t) {
  return (PixelsDiffer(in[s], in[s + 1], t) ? 1u : 0u) |
         (PixelsDiffer(in[s], in[s - stride], t) ? 2u : 0u) |
         (PixelsDiffer(in[s], in[s + stride], t) ? 4u : 0u) |
         (PixelsDiffer(in[s], in[s - 1], t) ? 8u : 0u);
}
template <class Pixel>
bool LookAheadJunction(const Pixel* in, int32_t s, int32_t stride, uint32_t t) {
  const int32_t next = s + 1;
  return PixelsDiffer(in[next], in[next - stride], t) &&
         PixelsDiffer(in[next], in[next + stride], t) && !PixelsDiffer(in[next], in[next + 1], t);
}

// Expects the input everywhere in the output except at the pixels set.
template <class Pixel>
class Expected {
 public:
  explicit Expected(const TestFrame<Pixel>& f) : frame_(f), pixels_(f.input) {}

  Expected& Set(int32_t x, int32_t y, Pixel p) {
    pixels_[test_images::Index(x, y, frame_.stride)] = p;
    return *this;
  }

  // Reports the first few differing pixels of the output.
  void Check() const {
    int mismatches = 0;
    for (int32_t y = 0; y < frame_.height; ++y)
      for (int32_t x = 0; x < frame_.width; ++x) {
        const size_t i = test_images::Index(x, y, frame_.stride);
        if (!(frame_.output[i] == pixels_[i]) && ++mismatches <= 8)
          ADD_FAILURE() << "at (" << x << "," << y << "): " << frame_.output[i] << " expected "
                        << pixels_[i];
      }
  }

 private:
  const TestFrame<Pixel>& frame_;
  std::vector<Pixel> pixels_;
};

}  // namespace corvalin::test

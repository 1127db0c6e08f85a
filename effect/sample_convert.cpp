#include "effect/sample_convert.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "effect/pixel_convert.h"
#include "effect/sample_convert_sse2.h"
#include "engine/pixel/pixel_model.h"

namespace corvalin {

namespace {

// Integer conversions by table, filled from the definitions in
// pixel_convert.h, so every entry is the defined value: a lookup costs less
// than the 64-bit division it replaces. Each table is made on first use.
template <class Out, size_t N, class Definition>
const Out* MakeTable(Definition definition) {
  static const std::array<Out, N> table = [&] {
    std::array<Out, N> t{};
    for (size_t v = 0; v < N; ++v) t[v] = static_cast<Out>(definition(static_cast<uint32_t>(v)));
    return t;
  }();
  return table.data();
}

// A render channel index for a table of 0..32768: the module never leaves
// 32768, and a stray value is held there, as the definition clamps it.
inline uint32_t Held(uint32_t channel) { return std::min<uint32_t>(channel, PF_MAX_CHAN16); }

// FloatToChannel16 without branches: x = held v x 32768 is exact, and its
// integer part plus one where the fraction (exact too) is at least one half
// is lround's half-away-from-zero rounding of a non-negative x.
inline uint16_t FloatToChannel16Branchless(float v) {
  float held = v > 0.0f ? v : 0.0f;  // NaN fails the test: 0
  held = held < 1.0f ? held : 1.0f;
  const float x = held * static_cast<float>(PF_MAX_CHAN16);
  const int32_t whole = static_cast<int32_t>(x);
  const float fraction = x - static_cast<float>(whole);
  return static_cast<uint16_t>(whole + (fraction >= 0.5f ? 1 : 0));
}

// How samples of one type become channels of one render depth and back.
template <class Pixel, class Sample>
struct Converter;

template <>
struct Converter<PF_Pixel8, uint8_t> {
  static uint8_t In(uint8_t v) { return v; }
  static uint8_t Out(uint32_t v) { return static_cast<uint8_t>(v); }
};

template <>
struct Converter<PF_Pixel8, uint16_t> {
  const uint8_t* in = MakeTable<uint8_t, 65536>([](uint32_t v) { return FileToChannel8(v, 16); });
  uint8_t In(uint16_t v) const { return in[v]; }
  static uint16_t Out(uint32_t v) { return Channel8ToSample16(v); }
};

template <>
struct Converter<PF_Pixel16, uint8_t> {
  const uint16_t* in = MakeTable<uint16_t, 256>([](uint32_t v) { return FileToChannel16(v, 8); });
  const uint8_t* out =
      MakeTable<uint8_t, PF_MAX_CHAN16 + 1>([](uint32_t v) { return Channel16ToSample8(v); });
  uint16_t In(uint8_t v) const { return in[v]; }
  uint8_t Out(uint32_t v) const { return out[Held(v)]; }
};

template <>
struct Converter<PF_Pixel16, uint16_t> {
  const uint16_t* in =
      MakeTable<uint16_t, 65536>([](uint32_t v) { return FileToChannel16(v, 16); });
  const uint16_t* out =
      MakeTable<uint16_t, PF_MAX_CHAN16 + 1>([](uint32_t v) { return Channel16ToFile(v); });
  uint16_t In(uint16_t v) const { return in[v]; }
  uint16_t Out(uint32_t v) const { return out[Held(v)]; }
};

template <>
struct Converter<PF_Pixel16, float> {
  static uint16_t In(float v) { return FloatToChannel16Branchless(v); }
  static float Out(uint32_t v) { return Channel16ToFloat(v); }
};

template <class Sample>
constexpr bool kFloat = std::is_same_v<Sample, float>;

// Where one row's samples are: compile-time steps for packed layouts.
template <class Sample, int Channels, bool Packed>
struct Steps {
  std::ptrdiff_t pixel, sample;
  std::ptrdiff_t PixelStep() const {
    return Packed ? Channels * static_cast<std::ptrdiff_t>(sizeof(Sample)) : pixel;
  }
  std::ptrdiff_t SampleStep() const {
    return Packed ? static_cast<std::ptrdiff_t>(sizeof(Sample)) : sample;
  }
};

constexpr bool kVectorsCompiled = CORVALIN_SSE2_CONVERSIONS;

std::atomic<bool>& VectorSwitch() {
  static std::atomic<bool> on{kVectorsCompiled && std::getenv("CORVALIN_NOVECTOR") == nullptr};
  return on;
}

// The one place that chooses the vector path: how many pixels of the row it
// converted (0 where it does not apply), the scalar loop doing the rest.
template <class Pixel, class Sample, int Channels, bool Premultiplied, bool Packed>
int32_t LoadVector(const std::byte* s, Pixel* d, int32_t width) {
#if CORVALIN_SSE2_CONVERSIONS
  if constexpr (Channels == 4 && Packed) {
    if (VectorSwitch().load(std::memory_order_relaxed)) {
      if constexpr (std::is_same_v<Pixel, PF_Pixel8> && std::is_same_v<Sample, uint8_t>)
        return Premultiplied ? sse2::LoadRgba8Unpremultiplied(s, d, width)
                             : sse2::LoadRgba8(s, d, width);
      if constexpr (std::is_same_v<Pixel, PF_Pixel16> && std::is_same_v<Sample, uint16_t>)
        return Premultiplied ? sse2::LoadRgba16Unpremultiplied(s, d, width)
                             : sse2::LoadRgba16(s, d, width);
      if constexpr (std::is_same_v<Sample, float>)
        return Premultiplied ? sse2::LoadRgbaFloatUnpremultiplied(s, d, width)
                             : sse2::LoadRgbaFloat(s, d, width);
    }
  }
#endif
  (void)s, (void)d, (void)width;
  return 0;
}

template <class Pixel, class Sample, int Channels, bool Premultiplied, bool Packed>
int32_t StoreVector(const Pixel* f, std::byte* d, int32_t width) {
#if CORVALIN_SSE2_CONVERSIONS
  if constexpr (Channels == 4 && Packed) {
    if (VectorSwitch().load(std::memory_order_relaxed)) {
      if constexpr (std::is_same_v<Pixel, PF_Pixel8> && std::is_same_v<Sample, uint8_t>)
        return Premultiplied ? sse2::StoreRgba8Premultiplied(f, d, width)
                             : sse2::StoreRgba8(f, d, width);
      if constexpr (std::is_same_v<Pixel, PF_Pixel16> && std::is_same_v<Sample, uint16_t>)
        return Premultiplied ? sse2::StoreRgba16Premultiplied(f, d, width)
                             : sse2::StoreRgba16(f, d, width);
      if constexpr (std::is_same_v<Sample, float>)
        return Premultiplied ? sse2::StoreRgbaFloatPremultiplied(f, d, width)
                             : sse2::StoreRgbaFloat(f, d, width);
    }
  }
#endif
  (void)f, (void)d, (void)width;
  return 0;
}

template <class Pixel, class Sample, int Channels, bool Unpremultiply, bool Packed>
void LoadRow(const std::byte* s, Steps<Sample, Channels, Packed> steps, Pixel* d, int32_t width,
             const Converter<Pixel, Sample>& convert) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  constexpr bool hasAlpha = Channels == 2 || Channels == 4;
  constexpr Channel opaque = static_cast<Channel>(ChannelMax<Pixel>());
  const std::ptrdiff_t pixelStep = steps.PixelStep(), sampleStep = steps.SampleStep();
  const int32_t done = LoadVector<Pixel, Sample, Channels, Unpremultiply, Packed>(s, d, width);
  s += done * pixelStep;
  for (int32_t x = done; x < width; ++x, s += pixelStep) {
    Sample v[4];
    for (int c = 0; c < Channels; ++c) std::memcpy(&v[c], s + c * sampleStep, sizeof(Sample));
    if constexpr (Unpremultiply && hasAlpha && kFloat<Sample>) {
      if constexpr (Channels == 4) {
        UnpremultiplyFloat(v[0], v[1], v[2], v[3]);
      } else {
        float green = v[0], blue = v[0];
        UnpremultiplyFloat(v[0], green, blue, v[1]);
      }
    }
    Pixel p;
    if constexpr (Channels < 3) {
      p.red = p.green = p.blue = static_cast<Channel>(convert.In(v[0]));
      p.alpha = Channels == 2 ? static_cast<Channel>(convert.In(v[1])) : opaque;
    } else {
      p.red = static_cast<Channel>(convert.In(v[0]));
      p.green = static_cast<Channel>(convert.In(v[1]));
      p.blue = static_cast<Channel>(convert.In(v[2]));
      p.alpha = Channels == 4 ? static_cast<Channel>(convert.In(v[3])) : opaque;
    }
    if constexpr (Unpremultiply && hasAlpha && !kFloat<Sample>) p = UnpremultiplyPixel(p);
    d[x] = p;
  }
}

template <class Pixel, class Sample, int Channels, bool Premultiply, bool Packed>
void StoreRow(const Pixel* f, std::byte* d, Steps<Sample, Channels, Packed> steps, int32_t width,
              const Converter<Pixel, Sample>& convert) {
  const std::ptrdiff_t pixelStep = steps.PixelStep(), sampleStep = steps.SampleStep();
  const int32_t done = StoreVector<Pixel, Sample, Channels, Premultiply, Packed>(f, d, width);
  d += done * pixelStep;
  for (int32_t x = done; x < width; ++x, d += pixelStep) {
    Pixel p = f[x];
    if constexpr (Premultiply && !kFloat<Sample>) p = PremultiplyPixel(p);
    Sample v[4] = {convert.Out(p.red), convert.Out(p.green), convert.Out(p.blue),
                   convert.Out(p.alpha)};
    if constexpr (Premultiply && kFloat<Sample>) PremultiplyFloat(v[0], v[1], v[2], v[3]);
    for (int c = 0; c < Channels; ++c) std::memcpy(d + c * sampleStep, &v[c], sizeof(Sample));
  }
}

bool IsPacked(const SampleLayout& layout, std::ptrdiff_t sampleSize) {
  return layout.sampleBytes == sampleSize && layout.pixelBytes == layout.channels * sampleSize;
}

template <class Pixel, class Sample, int Channels, bool Premultiplied, bool Packed>
void LoadRows(const std::byte* samples, const SampleLayout& layout, Pixel* frame,
              std::ptrdiff_t frameStride, int32_t width, int32_t y0, int32_t y1) {
  const Converter<Pixel, Sample> convert;
  const Steps<Sample, Channels, Packed> steps{layout.pixelBytes, layout.sampleBytes};
  for (int32_t y = y0; y < y1; ++y)
    LoadRow<Pixel, Sample, Channels, Premultiplied, Packed>(
        samples + y * layout.rowBytes, steps, frame + y * frameStride, width, convert);
}

template <class Pixel, class Sample, int Channels, bool Premultiplied, bool Packed>
void StoreRows(const Pixel* frame, std::ptrdiff_t frameStride, std::byte* samples,
               const SampleLayout& layout, int32_t width, int32_t y0, int32_t y1) {
  const Converter<Pixel, Sample> convert;
  const Steps<Sample, Channels, Packed> steps{layout.pixelBytes, layout.sampleBytes};
  for (int32_t y = y0; y < y1; ++y)
    StoreRow<Pixel, Sample, Channels, Premultiplied, Packed>(
        frame + y * frameStride, samples + y * layout.rowBytes, steps, width, convert);
}

// Chooses the compiled loop for a layout: Run<Channels, Premultiplied,
// Packed>() of `body`.
template <int... Channels, class Body>
void Dispatch(const SampleLayout& layout, std::ptrdiff_t sampleSize, Body&& body) {
  const bool premultiplied = layout.alpha == AlphaConvention::premultiplied;
  const bool packed = IsPacked(layout, sampleSize);
  const auto choose = [&]<int C>() {
    if (premultiplied) {
      packed ? body.template operator()<C, true, true>()
             : body.template operator()<C, true, false>();
    } else {
      packed ? body.template operator()<C, false, true>()
             : body.template operator()<C, false, false>();
    }
  };
  ((layout.channels == Channels ? (choose.template operator()<Channels>(), 0) : 0), ...);
}

}  // namespace

void UseVectorConversions(bool on) { VectorSwitch().store(kVectorsCompiled && on); }
bool VectorConversionsOn() { return VectorSwitch().load(); }

template <class Pixel, class Sample>
void LoadSamples(const std::byte* samples, const SampleLayout& layout, Pixel* frame,
                 std::ptrdiff_t frameStride, int32_t width, int32_t y0, int32_t y1) {
  static_assert(!kFloat<Sample> || std::is_same_v<Pixel, PF_Pixel16>,
                "float samples render at 16 bits");
  Dispatch<1, 2, 3, 4>(layout, sizeof(Sample), [&]<int C, bool Premultiplied, bool Packed>() {
    LoadRows<Pixel, Sample, C, Premultiplied, Packed>(samples, layout, frame, frameStride, width,
                                                      y0, y1);
  });
}

template <class Pixel, class Sample>
void StoreSamples(const Pixel* frame, std::ptrdiff_t frameStride, std::byte* samples,
                  const SampleLayout& layout, int32_t width, int32_t y0, int32_t y1) {
  Dispatch<3, 4>(layout, sizeof(Sample), [&]<int C, bool Premultiplied, bool Packed>() {
    StoreRows<Pixel, Sample, C, Premultiplied, Packed>(frame, frameStride, samples, layout, width,
                                                       y0, y1);
  });
}

#define CORVALIN_DEFINE_SAMPLE_CONVERSIONS(Pixel, Sample)                                 \
  template void LoadSamples<Pixel, Sample>(const std::byte*, const SampleLayout&, Pixel*, \
                                           std::ptrdiff_t, int32_t, int32_t, int32_t);    \
  template void StoreSamples<Pixel, Sample>(const Pixel*, std::ptrdiff_t, std::byte*,     \
                                            const SampleLayout&, int32_t, int32_t, int32_t);
CORVALIN_SAMPLE_PAIRS(CORVALIN_DEFINE_SAMPLE_CONVERSIONS)
#undef CORVALIN_DEFINE_SAMPLE_CONVERSIONS

}  // namespace corvalin

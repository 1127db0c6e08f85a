// Callers' samples in and out of render frames: the one conversion that the
// command, the Python module, the OpenFX plug-in and the frei0r filter use.
//
// Contract:
// - Samples are uint8 (0..255), uint16 (0..65535) or float32 (nominally
//   0..1; float samples render at 16 bits only). A caller's pixel holds 1
//   (grey), 2 (grey, alpha), 3 (red, green, blue) or 4 (red, green, blue,
//   alpha) samples; render pixels are PF_Pixel8 or PF_Pixel16.
// - Every value is the one that effect/pixel_convert.h defines for it:
//   integers with the remainder dropped, floats held to 0..1 (NaN as 0) and
//   rounded once, half away from zero. Grey fills red, green and blue; a
//   pixel without alpha reads as opaque, and alpha is dropped when a pixel
//   stored has no room for it.
// - A premultiplied picture is unpremultiplied on load and premultiplied on
//   store by effect/associated_alpha.h: float samples before their conversion
//   to channels and after their conversion back, integer ones on render
//   pixels. Pixels without alpha have nothing to divide on load; on store
//   their colour is premultiplied all the same (it fades with the alpha that
//   is not stored).
// - Layouts are in bytes and signed, so a bottom-up image (an OpenFX one) is
//   read from its top row with a negative row step. Samples are read and
//   written byte-wise: nothing is assumed about their alignment.
// - Loading and storing may run in place when the caller's pixel and the
//   render pixel are the same size and lie at the same address: every pixel
//   is read before it is written.
//
// Packed layouts (samples one after another, pixels one after another) take
// loops compiled for their channel count, with tables for the integer
// conversions, so that a frame converts at about the speed of memory; other
// layouts take a general loop. Packed RGBA rows, straight or premultiplied,
// of 8-bit samples to 8-bit render pixels and of 16-bit and float samples to
// 16-bit ones take the SSE2 path of sample_convert_sse2.h where it is
// compiled in, unless the environment variable CORVALIN_NOVECTOR is set (to
// anything) when the process first converts, or UseVectorConversions(false)
// was called. Every path gives the same values.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "effect/associated_alpha.h"
#include "engine/parallel/band_schedule.h"
#include "engine/parallel/banded_scan.h"
#include "sdk/AE_Effect.h"

namespace corvalin {

// Where a caller's samples lie, in bytes from the first sample of the first
// row: rowBytes to the next row, pixelBytes to the next pixel, sampleBytes to
// the next sample of a pixel.
struct SampleLayout {
  int channels = 4;
  std::ptrdiff_t rowBytes = 0;
  std::ptrdiff_t pixelBytes = 0;
  std::ptrdiff_t sampleBytes = 0;
  AlphaConvention alpha = AlphaConvention::straight;
};

// The layout of rows of `width` pixels packed one after another, rowBytes
// apart.
template <class Sample>
constexpr SampleLayout PackedSamples(int channels, std::ptrdiff_t rowBytes,
                                     AlphaConvention alpha = AlphaConvention::straight) {
  return SampleLayout{channels, rowBytes, channels * static_cast<std::ptrdiff_t>(sizeof(Sample)),
                      static_cast<std::ptrdiff_t>(sizeof(Sample)), alpha};
}

// Whether the SSE2 path is taken, for every conversion of the process from
// now on (the tests run both). Off where it is not compiled in.
void UseVectorConversions(bool on);
bool VectorConversionsOn();

// Rows [y0, y1) of the caller's picture into rows [y0, y1) of a frame whose
// rows are frameStride pixels apart. `samples` is the first sample of row 0.
template <class Pixel, class Sample>
void LoadSamples(const std::byte* samples, const SampleLayout& layout, Pixel* frame,
                 std::ptrdiff_t frameStride, int32_t width, int32_t y0, int32_t y1);

// Rows [y0, y1) of a frame into the caller's picture; `channels` 3 or 4.
template <class Pixel, class Sample>
void StoreSamples(const Pixel* frame, std::ptrdiff_t frameStride, std::byte* samples,
                  const SampleLayout& layout, int32_t width, int32_t y0, int32_t y1);

// Rows of a frame in the bands the banded scan cuts it into (small enough to
// stay in a core's cache; one for a small frame): calls convert(y0, y1) for
// consecutive ranges covering [0, rows), on the runner's threads.
// `frameRowBytes` is the byte count of one row of the render frame.
template <class Convert>
void ConvertInBands(BandRunner& runner, int32_t rows, int64_t frameRowBytes,
                    const Convert& convert) {
  if (rows <= 0) return;
  const bands::Bands cut = bands::CutIntoBands(
      rows, static_cast<int32_t>(std::min<int64_t>(frameRowBytes, INT32_MAX)), 0);
  struct Context {
    const Convert& convert;
    int32_t rows;
    bands::Bands cut;
  } context{convert, rows, cut};
  runner.RunBands(
      cut.count,
      [](void* c, int32_t band) {
        const auto& [work, total, bandCut] = *static_cast<Context*>(c);
        work(bandCut.RowBegin(band), bandCut.RowEnd(band, total));
      },
      &context);
}

// A runner that runs every band on the calling thread, in order.
class SerialBands final : public BandRunner {
 public:
  void RunBands(int32_t count, BandFunction function, void* context) override {
    for (int32_t band = 0; band < count; ++band) function(context, band);
  }
};

// Every pair of render pixel and sample type that converts, for the explicit
// instantiations in sample_convert.cpp.
#define CORVALIN_SAMPLE_PAIRS(X) \
  X(PF_Pixel8, uint8_t)          \
  X(PF_Pixel8, uint16_t) X(PF_Pixel16, uint8_t) X(PF_Pixel16, uint16_t) X(PF_Pixel16, float)

#define CORVALIN_DECLARE_SAMPLE_CONVERSIONS(Pixel, Sample)                                       \
  extern template void LoadSamples<Pixel, Sample>(const std::byte*, const SampleLayout&, Pixel*, \
                                                  std::ptrdiff_t, int32_t, int32_t, int32_t);    \
  extern template void StoreSamples<Pixel, Sample>(                                              \
      const Pixel*, std::ptrdiff_t, std::byte*, const SampleLayout&, int32_t, int32_t, int32_t);
CORVALIN_SAMPLE_PAIRS(CORVALIN_DECLARE_SAMPLE_CONVERSIONS)
#undef CORVALIN_DECLARE_SAMPLE_CONVERSIONS

}  // namespace corvalin

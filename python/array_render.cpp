#include "python/array_render.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "effect/associated_alpha.h"
#include "effect/render_samples.h"
#include "effect/sample_convert.h"
#include "effect/working_frames.h"
#include "engine/parallel/core_bands.h"
#include "engine/view/frame_view.h"

namespace corvalin::python {

namespace {

// The array as the render sees it: any strides (slices, reversed or
// broadcast views), read through byte offsets so that no alignment is assumed.
struct ArrayView {
  const char* data;
  int32_t height, width, channels;
  Py_ssize_t rowStride, pixelStride, channelStride;
};

// A kept frame for one call (effect/working_frames.h: a 3840x2160 uint16
// render spent a third of its time on fresh pages), given back when the call
// ends however it ends.
class CallFrame {
 public:
  explicit CallFrame(size_t bytes) : frame_(WorkingFrames::Shared().Take(bytes)) {}
  ~CallFrame() { WorkingFrames::Shared().GiveBack(std::move(frame_)); }
  CallFrame(const CallFrame&) = delete;
  CallFrame& operator=(const CallFrame&) = delete;
  template <class Pixel>
  Pixel* pixels() {
    return reinterpret_cast<Pixel*>(frame_.bytes.get());
  }

 private:
  WorkingFrames::Frame frame_;
};

// Renders with the GIL released; `result` is a fresh C-contiguous array. The
// colour key rewrites the input frame, the module's own copy of the array,
// which is read and written back on the render's threads. Premultiplied
// colour is divided out and multiplied back as the command does it, for
// RGBA arrays (an RGB array is opaque and stays as it is).
template <class Sample, class Pixel>
void RenderInto(const ArrayView& a, const RenderSettings& settings, int threads, bool premultiplied,
                Sample* result) {
  py::gil_scoped_release release;
  const size_t bytes = static_cast<size_t>(a.width) * static_cast<size_t>(a.height) * sizeof(Pixel);
  // The input frame lives in the result's memory where a result pixel holds
  // a render pixel: the output frame is written back there only once the
  // render is done with the input. Neither frame is cleared: the load writes
  // every pixel of the input, the render every pixel of the output.
  const bool inputInResult = static_cast<size_t>(a.channels) * sizeof(Sample) >= sizeof(Pixel);
  CallFrame output(bytes);
  std::unique_ptr<CallFrame> ownInput;
  Pixel* input = reinterpret_cast<Pixel*>(result);
  if (!inputInResult) {
    ownInput = std::make_unique<CallFrame>(bytes);
    input = ownInput->pixels<Pixel>();
  }
  const AlphaConvention alpha =
      premultiplied && a.channels == 4 ? AlphaConvention::premultiplied : AlphaConvention::straight;
  const SampleLayout arrayLayout{a.channels, a.rowStride, a.pixelStride, a.channelStride, alpha};
  const auto resultRowBytes = static_cast<std::ptrdiff_t>(a.width) * a.channels *
                              static_cast<std::ptrdiff_t>(sizeof(Sample));
  const SampleLayout resultLayout = PackedSamples<Sample>(a.channels, resultRowBytes, alpha);
  CoreBands cores(threads);
  const std::string problem =
      RenderSamples<Pixel, Sample>(settings, reinterpret_cast<const std::byte*>(a.data),
                                   arrayLayout, reinterpret_cast<std::byte*>(result), resultLayout,
                                   a.width, a.height, input, output.pixels<Pixel>(), cores);
  // CheckedRenderCall let only frames through that the engine renders.
  if (!problem.empty()) throw std::logic_error("the checked frame was refused: " + problem);
}

template <class Sample>
py::array Render(const py::array& pixels, const RenderSettings& settings, int depth, int threads,
                 bool premultiplied) {
  const ArrayView a{static_cast<const char*>(pixels.data()),
                    static_cast<int32_t>(pixels.shape(0)),
                    static_cast<int32_t>(pixels.shape(1)),
                    static_cast<int32_t>(pixels.shape(2)),
                    pixels.strides(0),
                    pixels.strides(1),
                    pixels.strides(2)};
  py::array_t<Sample> result({pixels.shape(0), pixels.shape(1), pixels.shape(2)});
  Sample* out = result.mutable_data();
  if constexpr (std::is_floating_point_v<Sample>) {
    (void)depth;  // checked by the caller: floats render at 16 bits
    RenderInto<Sample, Pixel16>(a, settings, threads, premultiplied, out);
  } else if (depth == 16) {
    RenderInto<Sample, Pixel16>(a, settings, threads, premultiplied, out);
  } else {
    RenderInto<Sample, Pixel8>(a, settings, threads, premultiplied, out);
  }
  return result;
}

}  // namespace

py::array RenderArray(const RenderCall& call) {
  const auto& [pixels, type, settings, depth, threads, premultiplied] = call;
  switch (type) {
    case SampleType::uint8: return Render<uint8_t>(pixels, settings, depth, threads, premultiplied);
    case SampleType::uint16:
      return Render<uint16_t>(pixels, settings, depth, threads, premultiplied);
    case SampleType::float32: return Render<float>(pixels, settings, depth, threads, premultiplied);
    case SampleType::float16: {
      // Half floats widen to float32 exactly, and the result narrows back.
      const py::array wide = pixels.attr("astype")("float32");
      return py::array(
          Render<float>(wide, settings, depth, threads, premultiplied).attr("astype")("float16"));
    }
  }
  return py::none();
}

}  // namespace corvalin::python

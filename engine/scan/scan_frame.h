// The engine's entry for one render, once per pixel depth.
//
// ScanFrame applies the colour key and finds the processing rectangle, runs
// the copy step (which fills the output with the input), scans the rectangle
// and smooths every edge pattern it finds, then writes an opaque red marker at
// the rectangle's four corners unless settings.cornerMarkers is off. It
// returns the copy step's PF_Err. Input and output worlds must have equal
// width and height; rows may be padded. Either engine gives the same bytes;
// the fast one is the default where it is built.
#pragma once

#include <concepts>
#include <memory>
#include <type_traits>

#include "engine/pixel/pixel_destination.h"
#include "engine/rect/process_rect.h"
#include "engine/scan/edge_context.h"
#include "engine/scan/engine_choice.h"
#include "engine/scan/scan_settings.h"
#include "sdk/AE_Effect.h"

namespace corvalin {

// The copy of the input world into the output world, as the caller makes it
// (the module: the host's copy callback). It refers to a callable without
// owning it, so it is made where ScanFrame is called and not kept.
class CopyStep {
 public:
  template <class Copy>
  requires(!std::same_as<std::remove_cvref_t<Copy>, CopyStep> &&
           std::is_invocable_r_v<PF_Err, Copy&>)
      CopyStep(Copy&& copy)  // not explicit: a lambda is passed as it is
      : callable_(const_cast<void*>(static_cast<const void*>(std::addressof(copy)))),
        call_(&Call<std::remove_reference_t<Copy>>) {}

  PF_Err operator()() const { return call_(callable_); }

 private:
  template <class Copy>
  static PF_Err Call(void* callable) {
    return (*static_cast<Copy*>(callable))();
  }

  void* callable_;
  PF_Err (*call_)(void*);
};

template <class Pixel>
PF_Err ScanFrame(const RenderSettings& settings, PF_EffectWorld* input, PF_EffectWorld* output,
                 Pixel* inputPixels, Pixel* outputPixels, CopyStep copy,
                 Engine engine = DefaultEngine());

extern template PF_Err ScanFrame<PF_Pixel8>(const RenderSettings&, PF_EffectWorld*, PF_EffectWorld*,
                                            PF_Pixel8*, PF_Pixel8*, CopyStep, Engine);
extern template PF_Err ScanFrame<PF_Pixel16>(const RenderSettings&, PF_EffectWorld*,
                                             PF_EffectWorld*, PF_Pixel16*, PF_Pixel16*, CopyStep,
                                             Engine);

// Parts of the render that the stages share.

// Pulls the rectangle in so that every visited pixel has four neighbours.
void AdjustProcessRect(ProcessRect& rect, int32_t sourceStride, int32_t height);

template <class Pixel, class EngineSteps = PlainSteps, PixelDestination<Pixel> Destination>
EdgeContext<Pixel, Destination, EngineSteps> MakeEdgeContext(PF_EffectWorld* input,
                                                             PF_EffectWorld* output,
                                                             const Pixel* inputPixels,
                                                             Destination destination,
                                                             const RenderSettings& settings) {
  return EdgeContext<Pixel, Destination, EngineSteps>{
      .sourceWorld = input,
      .sourcePixels = inputPixels,
      .destination = destination,
      .destinationHeight = output->height,
      .sourceStride = input->rowbytes / static_cast<int32_t>(sizeof(Pixel)),
      .destinationStride = output->rowbytes / static_cast<int32_t>(sizeof(Pixel)),
      .threshold = EdgeThreshold<Pixel>(settings.smootherRange),
      .weightFactor = LineWeightFactor(settings.lineWeight),
  };
}

// Marker pixels that would fall outside the output buffer (images less than
// two pixels wide or high) are skipped.
template <class Pixel>
void WriteCornerMarkers(OutputWriter<Pixel> output, int32_t destinationStride, int32_t height,
                        const ProcessRect& rect) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  constexpr Channel M = static_cast<Channel>(ChannelMax<Pixel>());
  const Pixel marker{M, M, 0, 0};
  const int32_t corners[4][2] = {{rect.left, rect.top},
                                 {rect.left, rect.bottom},
                                 {rect.right, rect.top},
                                 {rect.right, rect.bottom}};
  for (const auto& corner : corners) {
    const int32_t x = corner[0], y = corner[1];
    if (x < 0 || x >= destinationStride || y < 0 || y >= height) continue;
    output.Write(y * destinationStride + x, marker);
  }
}

}  // namespace corvalin

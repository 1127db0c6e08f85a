#include "engine/scan/scan_frame.h"

#include "engine/scan/scan_rows.h"

namespace corvalin {

void AdjustProcessRect(ProcessRect& rect, int32_t sourceStride, int32_t height) {
  if (rect.top == 0) rect.top = 1;
  if (rect.left == 0) rect.left = 1;
  if (rect.right == sourceStride) rect.right = rect.right - 1;
  if (rect.bottom == height) rect.bottom = rect.bottom - 1;
}

template <class Pixel>
EdgeContext<Pixel> MakeEdgeContext(PF_EffectWorld* input, PF_EffectWorld* output,
                                   const Pixel* inputPixels, Pixel* outputPixels,
                                   const RenderSettings& settings) {
  EdgeContext<Pixel> ctx{};
  ctx.sourceWorld = input;
  ctx.destinationWorld = output;
  ctx.sourcePixels = inputPixels;
  ctx.destinationPixels = outputPixels;
  ctx.threshold = EdgeThreshold<Pixel>(settings.smootherRange);
  ctx.weightFactor = LineWeightFactor(settings.lineWeight);
  return ctx;
}

template <class Pixel>
void WriteCornerMarkers(Pixel* outputPixels, int32_t destinationStride, int32_t height,
                        const ProcessRect& rect) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  constexpr Channel M = static_cast<Channel>(ChannelMax<Pixel>());
  const Pixel marker{M, M, 0, 0};
  const int32_t corners[4][2] = {
      {rect.left, rect.top}, {rect.left, rect.bottom}, {rect.right, rect.top}, {rect.right, rect.bottom}};
  for (const auto& corner : corners) {
    const int32_t x = corner[0], y = corner[1];
    if (x < 0 || x >= destinationStride || y < 0 || y >= height) continue;
    outputPixels[y * destinationStride + x] = marker;
  }
}

template <class Pixel>
PF_Err ScanFrame(PF_InData* in_data, const RenderSettings& settings,
                 PF_EffectWorld* input, PF_EffectWorld* output, Pixel* inputPixels,
                 Pixel* outputPixels) {
  ProcessRect rect;
  // The key rewrites input pixels, so it runs before the copy.
  FindProcessRect(inputPixels, input->rowbytes, input->height, rect, settings.useKey,
                  settings.keyColour);
  const PF_Err result =
      in_data->utils->copy(in_data->effect_ref, input, output, nullptr, nullptr);

  EdgeContext<Pixel> ctx = MakeEdgeContext(input, output, inputPixels, outputPixels, settings);
  AdjustProcessRect(rect, SourceStride(ctx), input->height);
  ScanRows(ctx, rect, rect.top, rect.bottom);
  WriteCornerMarkers(outputPixels, DestinationStride(ctx), output->height, rect);
  return result;
}

#define CORVALIN_INSTANTIATE(Pixel)                                                           \
  template PF_Err ScanFrame<Pixel>(PF_InData*, const RenderSettings&, PF_EffectWorld*,        \
                                   PF_EffectWorld*, Pixel*, Pixel*);                          \
  template EdgeContext<Pixel> MakeEdgeContext<Pixel>(PF_EffectWorld*, PF_EffectWorld*,       \
                                                     const Pixel*, Pixel*,                   \
                                                     const RenderSettings&);                 \
  template void WriteCornerMarkers<Pixel>(Pixel*, int32_t, int32_t, const ProcessRect&);

CORVALIN_INSTANTIATE(PF_Pixel8)
CORVALIN_INSTANTIATE(PF_Pixel16)

}  // namespace corvalin

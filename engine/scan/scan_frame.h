// The engine's entry for one render, once per pixel depth.
//
// ScanFrame applies the colour key and finds the processing rectangle, has the
// host copy the input into the output, scans the rectangle and smooths every
// edge pattern it finds, then writes an opaque red marker at the rectangle's
// four corners. It returns the PF_Err of the host's copy. Input and output
// worlds must have equal width and height; rows may be padded.
#pragma once

#include "engine/rect/process_rect.h"
#include "engine/scan/edge_context.h"
#include "engine/scan/scan_settings.h"
#include "sdk/AE_Effect.h"

namespace corvalin {

template <class Pixel>
PF_Err ScanFrame(PF_InData* in_data, const RenderSettings& settings, PF_EffectWorld* input, PF_EffectWorld* output, Pixel* inputPixels,
                 Pixel* outputPixels);

extern template PF_Err ScanFrame<PF_Pixel8>(PF_InData*, const RenderSettings&,
                                            PF_EffectWorld*, PF_EffectWorld*, PF_Pixel8*,
                                            PF_Pixel8*);
extern template PF_Err ScanFrame<PF_Pixel16>(PF_InData*, const RenderSettings&,
                                             PF_EffectWorld*, PF_EffectWorld*, PF_Pixel16*,
                                             PF_Pixel16*);

// The steps of ScanFrame, for drivers that schedule the scan differently.

// Pulls the rectangle in so that every visited pixel has four neighbours.
void AdjustProcessRect(ProcessRect& rect, int32_t sourceStride, int32_t height);

template <class Pixel>
EdgeContext<Pixel> MakeEdgeContext(PF_EffectWorld* input, PF_EffectWorld* output,
                                   const Pixel* inputPixels, Pixel* outputPixels,
                                   const RenderSettings& settings);

// Marker pixels that would fall outside the output buffer (images less than
// two pixels wide or high) are skipped.
template <class Pixel>
void WriteCornerMarkers(Pixel* outputPixels, int32_t destinationStride, int32_t height,
                        const ProcessRect& rect);

}  // namespace corvalin

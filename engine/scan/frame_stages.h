// The stages of one render in their order, written once for every way of
// scheduling the scan (the serial ScanFrame, the banded ScanFrameBanded).
//
// A schedule cuts the frame into parts of whole rows and may run them at
// once. It provides
//   ProcessRect FindRect(const RenderSettings&)
//       keys the input and returns the processing rectangle (not adjusted);
//   PF_Err ForEachPart(body)
//       calls body(part) for every part and returns the first PF_Err that a
//       body returned, or PF_Err_NONE;
//   void SettleCrossPartWrites()
//       applies what parts wrote into other parts' rows, in the order of a
//       whole-frame scan;
// and a part provides rowBegin and rowEnd, PF_Err CopyRows() (fills its
// output rows from the input) and Destination() (where its steps write).
#pragma once

#include <algorithm>

#include "engine/scan/engine_choice.h"
#include "engine/scan/scan_frame.h"
#include "engine/scan/scan_rows.h"
#if CORVALIN_FAST_ENGINE
#include "engine/fast/scan_rows_fast.h"
#endif

namespace corvalin {

template <class Pixel>
struct FrameWorlds {
  PF_EffectWorld* input;
  PF_EffectWorld* output;
  Pixel* inputPixels;
  Pixel* outputPixels;
};

// The one place where the engine is chosen: the context's engine tag
// (PlainSteps or fast::FastSteps) picks the plain row scan or the fast one,
// and with it every step's variants.
template <class Pixel, class Destination>
void ScanPart(Engine engine, const RenderSettings& settings, const FrameWorlds<Pixel>& frame,
              Destination destination, const ProcessRect& rect, int32_t rowBegin, int32_t rowEnd) {
#if CORVALIN_FAST_ENGINE
  if (engine == Engine::fast) {
    auto ctx = MakeEdgeContext<Pixel, fast::FastSteps>(frame.input, frame.output, frame.inputPixels,
                                                       destination, settings);
    ScanRows(ctx, rect, rowBegin, rowEnd);
    return;
  }
#endif
  (void)engine;
  auto ctx = MakeEdgeContext<Pixel, PlainSteps>(frame.input, frame.output, frame.inputPixels,
                                                destination, settings);
  ScanRows(ctx, rect, rowBegin, rowEnd);
}

template <class Pixel, class Schedule>
PF_Err RunFrameStages(const RenderSettings& settings, const FrameWorlds<Pixel>& frame,
                      Schedule& schedule, Engine engine) {
  // The key rewrites input pixels, so it runs before anything is copied.
  ProcessRect rect = schedule.FindRect(settings);
  const int32_t pixelSize = static_cast<int32_t>(sizeof(Pixel));
  AdjustProcessRect(rect, frame.input->rowbytes / pixelSize, frame.input->height);

  // A part's steps write after its own copy; no part writes another's rows
  // directly, so no copy can overwrite a step's result.
  const PF_Err copyResult = schedule.ForEachPart([&](auto& part) {
    const PF_Err copied = part.CopyRows();
    const int32_t scanBegin = std::max(rect.top, part.rowBegin);
    const int32_t scanEnd = std::min(rect.bottom, part.rowEnd);
    if (scanBegin < scanEnd)
      ScanPart(engine, settings, frame, part.Destination(), rect, scanBegin, scanEnd);
    return copied;
  });
  schedule.SettleCrossPartWrites();

  if (settings.cornerMarkers)
    WriteCornerMarkers(OutputWriter<Pixel>(frame.outputPixels), frame.output->rowbytes / pixelSize,
                       frame.output->height, rect);
  return copyResult;
}

}  // namespace corvalin

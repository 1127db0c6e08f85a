// The stages of one render in their order, written once for every way of
// scheduling the scan (the serial ScanFrame, the banded ScanFrameBanded). A
// schedule cuts the frame into parts of whole rows and may run them at once;
// FrameSchedule is what it provides.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstdint>

#include "engine/pixel/pixel_destination.h"
#include "engine/rect/process_rect.h"
#include "engine/scan/engine_choice.h"
#include "engine/scan/scan_frame.h"
#include "engine/scan/scan_rows.h"
#include "engine/scan/scan_settings.h"
#include "sdk/AE_Effect.h"
#if CORVALIN_FAST_ENGINE
#include "engine/fast/replaced_steps.h"
#endif

namespace corvalin {

template <class Pixel>
struct FrameWorlds {
  PF_EffectWorld* input;
  PF_EffectWorld* output;
  Pixel* inputPixels;
  Pixel* outputPixels;
};

// One part of a schedule: its rows rowBegin <= y < rowEnd, CopyRows() fills
// its output rows from the input, and Destination() is where its steps write.
template <class Part, class Pixel>
concept FramePart = requires(const Part& part) {
  { part.rowBegin } -> std::convertible_to<int32_t>;
  { part.rowEnd } -> std::convertible_to<int32_t>;
  { part.CopyRows() } -> std::same_as<PF_Err>;
  { part.Destination() } -> PixelDestination<Pixel>;
};

// A schedule of a render:
//   FindRect keys the input and returns the processing rectangle (not
//       adjusted);
//   ForEachPart calls body(part) for every part, perhaps at once, and returns
//       the first PF_Err that a body returned, or PF_Err_NONE;
//   SettleCrossPartWrites applies what parts wrote into other parts' rows, in
//       the order of a whole-frame scan.
template <class Schedule, class Pixel>
concept FrameSchedule = FramePart<typename Schedule::Part, Pixel> &&
    requires(Schedule& schedule, const RenderSettings& settings,
             PF_Err (&body)(typename Schedule::Part&)) {
  { schedule.FindRect(settings) } -> std::same_as<ProcessRect>;
  { schedule.ForEachPart(body) } -> std::same_as<PF_Err>;
  schedule.SettleCrossPartWrites();
};

// The one place where the engine is chosen: the context's engine tag
// (PlainSteps or fast::FastSteps) picks the plain row scan or the fast one,
// and with it every step's fast forms (engine/fast/replaced_steps.h lists
// them and checks, for each fast context made here, that they are chosen).
template <class Pixel, class Destination>
void ScanPart(Engine engine, const RenderSettings& settings, const FrameWorlds<Pixel>& frame,
              Destination destination, const ProcessRect& rect, int32_t rowBegin, int32_t rowEnd) {
  // A build without the fast engine renders every part with the plain one.
  if (!CORVALIN_FAST_ENGINE || engine == Engine::plain) {
    auto ctx = MakeEdgeContext<Pixel, PlainSteps>(frame.input, frame.output, frame.inputPixels,
                                                  destination, settings);
    ScanRows(ctx, rect, rowBegin, rowEnd);
    return;
  }
#if CORVALIN_FAST_ENGINE
  static_assert(fast::CheckReplacedSteps<Pixel, Destination>());
  auto ctx = MakeEdgeContext<Pixel, fast::FastSteps>(frame.input, frame.output, frame.inputPixels,
                                                     destination, settings);
  // The vector path, chosen once per process, changes how rows are compared
  // in bulk; the steps are the same on either.
  if (fast::DefaultVectorPath() == fast::VectorPath::avx2)
    fast::ScanRows<fast::VectorPath::avx2>(ctx, rect, rowBegin, rowEnd);
  else
    fast::ScanRows<fast::VectorPath::sse2>(ctx, rect, rowBegin, rowEnd);
#endif
}

template <class Pixel, FrameSchedule<Pixel> Schedule>
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

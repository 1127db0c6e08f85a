#include "engine/scan/scan_frame.h"

#include "engine/scan/frame_stages.h"

namespace corvalin {

void AdjustProcessRect(ProcessRect& rect, int32_t sourceStride, int32_t height) {
  if (rect.top == 0) rect.top = 1;
  if (rect.left == 0) rect.left = 1;
  if (rect.right == sourceStride) rect.right = rect.right - 1;
  if (rect.bottom == height) rect.bottom = rect.bottom - 1;
}

namespace {

// The serial schedule: the whole frame is one part, copied by the caller's
// copy step and then scanned with the output as destination.
template <class Pixel>
class WholeFrame {
 public:
  WholeFrame(const FrameWorlds<Pixel>& frame, CopyStep copy) : frame_(frame), copy_(copy) {}

  ProcessRect FindRect(const RenderSettings& settings) const {
    ProcessRect rect;
    FindProcessRect(frame_.inputPixels, frame_.input->rowbytes, frame_.input->height, rect,
                    settings.useKey, settings.keyColour);
    return rect;
  }

  struct Part {
    int32_t rowBegin;
    int32_t rowEnd;
    CopyStep copy;
    Pixel* outputPixels;

    PF_Err CopyRows() const { return copy(); }
    OutputWriter<Pixel> Destination() const { return OutputWriter<Pixel>(outputPixels); }
  };

  template <class Body>
  PF_Err ForEachPart(const Body& body) const {
    Part whole{0, frame_.input->height, copy_, frame_.outputPixels};
    return body(whole);
  }

  void SettleCrossPartWrites() const {}

 private:
  FrameWorlds<Pixel> frame_;
  CopyStep copy_;
};

}  // namespace

template <class Pixel>
PF_Err ScanFrame(const RenderSettings& settings, PF_EffectWorld* input, PF_EffectWorld* output,
                 Pixel* inputPixels, Pixel* outputPixels, CopyStep copy, Engine engine) {
  const FrameWorlds<Pixel> frame{input, output, inputPixels, outputPixels};
  WholeFrame<Pixel> schedule(frame, copy);
  return RunFrameStages(settings, frame, schedule, engine);
}

template PF_Err ScanFrame<PF_Pixel8>(const RenderSettings&, PF_EffectWorld*, PF_EffectWorld*,
                                     PF_Pixel8*, PF_Pixel8*, CopyStep, Engine);
template PF_Err ScanFrame<PF_Pixel16>(const RenderSettings&, PF_EffectWorld*, PF_EffectWorld*,
                                      PF_Pixel16*, PF_Pixel16*, CopyStep, Engine);

}  // namespace corvalin

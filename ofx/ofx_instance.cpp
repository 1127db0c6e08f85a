// The actions on an effect instance: clip preferences, regions of interest
// and the render. Nothing outlives an action: parameter and clip handles,
// images and working frames are fetched, used and released within it, so
// any number of renders may run at once.
#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "effect/associated_alpha.h"
#include "effect/controls.h"
#include "effect/corner_markers.h"
#include "effect/pixel_convert.h"
#include "effect/working_frames.h"
#include "engine/view/render_view.h"
#include "ofx/ofx_actions.h"
#include "ofx/ofx_frame.h"
#include "ofx/ofx_threads.h"

namespace corvalin::ofx {

namespace {

Failure Ok() { return {kOfxStatOK, {}}; }

Failure GetClip(const HostSuites& suites, OfxImageEffectHandle instance, const char* name,
                OfxImageClipHandle* clip, OfxPropertySetHandle* props = nullptr) {
  *clip = nullptr;
  if (suites.imageEffect->clipGetHandle(instance, name, clip, props) != kOfxStatOK ||
      *clip == nullptr || (props != nullptr && *props == nullptr))
    return {kOfxStatFailed, std::string("the host has no ") + name + " clip"};
  return Ok();
}

// ---- Premultiplication -----------------------------------------------------

// How the effect treats a Source of some premultiplication: the convention
// it reads the Source in and the one it writes (and declares for) the
// Output. The render works on straight colour, so a premultiplied Source is
// unpremultiplied first. The Output is premultiplied unless the Source is
// straight: an opaque Source has nothing to unpremultiply, but the colour key
// can make its pixels transparent, so its Output cannot be declared opaque.
// A Source whose state is not given reads as straight and renders as it is.
struct AlphaHandling {
  AlphaConvention source = AlphaConvention::straight;
  AlphaConvention output = AlphaConvention::straight;
};

// False for a state that is none of the three the standard names.
bool HandlingFor(const std::string& sourceState, AlphaHandling* handling) {
  if (sourceState == kOfxImagePreMultiplied) {
    *handling = {AlphaConvention::premultiplied, AlphaConvention::premultiplied};
  } else if (sourceState == kOfxImageOpaque) {
    *handling = {AlphaConvention::straight, AlphaConvention::premultiplied};
  } else if (sourceState == kOfxImageUnPreMultiplied || sourceState.empty()) {
    *handling = {AlphaConvention::straight, AlphaConvention::straight};
  } else {
    *handling = {};
    return false;
  }
  return true;
}

const char* StateOf(AlphaConvention output) {
  return output == AlphaConvention::premultiplied ? kOfxImagePreMultiplied
                                                  : kOfxImageUnPreMultiplied;
}

// The premultiplication a property set states, or "" when it states none.
std::string PremultiplicationOf(const HostSuites& suites, OfxPropertySetHandle props) {
  std::string state;
  if (props == nullptr ||
      Properties(*suites.property, props).GetString(kOfxImageEffectPropPreMultiplication, &state) !=
          kOfxStatOK)
    return {};
  return state;
}

// ---- Parameters ------------------------------------------------------------

// Every parameter the plug-in defines: the controls, then the corner markers.
constexpr std::array<const ControlSpec*, kControlCount + 1> kParams = [] {
  std::array<const ControlSpec*, kControlCount + 1> all{};
  for (size_t i = 0; i < std::size(kControls); ++i) all[i] = &kControls[i];
  all[std::size(kControls)] = &kCornerMarkers;
  return all;
}();

// Values pass as the host holds them: the engine itself bounds the
// smoother range and the line weight, as it does for the other adapters.
// An instance without the corner markers' switch (made by a host from an
// earlier description) renders with them, as every render did before.
Failure ReadSettings(const HostSuites& suites, OfxImageEffectHandle instance, OfxTime time,
                     RenderSettings* settings) {
  OfxParamSetHandle paramSet = nullptr;
  if (suites.imageEffect->getParamSet(instance, &paramSet) != kOfxStatOK || paramSet == nullptr)
    return {kOfxStatFailed, "the host has no parameter set for the effect"};
  for (const ControlSpec* each : kParams) {
    const ControlSpec& control = *each;
    OfxParamHandle param = nullptr;
    OfxStatus status =
        suites.parameter->paramGetHandle(paramSet, control.scriptName, &param, nullptr);
    if (status == kOfxStatOK && param == nullptr) status = kOfxStatFailed;
    if (status != kOfxStatOK && &control == &kCornerMarkers) {
      settings->cornerMarkers = true;
      continue;
    }
    if (status == kOfxStatOK) {
      // Variadic: exactly int for booleans, double for the rest.
      switch (control.type) {
        case ControlType::checkbox: {
          int on = 0;
          status = suites.parameter->paramGetValueAtTime(param, time, &on);
          settings->*control.flagField = on != 0;
          break;
        }
        case ControlType::colour: {
          double r = 0, g = 0, b = 0;
          status = suites.parameter->paramGetValueAtTime(param, time, &r, &g, &b);
          settings->*control.colourField =
              Pixel8{control.defaultColour.alpha, ColourComponentToByte(r),
                     ColourComponentToByte(g), ColourComponentToByte(b)};
          break;
        }
        case ControlType::floatSlider: {
          double v = 0;
          status = suites.parameter->paramGetValueAtTime(param, time, &v);
          settings->*control.numberField = v;
          break;
        }
      }
    }
    if (status != kOfxStatOK)
      return {kOfxStatFailed,
              std::string("the host gave no value for the parameter ") + control.scriptName};
  }
  return Ok();
}

// ---- Images ----------------------------------------------------------------

// An image fetched from a clip, released when the action ends whatever path
// it takes.
class ClipImage {
 public:
  explicit ClipImage(const HostSuites& suites) : suites_(suites) {}
  ~ClipImage() {
    if (handle_ != nullptr) suites_.imageEffect->clipReleaseImage(handle_);
  }
  ClipImage(const ClipImage&) = delete;
  ClipImage& operator=(const ClipImage&) = delete;

  Failure Fetch(OfxImageClipHandle clip, OfxTime time, const char* clipName) {
    if (suites_.imageEffect->clipGetImage(clip, time, nullptr, &handle_) != kOfxStatOK ||
        handle_ == nullptr) {
      handle_ = nullptr;
      return {kOfxStatFailed, std::string("the host gave no ") + clipName + " image"};
    }
    return Describe(clipName);
  }

  const ImageView& view() const { return view_; }
  // The image's premultiplication, or "" when it states none.
  const std::string& premultiplication() const { return premultiplication_; }

  // Whether the bounds and row bytes address the pixels: known only once
  // the depth and components are.
  Failure CheckLayout(const char* clipName) const {
    if (const std::string problem = LayoutProblem(view_); !problem.empty())
      return {kOfxStatFailed, std::string("the ") + clipName + " image: " + problem};
    return Ok();
  }

 private:
  Failure Describe(const char* clipName) {
    const Properties props(*suites_.property, handle_);
    const std::string what = std::string("the ") + clipName + " image";
    std::string depth, components;
    void* data = nullptr;
    int bounds[4] = {};
    if (props.GetString(kOfxImageEffectPropPixelDepth, &depth) != kOfxStatOK ||
        props.GetString(kOfxImageEffectPropComponents, &components) != kOfxStatOK ||
        props.GetPointer(kOfxImagePropData, &data) != kOfxStatOK ||
        props.GetInts(kOfxImagePropBounds, 4, bounds) != kOfxStatOK ||
        props.GetInt(kOfxImagePropRowBytes, &view_.rowBytes) != kOfxStatOK)
      return {kOfxStatFailed, what + " lacks its depth, components, data, bounds or row bytes"};

    if (depth == kOfxBitDepthByte)
      view_.depth = Depth::byte;
    else if (depth == kOfxBitDepthShort)
      view_.depth = Depth::short16;
    else if (depth == kOfxBitDepthFloat)
      view_.depth = Depth::float32;
    else
      return {kOfxStatErrUnsupported,
              what + " has pixel depth '" + depth + "'; the effect renders byte, short and float"};
    if (components == kOfxImageComponentRGBA)
      view_.components = Components::rgba;
    else if (components == kOfxImageComponentRGB)
      view_.components = Components::rgb;
    else
      return {kOfxStatErrUnsupported,
              what + " has components '" + components + "'; the effect renders RGBA and RGB"};

    view_.data = static_cast<unsigned char*>(data);
    view_.bounds = OfxRectI{bounds[0], bounds[1], bounds[2], bounds[3]};
    premultiplication_ = PremultiplicationOf(suites_, handle_);
    return Ok();
  }

  const HostSuites& suites_;
  OfxPropertySetHandle handle_ = nullptr;
  ImageView view_;
  std::string premultiplication_;
};

// ---- The render ------------------------------------------------------------

template <Depth D>
Failure RenderDepth(const RenderSettings& settings, const OfxMultiThreadSuiteV1* threadSuite,
                    const ImageView& source, const ImageView& output, const OfxRectI& window,
                    AlphaHandling alpha) {
  using Pixel = PixelOf<D>;
  const OfxRectI& bounds = source.bounds;
  HostThreads threads(threadSuite);
  // Working frames of an earlier render where one is kept, else fresh ones;
  // neither is cleared: the conversion writes every pixel of the input, the
  // render every pixel of its output.
  struct Frames {
    WorkingFrames::Frame input, rendered;
    ~Frames() {
      WorkingFrames::Shared().GiveBack(std::move(input));
      WorkingFrames::Shared().GiveBack(std::move(rendered));
    }
  } frames;
  Pixel* input = nullptr;
  Pixel* rendered = nullptr;
  if (!IsEmpty(bounds)) {
    // The working frames are the engine's, packed: checked before they are
    // sized, so that no size can wrap.
    const int64_t width = Width(bounds), height = Height(bounds);
    if (const std::string problem = PackedFrameProblem(width, height, kDepthOf<Pixel>);
        !problem.empty())
      return {kOfxStatErrUnsupported, "the Source image is too large for the effect: " + problem};
    const size_t bytes = static_cast<size_t>(width * height) * sizeof(Pixel);
    frames.input = WorkingFrames::Shared().Take(bytes);
    frames.rendered = WorkingFrames::Shared().Take(bytes);
    input = reinterpret_cast<Pixel*>(frames.input.bytes.get());
    rendered = reinterpret_cast<Pixel*>(frames.rendered.bytes.get());
    LoadFrame<D>(source, input, alpha.source, threads);
    // The plug-in declines host frame threading, so a frame arrives whole in
    // one Render: the frame itself uses the host's threads where it has more
    // than one.
    if (const std::string problem = RenderFrameView(settings, PackedView(input, width, height),
                                                    PackedView(rendered, width, height),
                                                    threads.cpus() > 1 ? &threads : nullptr);
        !problem.empty())
      return {kOfxStatFailed, "the render failed: " + problem};
  }
  StoreWindow<D>(rendered, bounds, output, window, alpha.output, threads);
  return Ok();
}

}  // namespace

Failure GetClipPreferences(const HostSuites& suites, OfxImageEffectHandle instance,
                           OfxPropertySetHandle outArgs) {
  if (instance == nullptr || outArgs == nullptr)
    return {kOfxStatFailed, "the host passed no effect instance or no preferences"};
  OfxImageClipHandle source = nullptr;
  OfxPropertySetHandle sourceProps = nullptr;
  if (Failure f =
          GetClip(suites, instance, kOfxImageEffectSimpleSourceClipName, &source, &sourceProps);
      f.status != kOfxStatOK)
    return f;
  // Render reads the state from the image, and the host labels the image as
  // the clip: both arrive at the same handling.
  AlphaHandling alpha;
  HandlingFor(PremultiplicationOf(suites, sourceProps), &alpha);
  if (Properties(*suites.property, outArgs)
          .SetString(kOfxImageEffectPropPreMultiplication, StateOf(alpha.output)) != kOfxStatOK)
    return {kOfxStatFailed, "the host refused the output's premultiplication"};
  return Ok();
}

Failure GetRegionsOfInterest(const HostSuites& suites, OfxImageEffectHandle instance,
                             OfxPropertySetHandle inArgs, OfxPropertySetHandle outArgs) {
  if (instance == nullptr || inArgs == nullptr || outArgs == nullptr)
    return {kOfxStatFailed, "the host passed no effect instance or no arguments"};
  OfxTime time = 0;
  if (Properties(*suites.property, inArgs).GetDouble(kOfxPropTime, &time) != kOfxStatOK)
    return {kOfxStatFailed, "the host named no time for the regions of interest"};
  OfxImageClipHandle source = nullptr;
  if (Failure f = GetClip(suites, instance, kOfxImageEffectSimpleSourceClipName, &source);
      f.status != kOfxStatOK)
    return f;
  OfxRectD rod{};
  if (suites.imageEffect->clipGetRegionOfDefinition(source, time, &rod) != kOfxStatOK)
    return {kOfxStatFailed, "the host gave no region of definition for the Source clip"};
  const double region[4] = {rod.x1, rod.y1, rod.x2, rod.y2};
  const std::string name = std::string(kOfxImageClipPropRoI_) + kOfxImageEffectSimpleSourceClipName;
  if (Properties(*suites.property, outArgs).SetDoubles(name.c_str(), 4, region) != kOfxStatOK)
    return {kOfxStatFailed, "the host refused the Source clip's region of interest"};
  return Ok();
}

// Every check comes before the first write: a failed render leaves the
// output as the host gave it.
Failure Render(const HostSuites& suites, OfxImageEffectHandle instance,
               OfxPropertySetHandle inArgs) {
  if (instance == nullptr || inArgs == nullptr)
    return {kOfxStatFailed, "the host passed no effect instance or no render arguments"};
  const Properties args(*suites.property, inArgs);
  OfxTime time = 0;
  int window[4] = {};
  if (args.GetDouble(kOfxPropTime, &time) != kOfxStatOK ||
      args.GetInts(kOfxImageEffectPropRenderWindow, 4, window) != kOfxStatOK)
    return {kOfxStatFailed, "the host named no time or render window"};
  const OfxRectI renderWindow{window[0], window[1], window[2], window[3]};

  OfxImageClipHandle sourceClip = nullptr, outputClip = nullptr;
  if (Failure f = GetClip(suites, instance, kOfxImageEffectSimpleSourceClipName, &sourceClip);
      f.status != kOfxStatOK)
    return f;
  if (Failure f = GetClip(suites, instance, kOfxImageEffectOutputClipName, &outputClip);
      f.status != kOfxStatOK)
    return f;
  RenderSettings settings = DefaultRenderSettings();
  if (Failure f = ReadSettings(suites, instance, time, &settings); f.status != kOfxStatOK) return f;

  ClipImage output(suites), source(suites);
  if (Failure f = output.Fetch(outputClip, time, kOfxImageEffectOutputClipName);
      f.status != kOfxStatOK)
    return f;
  if (Failure f = source.Fetch(sourceClip, time, kOfxImageEffectSimpleSourceClipName);
      f.status != kOfxStatOK)
    return f;
  if (source.view().depth != output.view().depth ||
      source.view().components != output.view().components)
    return {kOfxStatErrUnsupported,
            "the Source and Output images differ in pixel depth or components"};
  if (Failure f = source.CheckLayout(kOfxImageEffectSimpleSourceClipName); f.status != kOfxStatOK)
    return f;
  if (Failure f = output.CheckLayout(kOfxImageEffectOutputClipName); f.status != kOfxStatOK)
    return f;
  // The image's own state first; a host that leaves it off has it on the clip.
  std::string premultiplication = source.premultiplication();
  if (premultiplication.empty()) {
    OfxPropertySetHandle clipProps = nullptr;
    if (suites.imageEffect->clipGetPropertySet(sourceClip, &clipProps) == kOfxStatOK)
      premultiplication = PremultiplicationOf(suites, clipProps);
  }
  AlphaHandling alpha;
  if (!HandlingFor(premultiplication, &alpha))
    return {kOfxStatErrUnsupported,
            "the Source image has premultiplication '" + premultiplication +
                "'; the effect renders opaque, premultiplied and unpremultiplied images"};
  if (Width(renderWindow) < 0 || Height(renderWindow) < 0)
    return {kOfxStatFailed, "the render window is inverted"};
  if (IsEmpty(renderWindow)) return Ok();
  if (!Contains(output.view().bounds, renderWindow))
    return {kOfxStatFailed, "the render window does not lie inside the Output image"};

  const ImageView& in = source.view();
  const ImageView& out = output.view();
  switch (in.depth) {
    case Depth::byte:
      return RenderDepth<Depth::byte>(settings, suites.multiThread, in, out, renderWindow, alpha);
    case Depth::short16:
      return RenderDepth<Depth::short16>(settings, suites.multiThread, in, out, renderWindow,
                                         alpha);
    case Depth::float32:
      return RenderDepth<Depth::float32>(settings, suites.multiThread, in, out, renderWindow,
                                         alpha);
  }
  return {kOfxStatFailed, "the render failed"};
}

}  // namespace corvalin::ofx

// Describe and DescribeInContext: what a host lists and offers before any
// instance exists.
#include <cmath>
#include <string>

#include "effect/controls.h"
#include "effect/corner_markers.h"
#include "effect/effect_properties.h"
#include "effect/identity.h"
#include "effect/string_table.h"
#include "ofx/ofx_actions.h"
#include "effect/pixel_convert.h"

namespace corvalin::ofx {

namespace {

Failure Ok() { return {kOfxStatOK, {}}; }

// The properties every image-effect descriptor needs, and those hosts read
// when a plug-in leaves them unset: hosts differ in their defaults, so all
// are set.
void SetRenderProperties(const Properties& props) {
  props.SetInt(kOfxImageEffectPropSupportsTiles, 0);
  // Any bounds render: the frame is addressed through its own bounds.
  props.SetInt(kOfxImageEffectPropSupportsMultiResolution, 1);
  props.SetInt(kOfxImageEffectPropTemporalClipAccess, 0);
  props.SetInt(kOfxImageEffectPropSupportsMultipleClipDepths, 0);
  props.SetInt(kOfxImageEffectPropSupportsMultipleClipPARs, 0);
  props.SetString(kOfxImageEffectPluginRenderThreadSafety, kOfxImageEffectRenderFullySafe);
  // A frame is one scan over all of it; the plug-in spreads it over the
  // cores itself.
  props.SetInt(kOfxImageEffectPluginPropHostFrameThreading, 0);
  props.SetInt(kOfxImageEffectPluginPropSingleInstance, 0);
  // Interlaced material: each field is smoothed on its own, never a frame
  // woven from two moments.
  props.SetInt(kOfxImageEffectPluginPropFieldRenderTwiceAlways, 1);
  props.SetInt(kOfxImageEffectInstancePropSequentialRender, 0);
}

Failure DefineClip(const HostSuites& suites, OfxImageEffectHandle descriptor, const char* name) {
  OfxPropertySetHandle handle = nullptr;
  if (suites.imageEffect->clipDefine(descriptor, name, &handle) != kOfxStatOK || handle == nullptr)
    return {kOfxStatFailed, std::string("the host did not define the ") + name + " clip"};
  const Properties props(*suites.property, handle);
  const char* components[] = {kOfxImageComponentRGBA, kOfxImageComponentRGB};
  OfxStatus status = kOfxStatOK;
  for (int i = 0; i < 2 && status == kOfxStatOK; ++i)
    status = props.SetString(kOfxImageEffectPropSupportedComponents, components[i], i);
  if (status != kOfxStatOK)
    return {kOfxStatFailed,
            std::string("the host refused the components of the ") + name + " clip"};
  props.SetInt(kOfxImageEffectPropSupportsTiles, 0);
  props.SetInt(kOfxImageEffectPropTemporalClipAccess, 0);
  props.SetInt(kOfxImageClipPropOptional, 0);
  return Ok();
}

const char* ParamType(ControlType type) {
  switch (type) {
    case ControlType::checkbox: return kOfxParamTypeBoolean;
    case ControlType::colour: return kOfxParamTypeRGB;
    case ControlType::floatSlider: return kOfxParamTypeDouble;
  }
  return kOfxParamTypeDouble;
}

// The control's value properties. Minimum and maximum come before the
// display range: setting them resets it.
OfxStatus SetValueProperties(const Properties& props, const ControlSpec& control) {
  switch (control.type) {
    case ControlType::checkbox:
      return props.SetInt(kOfxParamPropDefault, control.defaultValue != 0 ? 1 : 0);
    case ControlType::colour: {
      // Only the default: hosts differ on range properties of colours.
      const double rgb[3] = {ByteToColourComponent(control.defaultColour.red),
                             ByteToColourComponent(control.defaultColour.green),
                             ByteToColourComponent(control.defaultColour.blue)};
      return props.SetDoubles(kOfxParamPropDefault, 3, rgb);
    }
    case ControlType::floatSlider: {
      OfxStatus status = props.SetDouble(kOfxParamPropMin, control.validMin);
      if (status == kOfxStatOK) status = props.SetDouble(kOfxParamPropMax, control.validMax);
      if (status == kOfxStatOK)
        status = props.SetDouble(kOfxParamPropDisplayMin, control.sliderMin);
      if (status == kOfxStatOK)
        status = props.SetDouble(kOfxParamPropDisplayMax, control.sliderMax);
      if (status == kOfxStatOK)
        status = props.SetDouble(kOfxParamPropDefault, control.defaultValue);
      if (status != kOfxStatOK) return status;
      // Presentation only: hosts that do not know these still render alike.
      props.SetInt(kOfxParamPropDigits, control.precision);
      props.SetDouble(kOfxParamPropIncrement, std::pow(10.0, -control.precision));
      props.SetString(kOfxParamPropDoubleType, kOfxParamDoubleTypePlain);
      return kOfxStatOK;
    }
  }
  return kOfxStatOK;
}

// The parameter's name is the control's script name: hosts key saved values
// by it, so it never changes.
Failure DefineParam(const HostSuites& suites, OfxParamSetHandle paramSet,
                    const ControlSpec& control) {
  OfxPropertySetHandle handle = nullptr;
  if (suites.parameter->paramDefine(paramSet, ParamType(control.type), control.scriptName,
                                    &handle) != kOfxStatOK ||
      handle == nullptr)
    return {kOfxStatFailed,
            std::string("the host did not define the parameter ") + control.scriptName};
  const Properties props(*suites.property, handle);
  OfxStatus status = props.SetString(kOfxPropLabel, control.displayName);
  if (status == kOfxStatOK) status = props.SetString(kOfxParamPropScriptName, control.scriptName);
  if (status == kOfxStatOK) status = SetValueProperties(props, control);
  if (status != kOfxStatOK)
    return {kOfxStatFailed,
            std::string("the host refused the properties of the parameter ") + control.scriptName};
  props.SetString(kOfxParamPropHint, control.help);
  return Ok();
}

}  // namespace

Failure Describe(const HostSuites& suites, OfxImageEffectHandle descriptor) {
  OfxPropertySetHandle handle = nullptr;
  if (descriptor == nullptr ||
      suites.imageEffect->getPropertySet(descriptor, &handle) != kOfxStatOK || handle == nullptr)
    return {kOfxStatFailed, "the host passed no effect descriptor"};
  const Properties props(*suites.property, handle);

  OfxStatus status = props.SetString(kOfxPropLabel, kEffectName);
  const char* contexts[] = {kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral};
  for (int i = 0; i < 2 && status == kOfxStatOK; ++i)
    status = props.SetString(kOfxImageEffectPropSupportedContexts, contexts[i], i);
  const char* depths[] = {kOfxBitDepthByte, kOfxBitDepthShort, kOfxBitDepthFloat};
  for (int i = 0; i < 3 && status == kOfxStatOK; ++i)
    status = props.SetString(kOfxImageEffectPropSupportedPixelDepths, depths[i], i);
  if (status != kOfxStatOK)
    return {kOfxStatFailed, "the host refused the effect's label, contexts or pixel depths"};

  props.SetString(kOfxImageEffectPluginPropGrouping, kPluginGrouping);
  props.SetString(kOfxPropPluginDescription, kEffectDescription);
  const int version[2] = {CORVALIN_MAJOR_VERSION, CORVALIN_MINOR_VERSION};
  props.SetInts(kOfxPropVersion, 2, version);
  props.SetString(kOfxPropVersionLabel, kVersionText);
  SetRenderProperties(props);
  return Ok();
}

Failure DescribeInContext(const HostSuites& suites, OfxImageEffectHandle descriptor,
                          OfxPropertySetHandle inArgs) {
  if (descriptor == nullptr || inArgs == nullptr)
    return {kOfxStatFailed, "the host passed no effect descriptor or no context"};
  std::string context;
  if (Properties(*suites.property, inArgs).GetString(kOfxImageEffectPropContext, &context) !=
      kOfxStatOK)
    return {kOfxStatFailed, "the host named no context"};
  if (context != kOfxImageEffectContextFilter && context != kOfxImageEffectContextGeneral)
    return {kOfxStatErrUnsupported, "the effect is a filter; it has no context " + context};

  for (const char* clip : {kOfxImageEffectOutputClipName, kOfxImageEffectSimpleSourceClipName})
    if (Failure f = DefineClip(suites, descriptor, clip); f.status != kOfxStatOK) return f;

  OfxParamSetHandle paramSet = nullptr;
  if (suites.imageEffect->getParamSet(descriptor, &paramSet) != kOfxStatOK || paramSet == nullptr)
    return {kOfxStatFailed, "the host has no parameter set for the effect"};
  for (const ControlSpec& control : kControls)
    if (Failure f = DefineParam(suites, paramSet, control); f.status != kOfxStatOK) return f;
  // Last, after the effect's own controls; on by default, so that a project
  // saved before it existed renders as it did.
  return DefineParam(suites, paramSet, kCornerMarkers);
}

}  // namespace corvalin::ofx

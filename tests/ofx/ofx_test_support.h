// What the plug-in's gtest files share: the built bundle and a set of
// settings that reach every control, with and without the colour key.
#pragma once

#include <string>
#include <vector>

#include "effect/controls.h"
#include "effect/corner_markers.h"
#include "tests/ofx/ofx_test_frames.h"
#include "tests/ofx/ofx_test_host.h"

namespace corvalin::ofxtest {

inline std::string BundleBinary() { return OfxTestHost::BinaryInBundle(CORVALIN_OFX_BUNDLE); }

// The key {200, 20, 60} is one of the generated pictures' colours.
inline std::vector<RenderSettings> SettingsSet() {
  const PF_Pixel8 key{255, 200, 20, 60};
  return {DefaultRenderSettings(),
          RenderSettings{true, key, 1.0, 0.0},
          RenderSettings{false, key, 0.0, 1.0},
          RenderSettings{true, key, 25.0, 0.5},
          RenderSettings{false, key, 100.0, 0.3},
          RenderSettings{true, PF_Pixel8{255, 255, 255, 255}, 5.0, 0.75}};
}

// A request for the whole of `source`, rendered into `output`.
inline RenderRequest WholeFrameRequest(HostImage& source, HostImage& output) {
  RenderRequest request;
  request.source = &source;
  request.output = &output;
  request.window = source.bounds;
  return request;
}

inline const char* const kDepths[] = {"OfxBitDepthByte", "OfxBitDepthShort", "OfxBitDepthFloat"};
inline const char* const kComponents[] = {"OfxImageComponentRGBA", "OfxImageComponentRGB"};

}  // namespace corvalin::ofxtest

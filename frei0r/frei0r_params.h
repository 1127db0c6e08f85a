// How the filter's frei0r parameters become the effect's control values, and
// how frames travel between frei0r's RGBA bytes and the engine's pixels.
//
// frei0r values all lie in 0..1. The filter stores what the host set, held to
// 0..1, and maps it at render time:
// - "Use Color Key": on from 0.5 up (frei0r's boolean rule);
// - "Alpha Key": each component becomes the byte lround(v * 255), key alpha 255;
// - "Smoother Range": v * 100 in double, the effect's percentage;
// - "Line Weight": v itself;
// - "Corner Markers": on from 0.5 up, as "Use Color Key" (default on).
// Out-of-range values are held to the nearer end; NaN counts as 0.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "effect/controls.h"
#include "effect/corner_markers.h"
#include "effect/pixel_convert.h"
#include "engine/view/frame_view.h"

namespace corvalin::frei0r {

// One frei0r parameter per control, in the table's order, then the corner
// markers: hosts such as ffmpeg set parameters by position, so new ones only
// ever go last.
inline constexpr int kParamCount = kControlCount + 1;

// The control behind frei0r parameter `index` (0 to kParamCount - 1).
inline constexpr const ControlSpec& ControlAt(int index) {
  return index < kControlCount ? kControls[index] : kCornerMarkers;
}

inline double ClampUnit(double v) {
  if (!(v > 0.0)) return 0.0;
  if (v > 1.0) return 1.0;
  return v;
}

inline bool BoolFromParam(double v) { return v >= 0.5; }

inline uint8_t ByteFromComponent(float v) { return ColourComponentToByte(v); }

// The inverse for reading a key back: ByteFromComponent(ComponentFromByte(b)) == b.
inline float ComponentFromByte(uint8_t b) { return static_cast<float>(ByteToColourComponent(b)); }

// A float slider's value from its frei0r fraction of the slider's range.
inline double SliderFromParam(const ControlSpec& control, double v) {
  return control.validMin + ClampUnit(v) * (control.validMax - control.validMin);
}

// The frei0r fraction that gives the slider's default.
inline double SliderDefaultParam(const ControlSpec& control) {
  return (control.defaultValue - control.validMin) / (control.validMax - control.validMin);
}

// Frame sizes the filter renders: at least one pixel, and a frame of 8-bit
// pixels the engine can address. frei0r's sizes are unsigned ints, which
// 64 bits hold whole.
inline bool FrameSizeSupported(uint64_t width, uint64_t height) {
  return width >= 1 && height >= 1 &&
         PackedFrameProblem(static_cast<int64_t>(width), static_cast<int64_t>(height), 8).empty();
}

}  // namespace corvalin::frei0r

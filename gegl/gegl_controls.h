// How the GEGL operation's properties stand for the effect's controls, and
// which frames it renders, without GEGL itself, so that the rules are read
// in one place.
//
// - One property per control of the table, in its order, then the corner
//   markers; each is named after the control's script name in GEGL's style
//   (useColorKey is use-color-key), labelled with its display name and
//   described by its help.
// - A slider holds any double it is given; one outside its valid range (NaN
//   included) is reported by SliderProblem and the operation then passes its
//   input through until a valid value is set.
// - Images whose samples are 8-bit integers render at 8 bits; every other
//   sample type (16-bit integers, half and float) at 16 bits, as the command
//   renders them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "effect/controls.h"
#include "effect/corner_markers.h"
#include "engine/view/frame_view.h"

namespace corvalin::gegl {

inline constexpr const char* kOperationName = "corvalin:smooth-edges";

inline constexpr int kPropertyCount = kControlCount + 1;

// The control behind property `index` (0 to kPropertyCount - 1); GObject
// numbers the same properties from 1.
inline constexpr const ControlSpec& PropertyControl(int index) {
  return index < kControlCount ? kControls[index] : kCornerMarkers;
}

// "smootherRange" as "smoother-range".
inline std::string PropertyName(const ControlSpec& control) {
  std::string name;
  for (const char* c = control.scriptName; *c != '\0'; ++c) {
    if (*c >= 'A' && *c <= 'Z') {
      name += '-';
      name += static_cast<char>(*c - 'A' + 'a');
    } else {
      name += *c;
    }
  }
  return name;
}

// %g of a double, NaN and infinities as "nan" and "inf".
inline std::string NumberText(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// Why a slider cannot take `v`, naming the value and the valid range, or ""
// when it can.
inline std::string SliderProblem(const ControlSpec& control, double v) {
  if (v >= control.validMin && v <= control.validMax) return {};
  return PropertyName(control) + " (" + control.displayName + ") " + NumberText(v) +
         " is outside its range: it takes " + NumberText(control.validMin) + " to " +
         NumberText(control.validMax);
}

// The samples the operation asks babl for: the image's own encoded values,
// straight alpha, at the depth it renders them.
enum class Samples { u8, u16, float32 };

inline Samples SamplesFor(bool eightBit, bool sixteenBitInteger) {
  return eightBit ? Samples::u8 : sixteenBitInteger ? Samples::u16 : Samples::float32;
}

inline const char* BablFormatName(Samples samples) {
  switch (samples) {
    case Samples::u8: return "R'G'B'A u8";
    case Samples::u16: return "R'G'B'A u16";
    case Samples::float32: return "R'G'B'A float";
  }
  return "R'G'B'A float";
}

inline int RenderDepth(Samples samples) { return samples == Samples::u8 ? 8 : 16; }

// Why a width x height image cannot render at `depth`, or "" when it can:
// at least one pixel, and a packed frame the engine addresses.
inline std::string ImageProblem(int64_t width, int64_t height, int depth) {
  if (width < 1 || height < 1)
    return "the image is " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels: there is nothing to render, it needs at least 1 x 1";
  std::string problem = PackedFrameProblem(width, height, depth);
  if (!problem.empty()) problem = "the image is too large to render: " + problem;
  return problem;
}

}  // namespace corvalin::gegl

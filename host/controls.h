// The one table of the effect's four controls: parameter index, ID, display
// name, range, default and the command-line spelling. The module's parameter
// set-up, the corvalin command and any other adapter read it, so they cannot
// drift apart. The render reads each control's `value` at render time.
#pragma once

#include <cstdint>

#include "host/string_table.h"

namespace corvalin {

enum class ControlType { checkbox, colour, floatSlider };

struct ControlSpec {
  int32_t paramIndex;  // index in the parameter array (0 is the input layer)
  int32_t id;          // the ID saved projects refer to
  ControlType type;
  StringId name;
  double validMin, validMax, defaultValue;  // float sliders only
  int16_t precision;                        // decimal places shown
  const char* option;                       // command-line option
  const char* help;
};

inline constexpr int32_t kEffectParamCount = 5;  // the input layer and four controls

inline constexpr ControlSpec kControls[4] = {
    {1, 1, ControlType::checkbox, StrID_UseColorKey, 0, 1, 0, 0, "--use-color-key",
     "make every pixel of the key colour fully transparent before smoothing"},
    {2, 2, ControlType::colour, StrID_AlphaKey, 0, 0, 0, 0, "--alpha-key",
     "key colour as hex RRGGBB (key alpha is 255)"},
    {3, 3, ControlType::floatSlider, StrID_SmootherRange, 0.0, 100.0, 1.0, 1,
     "--smoother-range",
     "how different neighbours must be to count as an edge, in percent of the largest colour "
     "distance"},
    {4, 4, ControlType::floatSlider, StrID_LineWeight, 0.0, 1.0, 0.0, 1, "--line-weight",
     "how far the smoothing ramps reach along each edge step, from half of it (0) to all of it "
     "(1)"},
};

inline constexpr const ControlSpec& kUseColorKey = kControls[0];
inline constexpr const ControlSpec& kAlphaKey = kControls[1];
inline constexpr const ControlSpec& kSmootherRange = kControls[2];
inline constexpr const ControlSpec& kLineWeight = kControls[3];

// Default key colour: opaque white.
inline constexpr uint8_t kDefaultKeyAlpha = 255, kDefaultKeyRed = 255, kDefaultKeyGreen = 255,
                         kDefaultKeyBlue = 255;

}  // namespace corvalin

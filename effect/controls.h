// The one description of the effect's controls. Every adapter reads this
// table: the module registers its parameters from it and reads the render's
// parameter array through it, the mini host fills its parameter array from
// it, the command builds its options and help from it, and the frei0r filter
// its parameters. Each row also says where the control's value lives in the
// engine's RenderSettings, so adapters move values generically.
//
// Adding a control: one row here, the field in RenderSettings and its use in
// the engine. Counts, strings, parameter set-up and options follow.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/scan/scan_settings.h"
#include "sdk/AE_Effect.h"

namespace corvalin {

enum class ControlType { checkbox, colour, floatSlider };

struct ControlSpec {
  int32_t paramIndex = 0;  // in the render's parameter array (0 is the input layer)
  int32_t id = 0;          // the ID saved projects refer to; never reused
  ControlType type = ControlType::checkbox;
  const char* displayName = "";  // shown by hosts, and in the string table
  const char* scriptName = "";   // for scripting hosts and keyword arguments
  const char* option = "";       // command-line option
  const char* valueName = "";    // its value's placeholder in the help
  const char* help = "";         // what the control does, one phrase
  // Value range and default of a checkbox (0 or 1) or a float slider; a
  // slider also has the range its slider shows and the decimals it shows.
  double validMin = 0, validMax = 0, defaultValue = 0;
  double sliderMin = 0, sliderMax = 0;
  int16_t precision = 0;
  PF_Pixel8 defaultColour{};            // colour controls; alpha is the key's alpha
  const char* checkboxLabel = nullptr;  // checkbox controls: the text beside the box
  bool startCollapsed = false;          // shown folded in the host's controls
  // The field of RenderSettings that holds the value: the one of the
  // control's type is set, the others are null.
  bool RenderSettings::*flagField = nullptr;
  PF_Pixel8 RenderSettings::*colourField = nullptr;
  double RenderSettings::*numberField = nullptr;
};

inline constexpr ControlSpec kControls[] = {
    {.paramIndex = 1,
     .id = 1,
     .type = ControlType::checkbox,
     .displayName = "Use Color Key",
     .scriptName = "useColorKey",
     .option = "--use-color-key",
     .help = "make every pixel of the key colour fully transparent before smoothing",
     .validMax = 1,
     .checkboxLabel = "Transparent",
     .startCollapsed = true,
     .flagField = &RenderSettings::useKey},
    {.paramIndex = 2,
     .id = 2,
     .type = ControlType::colour,
     .displayName = "Alpha Key",
     .scriptName = "alphaKey",
     .option = "--alpha-key",
     .valueName = "RRGGBB",
     .help = "the colour that the colour key makes fully transparent (key alpha is 255)",
     .defaultColour = {255, 255, 255, 255},
     .colourField = &RenderSettings::keyColour},
    {.paramIndex = 3,
     .id = 3,
     .type = ControlType::floatSlider,
     .displayName = "Smoother Range",
     .scriptName = "smootherRange",
     .option = "--smoother-range",
     .valueName = "R",
     .help = "how different neighbours must be to count as an edge, in percent of the largest "
             "colour distance",
     .validMin = 0.0,
     .validMax = 100.0,
     .defaultValue = 1.0,
     .sliderMin = 0.0,
     .sliderMax = 100.0,
     .precision = 1,
     .numberField = &RenderSettings::smootherRange},
    {.paramIndex = 4,
     .id = 4,
     .type = ControlType::floatSlider,
     .displayName = "Line Weight",
     .scriptName = "lineWeight",
     .option = "--line-weight",
     .valueName = "W",
     .help = "how far the smoothing ramps reach along each edge step, from half of it (0) to "
             "all of it (1)",
     .validMin = 0.0,
     .validMax = 1.0,
     .defaultValue = 0.0,
     .sliderMin = 0.0,
     .sliderMax = 1.0,
     .precision = 1,
     .numberField = &RenderSettings::lineWeight},
};

inline constexpr int32_t kControlCount = static_cast<int32_t>(std::size(kControls));
// The render's parameter array: the input layer, then one per control.
inline constexpr int32_t kEffectParamCount = kControlCount + 1;

// The settings a fresh instance of the effect renders with.
constexpr RenderSettings DefaultRenderSettings() {
  RenderSettings settings{};
  for (const ControlSpec& control : kControls) {
    switch (control.type) {
      case ControlType::checkbox: settings.*control.flagField = control.defaultValue != 0; break;
      case ControlType::colour: settings.*control.colourField = control.defaultColour; break;
      case ControlType::floatSlider: settings.*control.numberField = control.defaultValue; break;
    }
  }
  return settings;
}

constexpr const ControlSpec* FindControl(std::string_view scriptName) {
  for (const ControlSpec& control : kControls)
    if (scriptName == control.scriptName) return &control;
  return nullptr;
}

// A control by script name, for adapters that need one particular control
// (the colour key's colour, say); fails to compile for an unknown name.
consteval const ControlSpec& Control(std::string_view scriptName) {
  for (const ControlSpec& control : kControls)
    if (scriptName == control.scriptName) return control;
  throw "no control of that name";
}

namespace controls_detail {

constexpr bool TableIsConsistent() {
  for (int32_t i = 0; i < kControlCount; ++i) {
    const ControlSpec& c = kControls[i];
    // Parameter indices follow the rows; IDs are unique.
    if (c.paramIndex != i + 1) return false;
    for (int32_t j = 0; j < i; ++j)
      if (kControls[j].id == c.id || std::string_view(kControls[j].scriptName) == c.scriptName ||
          std::string_view(kControls[j].option) == c.option)
        return false;
    const int fields =
        (c.flagField != nullptr) + (c.colourField != nullptr) + (c.numberField != nullptr);
    if (fields != 1) return false;
    switch (c.type) {
      case ControlType::checkbox:
        if (c.flagField == nullptr || c.checkboxLabel == nullptr) return false;
        break;
      case ControlType::colour:
        if (c.colourField == nullptr) return false;
        break;
      case ControlType::floatSlider:
        if (c.numberField == nullptr || !(c.validMin <= c.defaultValue) ||
            !(c.defaultValue <= c.validMax) || c.sliderMin < c.validMin || c.sliderMax > c.validMax)
          return false;
        break;
    }
    // Host name fields hold 31 characters and a terminator.
    if (std::string_view(c.displayName).size() > 31) return false;
  }
  return true;
}

}  // namespace controls_detail

static_assert(controls_detail::TableIsConsistent(),
              "every control needs its own index, ID, script name and option, and exactly the "
              "settings field of its type");

}  // namespace corvalin

// The corner markers as a switch of the adapters that own their frames (the
// command, the Python module, the frei0r filter, the OpenFX plug-in). Every
// render writes an opaque pure-red pixel at each of the four corners of the
// rectangle it processed; these adapters may leave them out. It is not one of
// the effect's controls: the module has no parameter for it and always marks,
// so saved projects and its parameter IDs are unchanged.
//
// Described as a checkbox so that adapters reuse their code for checkboxes.
#pragma once

#include "effect/controls.h"

namespace corvalin {

inline constexpr ControlSpec kCornerMarkers{
    .type = ControlType::checkbox,
    .displayName = "Corner Markers",
    .scriptName = "cornerMarkers",
    .help =
        "write an opaque pure-red pixel at each of the four corners of the rectangle the "
        "render processed (the box around the pixels with content); off leaves them out, "
        "and those pixels keep the smoothing's result",
    .validMax = 1,
    .defaultValue = 1,
    .checkboxLabel = "Show",
    .flagField = &RenderSettings::cornerMarkers};

static_assert(DefaultRenderSettings().cornerMarkers,
              "renders mark the corners unless an adapter is told otherwise");

}  // namespace corvalin

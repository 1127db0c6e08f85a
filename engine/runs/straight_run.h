// The straight-run step: left-hand corners of a region, run at the pixel that
// follows a colour change, before that pixel's own classification.
#pragma once

#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

template <class Pixel>
void SmoothStraightRun(const EdgeContext<Pixel>& ctx) { (void)ctx; }

}  // namespace corvalin

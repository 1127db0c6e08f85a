// Arm tracing at two-sided corners: how far the staircase edge runs from the
// corner pixel to the left, right, up and down.
#pragma once

#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

template <CornerFamily family, class Pixel>
void TraceLeftArm(EdgeContext<Pixel>& ctx) { (void)ctx; }

template <CornerFamily family, class Pixel>
void TraceRightArm(EdgeContext<Pixel>& ctx) { (void)ctx; }

template <CornerFamily family, class Pixel>
void TraceUpArm(EdgeContext<Pixel>& ctx) { (void)ctx; }

template <CornerFamily family, class Pixel>
void TraceDownArm(EdgeContext<Pixel>& ctx) { (void)ctx; }

}  // namespace corvalin

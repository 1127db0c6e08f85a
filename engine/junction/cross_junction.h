// Cross-junctions: lone pixels and crossings of thin diagonal lines
// (four-sided pixels).
#pragma once

#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

template <class Pixel>
void SmoothCrossJunction(const EdgeContext<Pixel>& ctx) { (void)ctx; }

}  // namespace corvalin

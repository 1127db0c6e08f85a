// T-junctions: line ends, thin-line steps and spurs (three-sided pixels).
#pragma once

#include "engine/pixel/pixel_model.h"
#include "engine/scan/edge_context.h"

namespace corvalin {

template <class Pixel>
void SmoothTJunctionRight(const EdgeContext<Pixel>& ctx) { (void)ctx; }
template <class Pixel>
void SmoothTJunctionUp(const EdgeContext<Pixel>& ctx) { (void)ctx; }
template <class Pixel>
void SmoothTJunctionLeft(const EdgeContext<Pixel>& ctx) { (void)ctx; }
template <class Pixel>
void SmoothTJunctionDown(const EdgeContext<Pixel>& ctx) { (void)ctx; }

}  // namespace corvalin
